#include "engine/dataset/ZDBRepairReport.h"

#include <algorithm>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr const char* TableProblemFormat = "Problem occured while copying table '%s': '%s'";
constexpr const char* RowsUnreadableFormat = "%d of %d rows could not be read";

std::string Count(int64_t count, const std::string& noun, const std::string& plural) {
  return std::to_string(count) + " " + (count == 1 ? noun : plural);
}

std::string TableLine(const TZDBTableRepairReport& table) {
  std::string line = "Table '" + table.TableName + "': ";
  if (table.Lost) return line + "not copied, its definitions cannot be read: " + table.Problem;
  line += Count(table.RowsCopied, "row", "rows") + " copied, " + std::to_string(table.RowsUnreadable) + " unreadable";
  if (table.ValuesUnreadable > 0)
    line += ", " + Count(table.ValuesUnreadable, "large value", "large values") +
            " unreadable (the row kept, the field empty)";
  return line;
}

// What the user reads of a table that left something behind.
std::string TableProblem(const TZDBTableRepairReport& table) {
  if (table.Lost) return table.Problem;
  std::string text;
  if (table.RowsUnreadable > 0)
    text = FormatMessage(RowsUnreadableFormat, {table.RowsUnreadable, table.RowsCopied + table.RowsUnreadable});
  if (table.ValuesUnreadable > 0) {
    if (!text.empty()) text += ", ";
    text += Count(table.ValuesUnreadable, "large value", "large values") + " could not be read";
  }
  if (!table.Problem.empty()) text += (text.empty() ? "" : ": ") + table.Problem;
  return text;
}

}  // namespace

bool TZDBRepairReport::Complete() const {
  return std::all_of(Tables.begin(), Tables.end(), [](const TZDBTableRepairReport& t) { return t.Complete(); });
}

std::vector<std::string> TZDBRepairReport::Lines() const {
  std::vector<std::string> lines;
  for (const TZDBTableRepairReport& table : Tables) lines.push_back(TableLine(table));
  if (Replaced) lines.push_back("Backup of the damaged file: " + BackupFileName);
  return lines;
}

std::string TZDBRepairReport::Warning() const {
  if (Aborted) return {};
  std::string text;
  const auto add = [&](const std::string& line) { text += (text.empty() ? "" : "\n") + line; };
  if (!Replaced) {
    add(Failure.empty() ? std::string("Unknown error") : Failure);
    return text;
  }
  for (const TZDBTableRepairReport& table : Tables)
    if (!table.Complete()) add(FormatMessage(TableProblemFormat, {table.TableName, TableProblem(table)}));
  if (!text.empty()) add("The damaged file was kept as '" + BackupFileName + "'.");
  return text;
}

}  // namespace zdb
