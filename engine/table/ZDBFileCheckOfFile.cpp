#include "engine/table/ZDBFileCheckOfFile.h"

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBFileInspector.h"
#include "engine/file/ZDBLockBytes.h"

namespace zdb {

TZDBFileCheckReport CheckDatabaseFile(const std::string& fileName, const TZDBPassword& password) {
  TZDBDiskPageManager manager;
  const bool needsRepair = OpenForInspection(manager, fileName, password);
  TZDBFileCheckReport report;
  {
    // Under the database lock byte no other process is between taking pages and committing
    // them, so a sound file in use never shows their pages as unreachable.
    const TZDBDatabaseLockGuard lock(manager.DatabaseLock(), errors::DatabaseLockedAtOpen, manager.LockRetry());
    manager.ReadHeaderForChange();
    manager.FreeSpaceManager().LoadCounts();
    report = CheckDatabaseFile(manager, needsRepair);
  }
  manager.CloseDatabaseFile();
  return report;
}

}  // namespace zdb
