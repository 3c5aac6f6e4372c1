#include "engine/table/ZDBFieldManager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr uint8_t AllNull = 0xFF;
constexpr size_t CountSize = 4;
constexpr size_t CounterSize = 8;

struct ValueRange {
  int64_t min;
  int64_t max;
};

template <typename T>
constexpr ValueRange RangeOf() {
  return {static_cast<int64_t>(std::numeric_limits<T>::min()), static_cast<int64_t>(std::numeric_limits<T>::max())};
}

// What a counter value must stay within to be written into a field of the type.
ValueRange CounterRange(TZDBStorageType type) {
  switch (type) {
    case TZDBStorageType::ShortInt: return RangeOf<int8_t>();
    case TZDBStorageType::SmallInt: return RangeOf<int16_t>();
    case TZDBStorageType::Integer: return RangeOf<int32_t>();
    case TZDBStorageType::Byte: return RangeOf<uint8_t>();
    case TZDBStorageType::Word: return RangeOf<uint16_t>();
    case TZDBStorageType::Cardinal: return RangeOf<uint32_t>();
    default: return RangeOf<int64_t>();
  }
}

// The field's integer value, signed types sign-extended.
int64_t ReadCounterValue(const TZDBFieldDef& field, const uint8_t* recordBuffer) {
  const uint8_t* bytes = recordBuffer + field.MemoryOffset();
  switch (field.StorageType()) {
    case TZDBStorageType::ShortInt: return static_cast<int8_t>(bytes[0]);
    case TZDBStorageType::SmallInt: return le::GetI16(bytes);
    case TZDBStorageType::Integer: return le::GetI32(bytes);
    case TZDBStorageType::LargeInt: return le::GetI64(bytes);
    case TZDBStorageType::Byte: return bytes[0];
    case TZDBStorageType::Word: return le::GetU16(bytes);
    case TZDBStorageType::Cardinal: return le::GetU32(bytes);
    default: {
      // Only integer types count; anything else is read as its low bytes, zero-extended.
      uint8_t wide[CounterSize] = {};
      std::memcpy(wide, bytes, std::min<size_t>(CounterSize, static_cast<size_t>(field.MemoryDataSize())));
      return le::GetI64(wide);
    }
  }
}

void WriteCounterValue(const TZDBFieldDef& field, uint8_t* recordBuffer, int64_t value) {
  uint8_t wide[CounterSize];
  le::PutI64(wide, value);
  std::memcpy(recordBuffer + field.MemoryOffset(), wide,
              std::min<size_t>(CounterSize, static_cast<size_t>(field.MemoryDataSize())));
}

// Copies a value of the field's own type into the field, cut to its width; text keeps
// its terminator inside the field.
void WriteValueBytes(const TZDBFieldDef& field, const TZDBVariant& value, uint8_t* recordBuffer) {
  uint8_t* target = recordBuffer + field.MemoryOffset();
  const size_t width = static_cast<size_t>(field.MemoryDataSize());
  size_t room = width;
  if (IsWideStringType(field.StorageType()))
    room = width >= 2 ? width - 2 : 0;
  else if (IsStringType(field.StorageType()))
    room = width >= 1 ? width - 1 : 0;
  std::memset(target, 0, width);
  std::memcpy(target, value.Data(), std::min(room, static_cast<size_t>(value.DataSize())));
}

[[noreturn]] void RaiseInvalidHeaderData() { RaiseError(errors::InvalidTableHeaderData); }

}  // namespace

bool IsFieldNull(const uint8_t* row, int32_t fieldNo) { return (row[fieldNo / 8] & (1u << (fieldNo % 8))) != 0; }

void SetFieldNull(uint8_t* row, int32_t fieldNo, bool isNull) {
  const uint8_t bit = static_cast<uint8_t>(1u << (fieldNo % 8));
  if (isNull)
    row[fieldNo / 8] |= bit;
  else
    row[fieldNo / 8] &= static_cast<uint8_t>(~bit);
}

// --- virtual operations ------------------------------------------------------------------

int64_t TZDBBaseFieldManager::NextAutoincValue(int32_t fieldNo) {
  CheckCounterField(fieldNo);
  const TZDBFieldDef& field = fieldDefs_.Items(fieldNo);
  int64_t& counter = autoincValues_[static_cast<size_t>(fieldNo)];
  const int64_t step = field.AutoincIncrement() != 0 ? field.AutoincIncrement() : 1;
  int64_t next = 0;
  const bool overflow = __builtin_add_overflow(counter, step, &next);
  const ValueRange range = CounterRange(field.StorageType());
  const bool beyondMax = field.AutoincMaxValue() != TZDBFieldDef::NoAutoincLimit && next > field.AutoincMaxValue();
  const bool exceeded = overflow || beyondMax || next < range.min || next > range.max;
  if (!exceeded) {
    counter = next;
  } else if (field.AutoincCycled()) {
    counter = field.AutoincMinValue();
  } else {
    if (!overflow) counter = next;
    RaiseError(errors::AutoincMaxExceeded, {field.Name()});
  }
  return counter;
}

void TZDBBaseFieldManager::ApplyDefaults(uint8_t* recordBuffer) {
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    if (field.IsBlob() || field.DefaultValue().IsNull()) continue;
    TZDBVariant value = field.DefaultExpression() ? field.DefaultExpression()->Evaluate() : field.DefaultValue();
    if (value.IsNull()) continue;
    // A default kept in another type (a text default of a number field) would otherwise
    // land in the row as foreign bytes.
    value.CastTo(field.StorageType());
    WriteValueBytes(field, value, recordBuffer);
    SetFieldNull(recordBuffer, i, false);
  }
}

void TZDBBaseFieldManager::AssignAutoincValues(TZDBBaseSession& session, uint8_t* recordBuffer) {
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    if (!field.IsAutoinc()) continue;
    if (IsFieldNull(recordBuffer, i)) {
      WriteCounterValue(field, recordBuffer, GenerateAutoincValue(session, i));
      SetFieldNull(recordBuffer, i, false);
      continue;
    }
    CheckCounterField(i);
    // A negative value given for a signed field stays below the counter instead of
    // reading as a huge unsigned one that would throw the sequence far ahead.
    const int64_t given = ReadCounterValue(field, recordBuffer);
    int64_t& counter = autoincValues_[static_cast<size_t>(i)];
    if (given > counter) {
      counter = given;
      session.SetSequenceValue(field.ObjectID(), field.Name(), given);
    }
  }
}

void TZDBBaseFieldManager::RaiseAutoincValues(const uint8_t* recordBuffer) {
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    if (!field.IsAutoinc() || IsFieldNull(recordBuffer, i)) continue;
    int64_t& counter = autoincValues_[static_cast<size_t>(i)];
    counter = std::max(counter, ReadCounterValue(field, recordBuffer));
  }
}

int64_t TZDBBaseFieldManager::GenerateAutoincValue(TZDBBaseSession& session, int32_t fieldNo) {
  const int64_t value = NextAutoincValue(fieldNo);
  const TZDBFieldDef& field = fieldDefs_.Items(fieldNo);
  session.SetSequenceValue(field.ObjectID(), field.Name(), value);
  return value;
}

int64_t TZDBBaseFieldManager::GetLastAutoincValue(const TZDBBaseSession& session, int32_t fieldNo) const {
  CheckCounterField(fieldNo);
  const TZDBFieldDef& field = fieldDefs_.Items(fieldNo);
  if (const TZDBSessionNamedObjectSequenceValue* last = session.FindSequenceValue(field.ObjectID())) return last->Value;
  if (session.MultiUser())
    RaiseError(errors::NoSequenceLastValue, {field.Name()});
  return field.IsAutoinc() ? autoincValues_[static_cast<size_t>(fieldNo)] : 0;
}

// --- definitions ---------------------------------------------------------------------------

void TZDBBaseFieldManager::SetFieldDefs(const TZDBFieldDefs& fieldDefs) {
  // Copied aside first, so that a refused list (duplicate names) leaves the table's own.
  TZDBFieldDefs checked;
  checked.Assign(fieldDefs);
  fieldDefs_.Assign(checked);
  AfterDefinitionsChanged();
}

void TZDBBaseFieldManager::LoadFieldDefs(TStream& stream) {
  fieldDefs_.LoadFromStream(stream);
  AfterDefinitionsChanged();
}

void TZDBBaseFieldManager::SaveFieldDefs(TStream& stream) const { fieldDefs_.SaveToStream(stream); }

void TZDBBaseFieldManager::AfterDefinitionsChanged() {
  RecomputeOffsets();
  ResetAutoincValues();
}

bool TZDBBaseFieldManager::HasBlobFields() const {
  if (hasBlobFields_) return *hasBlobFields_;
  bool found = false;
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    if (!field.IsBlob()) continue;
    if (field.BlobBlockSize() == 0)
      RaiseError(errors::ZeroBlobBlockSize, {field.Name()});
    found = true;
  }
  hasBlobFields_ = found;
  return found;
}

void TZDBBaseFieldManager::CheckCounterField(int32_t fieldNo) const {
  if (fieldNo < 0 || fieldNo >= fieldDefs_.Count()) RaiseError(errors::FieldNotFound30402, {fieldNo});
  if (static_cast<size_t>(fieldNo) >= autoincValues_.size())
    RaiseError(errors::CounterNotFound, {fieldNo});
}

// --- counters --------------------------------------------------------------------------------

void TZDBBaseFieldManager::ResetAutoincValues() {
  autoincValues_.assign(static_cast<size_t>(fieldDefs_.Count()), 0);
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    if (field.IsAutoinc()) autoincValues_[static_cast<size_t>(i)] = field.AutoincInitialValue();
  }
}

void TZDBBaseFieldManager::SetAutoincValues(const std::vector<int64_t>& counters) {
  if (counters.size() != static_cast<size_t>(fieldDefs_.Count())) RaiseInvalidHeaderData();
  autoincValues_ = counters;
}

void TZDBBaseFieldManager::LoadAutoincValues(const std::vector<uint8_t>& bytes, size_t& position) {
  if (position > bytes.size() || bytes.size() - position < CountSize) RaiseInvalidHeaderData();
  const int32_t count = le::GetI32(bytes.data() + position);
  if (count != fieldDefs_.Count() || (bytes.size() - position - CountSize) / CounterSize < static_cast<size_t>(count))
    RaiseInvalidHeaderData();
  position += CountSize;
  autoincValues_.assign(static_cast<size_t>(count), 0);
  for (int64_t& counter : autoincValues_) {
    counter = le::GetI64(bytes.data() + position);
    position += CounterSize;
  }
}

void TZDBBaseFieldManager::SaveAutoincValues(std::vector<uint8_t>& bytes, size_t& position) const {
  const size_t size = CountSize + CounterSize * autoincValues_.size();
  if (position > bytes.size() || bytes.size() - position < size) RaiseInvalidHeaderData();
  le::PutI32(bytes.data() + position, static_cast<int32_t>(autoincValues_.size()));
  position += CountSize;
  for (const int64_t counter : autoincValues_) {
    le::PutI64(bytes.data() + position, counter);
    position += CounterSize;
  }
}

// --- rows ------------------------------------------------------------------------------------

void TZDBBaseFieldManager::InitRecordBuffer(uint8_t* recordBuffer) const {
  const int32_t nullMapSize = fieldDefs_.NullMapSize();
  std::memset(recordBuffer, AllNull, static_cast<size_t>(nullMapSize));
  std::memset(recordBuffer + nullMapSize, 0, static_cast<size_t>(RecordBufferSize() - nullMapSize));
}

void TZDBBaseFieldManager::ToRecordBuffer(const uint8_t* storedRecord, uint8_t* recordBuffer) const {
  std::memset(recordBuffer, 0, static_cast<size_t>(RecordBufferSize()));
  std::memcpy(recordBuffer, storedRecord, static_cast<size_t>(fieldDefs_.NullMapSize()));
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    std::memcpy(recordBuffer + field.MemoryOffset(), storedRecord + field.StoredOffset(),
                static_cast<size_t>(field.StoredDataSize()));
  }
}

void TZDBBaseFieldManager::ToStoredRecord(const uint8_t* recordBuffer, uint8_t* storedRecord) const {
  std::memset(storedRecord, 0, static_cast<size_t>(StoredRecordSize()));
  std::memcpy(storedRecord, recordBuffer, static_cast<size_t>(fieldDefs_.NullMapSize()));
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    std::memcpy(storedRecord + field.StoredOffset(), recordBuffer + field.MemoryOffset(),
                static_cast<size_t>(field.StoredDataSize()));
  }
}

bool TZDBBaseFieldManager::RecordBuffersEqual(const uint8_t* a, const uint8_t* b) const {
  if (std::memcmp(a, b, static_cast<size_t>(fieldDefs_.NullMapSize())) != 0) return false;
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs_.Items(i);
    const size_t size = static_cast<size_t>(field.StoredDataSize());
    if (std::memcmp(a + field.MemoryOffset(), b + field.MemoryOffset(), size) != 0) return false;
  }
  return true;
}

}  // namespace zdb
