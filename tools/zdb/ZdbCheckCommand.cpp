#include "tools/zdb/ZdbCheckCommand.h"

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/table/ZDBFileCheck.h"
#include "tools/zdb/ZdbOpen.h"

namespace zdbtool {

int64_t CheckCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  zdb::TZDBDiskPageManager manager;
  const bool needsRepair = OpenForReading(manager, fileName, password);
  const zdb::TZDBFileCheckReport report = zdb::CheckDatabaseFile(manager, needsRepair);
  manager.CloseDatabaseFile();
  for (const std::string& problem : report.Problems) out << problem << '\n';
  out << report.Summary() << '\n';
  return static_cast<int64_t>(report.Problems.size());
}

}  // namespace zdbtool
