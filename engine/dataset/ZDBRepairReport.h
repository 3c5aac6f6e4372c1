// What a repair did: per table how many rows reached the new file and how many could not
// be read, which tables could not be copied at all, where the damaged file was kept, and
// why the file was not replaced when it was not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdb {

struct TZDBTableRepairReport {
  std::string TableName;
  // The table's structure could not be read: nothing of it is in the new file.
  bool Lost = false;
  int64_t RowsCopied = 0;
  // Rows the table held that could not be read, or were read but could not be stored
  // again (a key that another row already has).
  int64_t RowsUnreadable = 0;
  // Large values that could not be read whole; their rows were kept with the field NULL.
  int64_t ValuesUnreadable = 0;
  // The first damage met, for the user (also when the rest of the table made up for it).
  std::string Problem;

  bool Complete() const { return !Lost && RowsUnreadable == 0 && ValuesUnreadable == 0; }
};

struct TZDBRepairReport {
  std::vector<TZDBTableRepairReport> Tables;
  // Whether the repaired copy took the file's place.
  bool Replaced = false;
  // Where the damaged file was kept (when it was replaced).
  std::string BackupFileName;
  // Why the file was not replaced; empty when it was, or when the user aborted.
  std::string Failure;
  bool Aborted = false;

  // Everything was copied: no table lost, no row or value left behind.
  bool Complete() const;
  // One line per table: "Table 'Maximo': 3 rows copied, 0 unreadable", then what was
  // lost, then the backup's name.
  std::vector<std::string> Lines() const;
  // The user's warning when something was left behind or the repair failed; empty
  // otherwise. Each table that lost something gives "Problem occured while copying table
  // 'T': '...'".
  std::string Warning() const;
};

}  // namespace zdb
