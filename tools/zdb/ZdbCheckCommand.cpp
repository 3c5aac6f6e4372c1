#include "tools/zdb/ZdbCheckCommand.h"

#include "tools/zdb/ZdbOpen.h"
#include "tools/zdb/ZdbText.h"
#include "zdb/Check.h"

namespace zdbtool {

int64_t CheckCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  const zdb::TZDBFileCheckReport report = WithPassword(
      password, [&](const zdb::TZDBPassword& tried) { return zdb::CheckDatabaseFile(fileName, tried); });
  for (const std::string& problem : report.Problems) out << PrintableText(problem) << '\n';
  out << report.Summary() << '\n';
  return static_cast<int64_t>(report.Problems.size());
}

}  // namespace zdbtool
