#include "tools/zdb/ZdbCreateCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "zdb/FileCreation.h"

namespace zdbtool {
namespace {

constexpr mode_t PermissionBits = 07777;
constexpr mode_t NewFileMode = 0666;  // less the umask, as any new file

std::runtime_error AlreadyExists(const std::string& fileName) {
  return std::runtime_error(fileName + " already exists; use --force to replace it");
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Takes the name with an empty file of our own before the engine makes the database, so
// that a file someone else creates meanwhile is refused, never replaced: the engine
// replaces what it finds, and creates its own file only where there is none.
void CreateInPlaceOfNothing(const std::string& fileName, const zdb::TZDBNewFileSettings& settings) {
  const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NewFileMode);
  if (fd < 0) {
    if (errno == EEXIST) throw AlreadyExists(fileName);
    // A folder that is missing or closed to us: the engine says so in its own words.
    zdb::CreateDatabaseFile(fileName, settings);
    return;
  }
  struct stat claimed {};
  const bool known = ::fstat(fd, &claimed) == 0;
  ::close(fd);
  try {
    zdb::CreateDatabaseFile(fileName, settings);
  } catch (...) {
    // The engine takes away a file it could not finish; our empty one goes too.
    struct stat now {};
    if (known && ::lstat(fileName.c_str(), &now) == 0 && SameFile(now, claimed)) ::unlink(fileName.c_str());
    throw;
  }
}

}  // namespace

void CreateCommand(const std::string& fileName, uint16_t pageSize, uint16_t pagesPerExtent, int32_t maxConnections,
                   const zdb::TZDBPassword& password, bool replace) {
  zdb::TZDBNewFileSettings settings;
  settings.PageSize = pageSize;
  settings.PagesPerExtent = pagesPerExtent;
  settings.SlotCount = maxConnections;
  settings.Password = password;

  struct stat existing {};
  if (::lstat(fileName.c_str(), &existing) != 0) {
    CreateInPlaceOfNothing(fileName, settings);
    return;
  }
  if (S_ISDIR(existing.st_mode)) throw std::runtime_error(fileName + " is a directory");
  if (!replace) throw AlreadyExists(fileName);
  zdb::CreateDatabaseFile(fileName, settings);
  // A replaced file keeps its permissions: a read-only one stays read-only.
  if (S_ISREG(existing.st_mode) && ::chmod(fileName.c_str(), existing.st_mode & PermissionBits) != 0)
    throw std::runtime_error(fileName +
                             " was replaced, but its permissions could not be restored: " + std::strerror(errno));
}

}  // namespace zdbtool
