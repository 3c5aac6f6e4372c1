// The request through which every row read passes between cursor, table data, index and
// record manager: where to start, which way to move, where to put the row, and how it
// went.
#pragma once

#include <cstdint>

#include "engine/index/ZDBRecordID.h"

namespace zdb {

enum TZDBGetRecordMode : uint8_t {
  grmCurrent = 0,
  grmNext = 1,
  grmPrior = 2,
};

enum TZDBGetResult : uint8_t {
  grOK = 0,
  grBOF = 1,       // the beginning was reached
  grEOF = 2,       // the end was reached
  grNotFound = 3,
};

struct TZDBNavigationRequest {
  static constexpr int32_t PhysicalOrder = -1;

  uint8_t GetMode = grmCurrent;
  int32_t IndexID = PhysicalOrder;  // ObjectID of the index that orders the walk
  TZDBRecordID RecordID;            // where to start; on success the row reached
  uint8_t* RecordBuffer = nullptr;  // where the row goes; null moves the position only
  bool BeforeFirst = false;
  bool AfterLast = false;
  uint8_t GetResult = grOK;
};

}  // namespace zdb
