#include "engine/table/ZDBTableSearch.h"

#include <algorithm>
#include <limits>

#include "engine/table/ZDBTableData.h"

namespace zdb {
namespace {

constexpr int32_t NoIndex = TZDBScanSearchCondition::NoIndex;

}  // namespace

TZDBTableSearch::TZDBTableSearch(TZDBTableData& table, TZDBTableCursor& cursor)
    : table_(table), cursor_(cursor), session_(cursor.SessionID()) {}

// --- conditions ------------------------------------------------------------------------------

void TZDBTableSearch::AddKeyCondition(TZDBSearchOperator op, const uint8_t* keyBuffer, int32_t keyBufferSize,
                                      int32_t keyFieldCount, int32_t indexID) {
  TZDBScanSearchCondition condition;
  condition.ComparisonType = op;
  condition.KeyBuffer = keyBuffer;
  condition.KeyBufferSize = keyBufferSize;
  condition.KeyFieldCount = keyFieldCount;
  condition.IndexID = indexID;
  conditions_.Add(std::move(condition));
}

void TZDBTableSearch::AddExpression(std::shared_ptr<const TZDBRowExpression> expression) {
  TZDBScanSearchCondition condition;
  condition.Expression = std::move(expression);
  conditions_.Add(std::move(condition));
}

void TZDBTableSearch::AddCursorFilter() {
  for (const auto& filter : cursor_.Filters()) AddExpression(filter);
  testCallback_ = static_cast<bool>(cursor_.Callback());
  if (cursor_.IndexID() == NoIndex) return;  // a range lives on the active index
  const TZDBRangeKey& start = cursor_.RangeStart();
  if (start.KeyBuffer != nullptr)
    AddKeyCondition(start.Exclusive ? TZDBSearchOperator::Greater : TZDBSearchOperator::GreaterOrEqual, start.KeyBuffer,
                    table_.RecordBufferSize(), start.KeyFieldCount, cursor_.IndexID());
  const TZDBRangeKey& end = cursor_.RangeEnd();
  if (end.KeyBuffer != nullptr)
    AddKeyCondition(end.Exclusive ? TZDBSearchOperator::Less : TZDBSearchOperator::LessOrEqual, end.KeyBuffer,
                    table_.RecordBufferSize(), end.KeyFieldCount, cursor_.IndexID());
}

void TZDBTableSearch::AddKeyPrefixStep(const uint8_t* currentRow, bool forward) {
  if (cursor_.IndexID() == NoIndex || cursor_.KeyPrefixStep() <= 0) return;
  AddKeyCondition(forward ? TZDBSearchOperator::Greater : TZDBSearchOperator::Less, currentRow,
                  table_.RecordBufferSize(), cursor_.KeyPrefixStep(), cursor_.IndexID());
}

TZDBIndexKeyCondition TZDBTableSearch::KeyConditionOf(const TZDBScanSearchCondition& condition,
                                                      TZDBBTreeRecordIndex& index) const {
  const int32_t columns = index.KeyRef().ColumnCount();
  int32_t count = condition.KeyFieldCount;
  if (count <= 0 || count > columns) count = columns;
  return {condition.ComparisonType, condition.KeyBuffer, count, false};
}

bool TZDBTableSearch::KeyConditionHolds(const TZDBScanSearchCondition& condition, const uint8_t* row) {
  TZDBBTreeRecordIndex& index = table_.IndexManager()->GetIndex(condition.IndexID);
  const TZDBIndexKeyCondition key = KeyConditionOf(condition, index);
  return SatisfiesOperator(index.CompareRows(row, condition.KeyBuffer, key.ColumnCount), condition.ComparisonType);
}

bool TZDBTableSearch::RowPasses(const uint8_t* row) {
  for (int32_t i = 0; i < conditions_.Count(); ++i) {
    const TZDBScanSearchCondition& condition = conditions_.Items(i);
    const bool holds =
        condition.IsKeyCondition() ? KeyConditionHolds(condition, row) : condition.Expression->Evaluate(row);
    if (!holds) return false;
  }
  return !testCallback_ || cursor_.Callback()(row);
}

// --- choosing the way --------------------------------------------------------------------------

bool TZDBTableSearch::IsUniqueEquality(const TZDBScanSearchCondition& condition) {
  if (!condition.IsKeyCondition() || condition.ComparisonType != TZDBSearchOperator::Equal) return false;
  const TZDBIndexDef* definition = table_.IndexManager()->FindIndexDef(condition.IndexID);
  if (definition == nullptr || definition->Columns().size() != 1) return false;
  if (definition->Unique() || definition->Primary()) return true;
  const TZDBFieldDef* field = table_.FieldManager()->FieldDefs().FindByName(definition->Columns()[0].FieldName);
  return field != nullptr && field->IsAutoinc();
}

TZDBTableSearch::Way TZDBTableSearch::BoundsOn(int32_t indexID) const {
  Way way;
  way.IndexID = indexID;
  for (int32_t i = 0; i < conditions_.Count(); ++i) {
    const TZDBScanSearchCondition& condition = conditions_.Items(i);
    if (!condition.IsKeyCondition() || condition.IndexID != indexID) continue;
    // Any one bound of each side walks a superset of the rows that meet them all; every
    // row is tested in full anyway.
    if (way.Lower == nullptr && condition.BoundsFromBelow()) way.Lower = &condition;
    if (way.Upper == nullptr && condition.BoundsFromAbove()) way.Upper = &condition;
  }
  return way;
}

bool TZDBTableSearch::NeedsRows(const Way& way) const {
  if (testCallback_) return true;
  for (int32_t i = 0; i < conditions_.Count(); ++i) {
    const TZDBScanSearchCondition& condition = conditions_.Items(i);
    if (&condition != way.Lower && &condition != way.Upper) return true;
  }
  return false;
}

double TZDBTableSearch::EstimatedEntries(TZDBBTreeRecordIndex& index, const Way& way) {
  const int64_t rows = table_.RecordManager()->RecordCount();
  if (way.Lower != nullptr && way.Upper != nullptr)
    return static_cast<double>(
        index.EstimateCount(session_, KeyConditionOf(*way.Lower, index), KeyConditionOf(*way.Upper, index), rows));
  TZDBKeyPath path;
  if (way.Lower != nullptr)
    return index.FindCondition(session_, KeyConditionOf(*way.Lower, index), true, path)
               ? (1.0 - path.RelativePosition()) * static_cast<double>(rows)
               : 0.0;
  if (way.Upper != nullptr)
    return index.FindCondition(session_, KeyConditionOf(*way.Upper, index), false, path)
               ? path.RelativePosition() * static_cast<double>(rows) + 1.0
               : 0.0;
  return static_cast<double>(rows);
}

TZDBTableSearch::Way TZDBTableSearch::ChooseWay() {
  for (int32_t i = 0; i < conditions_.Count(); ++i) {
    const TZDBScanSearchCondition& condition = conditions_.Items(i);
    if (IsUniqueEquality(condition)) {
      Way way{condition.IndexID, &condition, &condition, true};
      return way;
    }
  }
  const int32_t active = cursor_.IndexID();
  std::vector<int32_t> candidates;
  for (int32_t i = 0; i < conditions_.Count(); ++i) {
    const TZDBScanSearchCondition& condition = conditions_.Items(i);
    if (condition.IsKeyCondition() &&
        std::find(candidates.begin(), candidates.end(), condition.IndexID) == candidates.end())
      candidates.push_back(condition.IndexID);
  }
  if (candidates.empty()) return BoundsOn(active);  // no key conditions: the cursor's own order
  if (candidates.size() == 1 && candidates[0] == active && conditions_.KeyConditionCount() == 1)
    return BoundsOn(active);

  const double pageDataSize = table_.PageManager().PageDataSize();
  const double storedRecordSize = table_.RecordManager()->StoredRecordSize();
  Way best;
  double bestCost = std::numeric_limits<double>::infinity();
  for (const int32_t indexID : candidates) {
    TZDBBTreeRecordIndex& index = table_.IndexManager()->GetIndex(indexID);
    const Way way = BoundsOn(indexID);
    const double entries = EstimatedEntries(index, way);
    const double entryPages = entries * (index.KeyRef().KeySize() + TZDBRecordID::ByteSize) / pageDataSize;
    double cost = entryPages;
    if (NeedsRows(way) || indexID != active) cost += entries * storedRecordSize / pageDataSize;
    if (indexID != active) cost += entryPages;
    if (cost < bestCost) {
      bestCost = cost;
      best = way;
    }
  }
  if (pageDataSize > 0) {
    int64_t from = 0;
    if (cursor_.OnRow()) from = table_.RecordManager()->GetApproximateRecNo(session_, cursor_.RecordID());
    const double scanCost =
        static_cast<double>(table_.RecordManager()->RecordCount() - from) * storedRecordSize / pageDataSize;
    if (scanCost < bestCost) return Way{};
  }
  return best;
}

// --- walks -------------------------------------------------------------------------------------

bool TZDBTableSearch::ReadRow(const TZDBRecordID& recordID, std::vector<uint8_t>& row) {
  row.assign(static_cast<size_t>(std::max(table_.RecordBufferSize(), 0)), 0);
  return table_.ReadRecord(session_, recordID, row.data());
}

bool TZDBTableSearch::PathBeyondCursor(TZDBBTreeRecordIndex& index, bool forward, TZDBKeyPath& path) {
  TZDBKeyPath current;
  if (index.FindRecordPath(session_, cursor_.RecordID(), current, nullptr)) {
    path = current;
    return forward ? index.NextEntry(session_, path) : index.PriorEntry(session_, path);
  }
  // The row is gone: continue from the key it had, as the cursor's buffer still holds it.
  if (cursor_.RecordBuffer() == nullptr) return false;
  const TZDBIndexKeyCondition beyond{forward ? TZDBSearchOperator::Greater : TZDBSearchOperator::Less,
                                     cursor_.RecordBuffer(), index.KeyRef().ColumnCount(), false};
  return index.FindCondition(session_, beyond, forward, path);
}

void TZDBTableSearch::WalkIndex(const Way& way, bool forward, bool fromCursor, bool readRows, const Visitor& visit) {
  TZDBBTreeRecordIndex& index = table_.IndexManager()->GetIndex(way.IndexID);
  const TZDBScanSearchCondition* start = forward ? way.Lower : way.Upper;
  const TZDBScanSearchCondition* stop = forward ? way.Upper : way.Lower;

  TZDBKeyPath path;
  bool have = start != nullptr ? index.FindCondition(session_, KeyConditionOf(*start, index), forward, path)
                               : (forward ? index.FirstEntry(session_, path) : index.LastEntry(session_, path));
  if (!have) return;
  if (fromCursor && cursor_.OnRow()) {
    TZDBKeyPath beyond;
    if (!PathBeyondCursor(index, forward, beyond)) return;
    const int order = TZDBKeyPath::ComparePaths(beyond, path);
    if (forward ? order > 0 : order < 0) path = beyond;
  }
  TZDBKeyPath endPath;
  const bool haveEnd = stop != nullptr;
  if (haveEnd && !index.FindCondition(session_, KeyConditionOf(*stop, index), !forward, endPath)) return;

  std::vector<uint8_t> row;
  do {
    if (haveEnd) {
      const int order = TZDBKeyPath::ComparePaths(path, endPath);
      if (forward ? order > 0 : order < 0) return;
    }
    const TZDBRecordID recordID = index.RecordIDAt(session_, path);
    const uint8_t* rowRead = nullptr;
    if (readRows) {
      if (!ReadRow(recordID, row)) continue;  // an entry without its row: nothing to offer
      rowRead = row.data();
    }
    if (!visit(recordID, rowRead)) return;
  } while (forward ? index.NextEntry(session_, path) : index.PriorEntry(session_, path));
}

void TZDBTableSearch::WalkPhysical(bool forward, bool fromCursor, const Visitor& visit) {
  std::vector<uint8_t> row(static_cast<size_t>(std::max(table_.RecordBufferSize(), 0)), 0);
  TZDBNavigationRequest request;
  request.GetMode = forward ? grmNext : grmPrior;
  request.RecordBuffer = row.data();
  if (fromCursor) {
    request.RecordID = cursor_.RecordID();
    request.BeforeFirst = cursor_.BeforeFirst();
    request.AfterLast = cursor_.AfterLast();
  } else {
    request.BeforeFirst = forward;
    request.AfterLast = !forward;
  }
  for (;;) {
    table_.RecordManager()->GetRecord(session_, request);
    if (request.GetResult != grOK) return;
    if (!visit(request.RecordID, row.data())) return;
  }
}

int TZDBTableSearch::CompareInCursorOrder(const TZDBRecordID& a, const uint8_t* rowA, const TZDBRecordID& b,
                                          const uint8_t* rowB) {
  if (cursor_.IndexID() != NoIndex) {
    TZDBBTreeRecordIndex& index = table_.IndexManager()->GetIndex(cursor_.IndexID());
    const int order = index.CompareRows(rowA, rowB, index.KeyRef().ColumnCount());
    if (order != 0) return order;
  }
  return CompareRecordIDs(a, b);
}

// --- searching -----------------------------------------------------------------------------------

bool TZDBTableSearch::Find(bool forward, bool fromStart, TZDBRecordID& found) {
  if (table_.RecordManager()->RecordCount() == 0) return false;
  if (!fromStart && (forward ? cursor_.AfterLast() : cursor_.BeforeFirst())) return false;
  const Way way = ChooseWay();
  const bool followsOrder = way.IndexID == cursor_.IndexID();
  const bool fromCursor = !fromStart;

  if (followsOrder) {
    bool hit = false;
    const bool readRows = NeedsRows(way);
    const Visitor firstPassing = [&](const TZDBRecordID& recordID, const uint8_t* row) {
      if (row != nullptr && !RowPasses(row)) return true;
      found = recordID;
      hit = true;
      return false;
    };
    if (way.IndexID == NoIndex)
      WalkPhysical(forward, fromCursor, firstPassing);
    else
      WalkIndex(way, forward, fromCursor, readRows, firstPassing);
    return hit;
  }

  // Another order than the cursor's: every candidate counts; the nearest one beyond the
  // cursor's position in the cursor's order wins.
  std::vector<uint8_t> current;
  bool haveCurrent = false;
  if (fromCursor && cursor_.OnRow()) {
    haveCurrent = ReadRow(cursor_.RecordID(), current);
    if (!haveCurrent && cursor_.RecordBuffer() != nullptr) {
      current.assign(cursor_.RecordBuffer(), cursor_.RecordBuffer() + table_.RecordBufferSize());
      haveCurrent = true;
    }
    if (!haveCurrent) return false;
  }
  std::vector<uint8_t> best;
  TZDBRecordID bestID;
  bool hit = false;
  const Visitor nearest = [&](const TZDBRecordID& recordID, const uint8_t* row) {
    if (!RowPasses(row)) return true;
    if (haveCurrent) {
      const int order = CompareInCursorOrder(recordID, row, cursor_.RecordID(), current.data());
      if (forward ? order <= 0 : order >= 0) return true;
    }
    if (hit) {
      const int order = CompareInCursorOrder(recordID, row, bestID, best.data());
      if (forward ? order >= 0 : order <= 0) return true;
    }
    best.assign(row, row + table_.RecordBufferSize());
    bestID = recordID;
    hit = true;
    return !way.UniqueHit;
  };
  if (way.IndexID == NoIndex)
    WalkPhysical(true, false, nearest);
  else
    WalkIndex(way, true, false, true, nearest);
  if (hit) found = bestID;
  return hit;
}

void TZDBTableSearch::MarkAll(TZDBRecordBitmap& bitmap) {
  if (table_.RecordManager()->RecordCount() == 0) return;
  if (bitmap.Ordered() && cursor_.IndexID() != NoIndex) {
    // Bits by position in the active index: walk it in order, counting from the first
    // entry the walk starts at.
    TZDBBTreeRecordIndex& index = table_.IndexManager()->GetIndex(cursor_.IndexID());
    const Way way = BoundsOn(cursor_.IndexID());
    const bool readRows = NeedsRows(way);
    int64_t position = -1;
    WalkIndex(way, true, false, readRows, [&](const TZDBRecordID& recordID, const uint8_t* row) {
      if (position < 0) {
        TZDBKeyPath path;
        if (!index.FindRecordPath(session_, recordID, path, row)) return false;
        position = index.Tree().EntriesBefore(session_, path);
      } else {
        ++position;
      }
      if (row == nullptr || RowPasses(row)) bitmap.SetBit(position, true);
      return true;
    });
    return;
  }
  const Way way = ChooseWay();
  const Visitor mark = [&](const TZDBRecordID& recordID, const uint8_t* row) {
    if (row == nullptr || RowPasses(row)) bitmap.SetBit(table_.RecordIDToNumber(recordID), true);
    return true;
  };
  if (way.IndexID == NoIndex)
    WalkPhysical(true, false, mark);
  else
    WalkIndex(way, true, false, NeedsRows(way), mark);
}

}  // namespace zdb
