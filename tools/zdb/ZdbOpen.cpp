#include "tools/zdb/ZdbOpen.h"

#include "engine/file/ZDBDiskPageManager.h"

namespace zdbtool {

bool OpenForReading(zdb::TZDBDiskPageManager& manager, const std::string& fileName, const zdb::TZDBPassword& password) {
  bool multiUser = true;
  bool readOnly = true;
  return manager.OpenDatabaseFile(fileName, password, multiUser, false, readOnly);
}

}  // namespace zdbtool
