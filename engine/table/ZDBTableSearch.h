// One search of the table data for a cursor: the first row that meets a set of
// conditions (a key search, a Locate, the next row of a filtered cursor), or every such
// row marked in a record bitmap.
//
// The conditions come from the caller (a key condition, an expression) and from the
// cursor (its filters, its range as two key conditions on the active index, the key of
// the current row for a key-prefix step). The way through the table is chosen once:
//   1. an equality on a single-column unique index (Unique, Primary, or an automatic
//      increment column) goes straight to its one row;
//   2. a single key condition on the cursor's active index walks that index;
//   3. otherwise each index with key conditions is costed in pages (entries between its
//      bounds, the rows read to test the rest, and a penalty for not being the cursor's
//      own order) against a plain scan of the rows after the cursor; the cheapest wins.
//      Without key conditions a cursor with an active index walks that index.
// An index is walked between its lower and upper key condition. Every candidate row is
// tested against every condition. When the walk follows the cursor's own order, the
// first passing row in the walking direction answers; otherwise all candidates are
// visited and the passing row nearest to the cursor's position in the cursor's order
// wins. A table without rows has none.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/index/ZDBBTreeRecordIndex.h"
#include "engine/table/ZDBRecordBitmap.h"
#include "engine/table/ZDBSearchCondition.h"
#include "engine/table/ZDBTableCursor.h"

namespace zdb {

class TZDBTableData;

class TZDBTableSearch {
 public:
  TZDBTableSearch(TZDBTableData& table, TZDBTableCursor& cursor);

  // --- conditions --------------------------------------------------------------------------
  void AddKeyCondition(TZDBSearchOperator op, const uint8_t* keyBuffer, int32_t keyBufferSize, int32_t keyFieldCount,
                       int32_t indexID);
  void AddExpression(std::shared_ptr<const TZDBRowExpression> expression);
  // The cursor's filter expressions, callback and range.
  void AddCursorFilter();
  // Next / prior of a key-prefix step: beyond the current row's key (the row given).
  void AddKeyPrefixStep(const uint8_t* currentRow, bool forward);
  const TZDBScanSearchConditionArray& Conditions() const { return conditions_; }

  // --- searching -----------------------------------------------------------------------------
  // The first passing row after (forward) or before the cursor's position, or from the
  // start of the table in that direction; false when there is none.
  bool Find(bool forward, bool fromStart, TZDBRecordID& found);
  // Marks every passing row in a bitmap the caller has just reset: by physical record
  // number, or by position in the active index for an ordered bitmap.
  void MarkAll(TZDBRecordBitmap& bitmap);
  // Whether the row passes every condition.
  bool RowPasses(const uint8_t* row);

 private:
  struct Way {
    int32_t IndexID = TZDBScanSearchCondition::NoIndex;  // NoIndex: physical order
    const TZDBScanSearchCondition* Lower = nullptr;
    const TZDBScanSearchCondition* Upper = nullptr;
    bool UniqueHit = false;
  };
  // Called per candidate row in walking order with the row when it was read (else null);
  // answers whether to go on.
  using Visitor = std::function<bool(const TZDBRecordID& recordID, const uint8_t* row)>;

  Way ChooseWay();
  Way BoundsOn(int32_t indexID) const;
  bool IsUniqueEquality(const TZDBScanSearchCondition& condition);
  double EstimatedEntries(TZDBBTreeRecordIndex& index, const Way& way);
  // Whether rows must be read to test conditions beyond the walk's bounds.
  bool NeedsRows(const Way& way) const;
  TZDBIndexKeyCondition KeyConditionOf(const TZDBScanSearchCondition& condition, TZDBBTreeRecordIndex& index) const;
  bool KeyConditionHolds(const TZDBScanSearchCondition& condition, const uint8_t* row);

  // The walks; fromCursor continues from the cursor's row when the index is its own.
  void WalkIndex(const Way& way, bool forward, bool fromCursor, bool readRows, const Visitor& visit);
  void WalkPhysical(bool forward, bool fromCursor, const Visitor& visit);
  // The path of the first entry beyond the cursor's row in the direction; false when
  // there is none.
  bool PathBeyondCursor(TZDBBTreeRecordIndex& index, bool forward, TZDBKeyPath& path);

  // -1, 0, +1 of two rows in the cursor's own order.
  int CompareInCursorOrder(const TZDBRecordID& a, const uint8_t* rowA, const TZDBRecordID& b, const uint8_t* rowB);
  bool ReadRow(const TZDBRecordID& recordID, std::vector<uint8_t>& row);

  TZDBTableData& table_;
  TZDBTableCursor& cursor_;
  int32_t session_;
  TZDBScanSearchConditionArray conditions_;
  bool testCallback_ = false;
  std::vector<uint8_t> row_;
};

}  // namespace zdb
