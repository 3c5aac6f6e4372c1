// The table component's operations on the table itself: emptying, deleting and renaming
// it, renaming a field, adding and dropping indexes. Each works through a cursor of its
// own, so that it never disturbs the dataset's window.
#include <exception>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBLocalCursor.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/TextCase.h"

namespace zdb {
namespace {

// The connection is held for a table operation while it runs.
constexpr int DatabaseUseTableOperation = 1;

constexpr const char* DatabaseNameBlankText = "DatabaseName property is blank";
constexpr int32_t ExclusiveLockAttempts = 50;
constexpr int32_t ExclusiveLockDelayBaseMs = 100;
constexpr char IndexFieldSeparator = ';';

// Gives the connection's hold back on every path.
class TDatabaseUse {
 public:
  explicit TDatabaseUse(std::function<void(bool)> use) : use_(std::move(use)) { use_(true); }
  ~TDatabaseUse() {
    try {
      use_(false);
    } catch (...) {  // the operation's own outcome is the one to report
    }
  }
  TDatabaseUse(const TDatabaseUse&) = delete;
  TDatabaseUse& operator=(const TDatabaseUse&) = delete;

 private:
  std::function<void(bool)> use_;
};

std::string TrimmedText(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> IndexFieldNames(const std::string& fields) {
  std::vector<std::string> names;
  std::istringstream list(fields);
  for (std::string name; std::getline(list, name, IndexFieldSeparator);) {
    name = TrimmedText(name);
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

}  // namespace

template <typename Operation>
void TZDBTable::RunTableOperation(const char* name, const TZDBError& inTransactionCode, bool openTable, Operation operation) {
  const std::string tableName = TrimmedText(TableName());
  if (tableName.empty()) DatabaseError("Missing TableName property");
  if (DatabaseName().empty()) DatabaseError(DatabaseNameBlankText);
  const TDatabaseUse use([this](bool inUse) { SetDatabaseUse(DatabaseUseTableOperation, inUse); });
  TZDBLocalSession* connection = Database() == nullptr ? nullptr : Database()->Handle();
  if (connection == nullptr) RaiseError(errors::NoCursor);
  if (Database()->InTransaction()) RaiseError(inTransactionCode, {name});
  if (ReadOnly() || Database()->ReadOnly() || connection->Settings().ReadOnly) DatabaseError(data::SDataSetReadOnly);
  TZDBLocalCursor cursor(*connection, tableName);
  if (openTable) {
    cursor.OpenTable();
    cursor.InitFieldLayout();
  }
  operation(cursor);
  cursor.CloseTable();
}

template <typename Operation>
void TZDBTable::RunExclusively(const char* name, const TZDBError& inTransactionCode, Operation operation) {
  RunTableOperation(name, inTransactionCode, true, [&](TZDBCursor& cursor) {
    // A definition change needs the table to itself: other processes keep the
    // definitions they read when they opened it.
    const TZDBCursorTableLock exclusive(cursor, TableLockExclusive, ExclusiveLockAttempts, ExclusiveLockDelayBaseMs,
                                        false);
    if (!exclusive.Held())
      RaiseError(errors::ExclusiveLock, {cursor.TableName()});
    operation(cursor);
  });
}

void TZDBTable::EmptyTable() {
  if (Active()) CheckBrowseMode();
  RunTableOperation("EmptyTable", errors::EmptyTableInTransaction, false, [&](TZDBCursor& cursor) {
    // The dataset's own cursor would keep the table from being had exclusively.
    const bool wasActive = Active();
    if (wasActive) Close();
    try {
      cursor.ClearTable();
    } catch (...) {
      if (wasActive) {
        try {
          Open();
        } catch (...) {  // the emptying's failure is the one to report
        }
      }
      throw;
    }
    if (wasActive) Open();
  });
}

void TZDBTable::DeleteTable() {
  CheckInactive();
  RunTableOperation("DeleteTable", errors::DeleteTableInTransaction, false, [](TZDBCursor& cursor) { cursor.DeleteTable(); });
}

void TZDBTable::RenameTable(const std::string& newName) {
  CheckInactive();
  const std::string name = TrimmedText(newName);
  RunTableOperation("RenameTable", errors::RenameTableInTransaction, false,
                    [&](TZDBCursor& cursor) { cursor.RenameTable(name); });
  tableName_ = name;
}

void TZDBTable::RenameField(const std::string& oldName, const std::string& newName) {
  CheckInactive();
  RunExclusively("RenameField", errors::RenameFieldInTransaction,
                 [&](TZDBCursor& cursor) { cursor.RenameField(oldName, TrimmedText(newName)); });
}

void TZDBTable::AddIndex(const std::string& indexName, const std::string& fields, TZDBIndexOptions options) {
  const std::string name = TrimmedText(indexName);
  if (name.empty()) RaiseError(errors::BlankIndexName, {indexName});
  const std::vector<std::string> fieldNames = IndexFieldNames(fields);
  if (fieldNames.empty()) RaiseError(errors::NoIndexFields, {fields});
  TZDBIndexDef definition;
  definition.SetName(name);
  std::vector<TZDBIndexColumn> columns;
  for (const std::string& field : fieldNames) {
    TZDBIndexColumn column;
    column.FieldName = field;
    column.Descending = options.Descending;
    column.CaseInsensitive = options.CaseInsensitive;
    columns.push_back(column);
  }
  definition.SetColumns(std::move(columns));
  definition.SetPrimary(options.Primary);
  definition.SetUnique(options.Unique && !options.Primary);
  RunExclusively("AddIndex", errors::AddIndexInTransaction, [&](TZDBCursor& cursor) { cursor.AddIndex(definition); });
}

void TZDBTable::DeleteIndex(const std::string& indexName) {
  // The window reads its rows through the active index.
  if (Active() && !IndexName().empty() && data::SameText(IndexName(), TrimmedText(indexName)))
    DatabaseError("Cannot delete index '" + indexName + "'. It is the active index of the open table");
  RunExclusively("DeleteIndex", errors::DeleteIndexInTransaction,
                 [&](TZDBCursor& cursor) { cursor.DeleteIndex(TrimmedText(indexName)); });
}

}  // namespace zdb
