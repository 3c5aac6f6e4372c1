// TZDBTable: the dataset of one table of one database, opened by DatabaseName,
// TableName and IndexName. The rows come in the order of the active index (physical
// order without one); the key searches work on that index.
//
// Key search: SetKey / EditKey enter set-key state on the lookup key buffer, the index
// fields are assigned as fields, and GotoKey / GotoNearest search. FindKey and
// FindNearest do both with a list of values for the leading index fields. A failed exact
// search leaves the window and the current row as they were; a nearest search lands on
// the first row whose key is at least the values, or on the last row when there is
// none, with BOF and EOF both false while a row exists. Searches and ranges re-read the
// window under the table's read lock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBPlatformVariant.h"
#include "engine/dataset/ZDBDataSet.h"

namespace zdb {

// How AddIndex builds an index: its key columns all ascending or all descending, with or
// without letter case; a primary or unique index also gets its constraint.
struct TZDBIndexOptions {
  bool Primary = false;
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
};

class TZDBTable : public TZDBDataSet {
 public:
  explicit TZDBTable(TZDBOwner owner = nullptr);
  ~TZDBTable() override;

  const std::string& TableName() const { return tableName_; }
  // Not while open.
  void SetTableName(const std::string& tableName);
  const std::string& IndexName() const { return indexName_; }
  // Allowed while open: pending edits are posted or cancelled, the current row is kept
  // and the window is read again in the new order. 10325 for an index the table lacks.
  void SetIndexName(const std::string& indexName);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);

  void SetKey();
  void EditKey();
  bool GotoKey();
  void GotoNearest();
  bool FindKey(const std::vector<PlatformVariant>& values);
  void FindNearest(const std::vector<PlatformVariant>& values);

  // An inclusive range on the active index: the ends are set like a key, ApplyRange
  // limits the rows to start <= key <= end and goes to the first one. CancelRange shows
  // every row again, keeping the current one.
  void SetRangeStart();
  void SetRangeEnd();
  void ApplyRange();
  void CancelRange();

  // Operations on the table itself, named by TableName in the database of DatabaseName.
  // None runs inside a transaction: "Cannot perform '%s' operation on a database in
  // transaction" (the operation's name for %s). A table another process has open is
  // left alone: "Cannot access table '%s' in exclusive mode. Table is open by another
  // user". The cursor's own errors pass on (Table '%s' not found, Index already exists,
  // ...).
  //
  // Every row goes; an open table is read again, empty.
  void EmptyTable();
  // The table goes from the file; not while open.
  void DeleteTable();
  // Not while open; TableName becomes the new name.
  void RenameTable(const std::string& newName);
  // Not while open.
  void RenameField(const std::string& oldName, const std::string& newName);
  // Fields separated by ';'. Open or not; 20046 "Invalid index name '%s'" for a blank
  // name, 20049 "Cannot find index field '%s'" without fields.
  void AddIndex(const std::string& indexName, const std::string& fields, TZDBIndexOptions options = {});
  // Open or not, but not the active index of the open table.
  void DeleteIndex(const std::string& indexName);

 protected:
  std::unique_ptr<TZDBCursor> CreateCursor() override;

 private:
  // The cursor searches with the lookup key buffer.
  void GiveSearchKey();
  // Drops the range the cursor applies; true when there was one.
  bool DropRange();
  // Runs an operation on the table with a cursor of its own (its table open when asked),
  // connected for the time being; refused inside a transaction.
  template <typename Operation>
  void RunTableOperation(const char* name, const TZDBError& inTransactionCode, bool openTable, Operation operation);
  // The exclusive table lock for a definition change, for the operation's duration.
  template <typename Operation>
  void RunExclusively(const char* name, const TZDBError& inTransactionCode, Operation operation);

  std::string tableName_;
  std::string indexName_;
  bool exclusive_ = false;
};

}  // namespace zdb
