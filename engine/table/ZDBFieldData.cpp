#include "engine/table/ZDBFieldData.h"

#include <cstring>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBExtended.h"
#include "engine/table/ZDBFieldManager.h"

namespace zdb {
namespace {

constexpr int32_t SmallIntSize = 2;
constexpr size_t CardinalSize = 4;
constexpr int32_t LargeIntSize = 8;
constexpr int32_t DoubleSize = 8;

void CheckFieldNumber(int32_t fieldNo, const TZDBFieldDefs& fieldDefs, const TZDBError& code) {
  if (fieldNo < 0 || fieldNo >= fieldDefs.Count())
    RaiseError(code, {fieldNo, fieldDefs.Count()});
}

// A field whose offsets were not computed for this list would reach outside the row.
void CheckLayout(int32_t fieldNo, const TZDBFieldDef& field, const TZDBFieldDefs& fieldDefs,
                 int32_t recordBufferSize) {
  const int64_t end = static_cast<int64_t>(field.MemoryOffset()) + field.MemoryDataSize();
  if (recordBufferSize < 0) recordBufferSize = fieldDefs.RecordBufferSize();
  if (field.MemoryOffset() < fieldDefs.NullMapSize() || end > recordBufferSize)
    RaiseError(errors::GetFieldDataFailed, {fieldNo, field.MemoryOffset(), field.MemoryDataSize()});
}

bool IsEmptyText(const TZDBFieldDef& field, const uint8_t* datasetBuffer) {
  switch (field.LogicalType()) {
    case TZDBLogicalType::Char:
    case TZDBLogicalType::String:
    case TZDBLogicalType::Guid:
      return field.MemoryDataSize() < 1 || datasetBuffer[0] == 0;
    case TZDBLogicalType::WideChar:
    case TZDBLogicalType::WideString:
      return field.MemoryDataSize() < 2 || le::GetU16(datasetBuffer) == 0;
    default:
      return false;
  }
}

}  // namespace

int32_t DatasetDataSize(const TZDBFieldDef& field) {
  switch (field.LogicalType()) {
    case TZDBLogicalType::ShortInt: return SmallIntSize;
    case TZDBLogicalType::Cardinal: return LargeIntSize;
    case TZDBLogicalType::Single:
    case TZDBLogicalType::Extended: return DoubleSize;
    default: return field.MemoryDataSize();
  }
}

bool ReadFieldData(int32_t fieldNo, const TZDBFieldDefs& fieldDefs, uint8_t* datasetBuffer,
                   const uint8_t* recordBuffer, int32_t recordBufferSize) {
  CheckFieldNumber(fieldNo, fieldDefs, errors::ReadInvalidFieldNumber);
  if (recordBuffer == nullptr) RaiseError(errors::NoSourceRow);
  if (IsFieldNull(recordBuffer, fieldNo)) return false;
  const TZDBFieldDef& field = fieldDefs.Items(fieldNo);
  if (datasetBuffer == nullptr || IsBlobLogicalType(field.LogicalType())) return true;
  CheckLayout(fieldNo, field, fieldDefs, recordBufferSize);
  const uint8_t* value = recordBuffer + field.MemoryOffset();
  switch (field.LogicalType()) {
    case TZDBLogicalType::ShortInt:
      le::PutI16(datasetBuffer, static_cast<int8_t>(value[0]));
      break;
    case TZDBLogicalType::Cardinal:
      le::PutI64(datasetBuffer, static_cast<int64_t>(le::GetU32(value)));
      break;
    case TZDBLogicalType::Single:
      le::PutDouble(datasetBuffer, static_cast<double>(std::bit_cast<float>(le::GetU32(value))));
      break;
    case TZDBLogicalType::Extended:
      le::PutDouble(datasetBuffer, TZDBExtended::FromBytes(value).ToDouble());
      break;
    default:
      std::memcpy(datasetBuffer, value, static_cast<size_t>(field.MemoryDataSize()));
      break;
  }
  return true;
}

void WriteFieldData(int32_t fieldNo, const TZDBFieldDefs& fieldDefs, const uint8_t* datasetBuffer,
                    uint8_t* recordBuffer) {
  CheckFieldNumber(fieldNo, fieldDefs, errors::WriteInvalidFieldNumber);
  if (recordBuffer == nullptr) RaiseError(errors::NoTargetRow);
  const TZDBFieldDef& field = fieldDefs.Items(fieldNo);
  if (datasetBuffer == nullptr || IsEmptyText(field, datasetBuffer)) {
    SetFieldNull(recordBuffer, fieldNo, true);
    return;
  }
  CheckLayout(fieldNo, field, fieldDefs, -1);
  uint8_t* value = recordBuffer + field.MemoryOffset();
  switch (field.LogicalType()) {
    case TZDBLogicalType::ShortInt:
      value[0] = datasetBuffer[0];
      break;
    case TZDBLogicalType::Cardinal:
      std::memcpy(value, datasetBuffer, CardinalSize);
      break;
    case TZDBLogicalType::Single:
      // Through the extended form: a double out of float range becomes an infinity
      // instead of an undefined conversion.
      le::PutU32(value, std::bit_cast<uint32_t>(TZDBExtended::FromDouble(le::GetDouble(datasetBuffer)).ToSingle()));
      break;
    case TZDBLogicalType::Extended:
      TZDBExtended::FromDouble(le::GetDouble(datasetBuffer)).ToBytes(value);
      break;
    default:
      std::memcpy(value, datasetBuffer, static_cast<size_t>(field.MemoryDataSize()));
      break;
  }
  SetFieldNull(recordBuffer, fieldNo, false);
}

}  // namespace zdb
