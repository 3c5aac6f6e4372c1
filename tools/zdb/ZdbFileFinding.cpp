#include "tools/zdb/ZdbFileFinding.h"

#include <sys/stat.h>

namespace zdbtool {

std::string FileFinding(const std::string& fileName) {
  struct stat found {};
  if (::stat(fileName.c_str(), &found) != 0) return {};
  if (S_ISDIR(found.st_mode)) return fileName + " is a directory";
  if (S_ISREG(found.st_mode) && found.st_size == 0) return fileName + " is empty (0 bytes)";
  return {};
}

}  // namespace zdbtool
