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

#include "engine/dataset/ZDBDataSet.h"
#include "engine/index/ZDBPlatformVariant.h"

namespace zdb {

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

 protected:
  std::unique_ptr<TZDBCursor> CreateCursor() override;

 private:
  // The cursor searches with the lookup key buffer.
  void GiveSearchKey();
  // Drops the range the cursor applies; true when there was one.
  bool DropRange();

  std::string tableName_;
  std::string indexName_;
  bool exclusive_ = false;
};

}  // namespace zdb
