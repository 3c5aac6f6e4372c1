// The small types that datasets, fields, data sources and data links share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace data {

// The field types; their numbers are the platform's, which stored table definitions
// and the engine's type table use.
enum class TFieldType : uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftOraBlob = 30,
  ftOraClob = 31,
  ftGuid = 35,
  ftTimeStamp = 36,
};

// The type's name in messages ("Integer", "Float" ...); "Unknown" for others.
const char* FieldTypeName(TFieldType type);

// How a BLOB field's stream is opened (TDataSet::CreateBlobStream).
enum class TBlobStreamMode : uint8_t { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

// Which row the field objects read and write depends on the state (the dataset
// subclass decides; see TDataSet::GetFieldData).
enum class TDataSetState : uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening,
};

// The states in which field objects may write.
bool IsWriteState(TDataSetState state);
// Edit, insert and set key: a data link is editing.
bool IsEditState(TDataSetState state);

// What a dataset tells its data sources and their links.
enum class TDataEvent : uint8_t {
  deFieldChange,     // a field's value changed (Field)
  deRecordChange,    // the active record changed as a whole (Field may be null)
  deDataSetChange,   // the window was re-read
  deDataSetScroll,   // the active record moved (Distance: how far the rows moved in the window)
  deLayoutChange,    // the fields changed
  deUpdateRecord,    // links must hand their pending edits to the fields
  deUpdateState,     // the state changed
  deCheckBrowseMode, // the dataset is about to leave its record
};

class TField;

struct TDataEventInfo {
  TField* Field = nullptr;
  int Distance = 0;
};

// How the get-record hook moves before reading.
enum class TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
// Its answer: a row, the crack before the first or after the last row, or a failure.
enum class TGetResult : uint8_t { grOK, grBOF, grEOF, grError };

// What a record buffer stands for; the numbers are the flag bytes the engine keeps.
enum class TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

// Resync: Exact raises "Record not found" when the cursor's row cannot be read; Center
// makes that row the middle of the window instead of leaving the active row in place.
struct TResyncMode {
  bool Exact = false;
  bool Center = false;
};

// The answer of an error event: give up with the error, abort silently, or try again.
enum class TDataAction : uint8_t { daFail, daAbort, daRetry };

// A record buffer as the hooks see it; the window owns it.
using TRecordBuffer = uint8_t*;
using TRecordBufferPtr = std::unique_ptr<uint8_t[]>;
// A copy of a record's bookmark data (BookmarkSize bytes); empty when there is none.
using TBookmark = std::vector<uint8_t>;

}  // namespace data
