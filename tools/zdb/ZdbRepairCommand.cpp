#include "tools/zdb/ZdbRepairCommand.h"

#include "tools/zdb/ZdbCheckCommand.h"
#include "tools/zdb/ZdbText.h"
#include "zdb/Database.h"
#include "zdb/Repair.h"
#include "zdb/UserPrompts.h"

namespace zdbtool {
namespace {

constexpr const char* DatabaseName = "zdb-repair";

}  // namespace

bool RepairCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out,
                   std::ostream& err) {
  zdb::TZDBDatabase database;
  database.SetDatabaseName(DatabaseName);
  database.SetDatabaseFileName(fileName);
  database.SetPassword(password.Password);
  database.SetEncryptionAlgorithm(password.CipherCode);
  // The report is printed here; no warning box, no wait window.
  database.SetSilentMode(true);
  // A password given on the command line is the answer; without one the user is asked.
  database.OnPassword = [&password](zdb::TZDBDatabase& db) {
    if (!password.Empty()) return false;
    std::string typed;
    if (!zdb::UserPrompts()->AskPassword(typed)) return false;
    db.SetPassword(typed);
    return true;
  };
  const bool replaced = database.Repair();
  const zdb::TZDBRepairReport& report = database.LastRepairReport();
  for (const std::string& line : report.Lines()) out << PrintableText(line) << '\n';
  if (!replaced) {
    out.flush();
    err << PrintableText(report.Aborted ? std::string("The repair was aborted; the file was left as it was.")
                                        : report.Warning())
        << '\n';
    return false;
  }
  zdb::TZDBPassword opened = password;
  opened.Password = database.Password();
  return CheckCommand(fileName, opened, out) == 0;
}

}  // namespace zdbtool
