#include "engine/table/ZDBFileCheckOfFile.h"

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileInspector.h"

namespace zdb {

TZDBFileCheckReport CheckDatabaseFile(const std::string& fileName, const TZDBPassword& password) {
  TZDBDiskPageManager manager;
  const bool needsRepair = OpenForInspection(manager, fileName, password);
  TZDBFileCheckReport report = CheckDatabaseFile(manager, needsRepair);
  manager.CloseDatabaseFile();
  return report;
}

}  // namespace zdb
