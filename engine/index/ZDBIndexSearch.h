// The small records of index searches: comparison operators, the key condition an index
// reads from a search condition, the state of a scan and the position cache a cursor
// keeps to browse in index order without searching the tree at every step.
#pragma once

#include <cstdint>

#include "engine/index/ZDBKeyPath.h"
#include "engine/index/ZDBRecordID.h"

namespace zdb {

enum class TZDBSearchOperator : uint8_t {
  None = 0,  // no key: every entry satisfies
  Equal = 1,
  Less = 2,
  Greater = 3,
  LessOrEqual = 4,
  GreaterOrEqual = 5,
};

// What an index reads of a search condition: the operator, a record buffer holding the
// search values, how many leading index columns take part, and whether text columns
// compare only as long as the search text (a prefix search).
struct TZDBIndexKeyCondition {
  TZDBSearchOperator Operator = TZDBSearchOperator::Equal;
  const uint8_t* SearchRow = nullptr;
  int32_t ColumnCount = 0;
  bool PrefixSearch = false;
};

// One scan of FindNextMatch.
struct TZDBIndexSearchState {
  bool Started = false;
  bool Forward = true;  // the direction taken when started
  TZDBKeyPath Path;
  bool HasEndPath = false;
  TZDBKeyPath EndPath;
};

// One per cursor: the path of the cursor's row in one index, valid while the table's
// change counter has not moved.
struct TZDBIndexPositionCache {
  static constexpr int32_t NoIndex = -1;
  static constexpr int32_t NoChangeCounter = -1;

  TZDBKeyPath Path;
  int32_t IndexID = NoIndex;
  TZDBRecordID RecordID;
  int32_t ChangeCounter = NoChangeCounter;

  void Clear() {
    Path.Clear();
    IndexID = NoIndex;
    RecordID = {};
    ChangeCounter = NoChangeCounter;
  }
};

}  // namespace zdb
