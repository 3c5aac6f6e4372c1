// TZDBCursor::CopyFieldValue: one field of a row into a field of another row, of this
// table or of another one, whatever the two fields' types.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/base/ZDBValueConvert.h"
#include "engine/dataset/ZDBCursor.h"
#include "engine/table/ZDBFieldManager.h"

namespace zdb {
namespace {

using T = TZDBStorageType;

// The string type a text large value converts through, and the width of its terminator.
T TextFormOf(T largeValueType) { return largeValueType == T::WideMemo ? T::WideString : T::String; }
size_t TerminatorSize(T stringType) { return IsWideStringType(stringType) ? 2 : 1; }

// A value of a non-BLOB type (or a large value's bytes) as the content of a large value
// of the target type. BLOB takes any large value's bytes as they are, and text as the
// conversion gives it; MEMO and WIDEMEMO take text in their own encoding, without a
// terminator.
TZDBValueBytes ToLargeValue(const TZDBValueBytes& value, T sourceType, T targetType) {
  const bool sourceLarge = IsBlobType(sourceType);
  if (sourceType == targetType || (sourceLarge && (targetType == T::Blob || sourceType == T::Blob))) return value;
  const int32_t size = sourceLarge ? static_cast<int32_t>(value.size()) : -1;
  if (targetType == T::Blob) return ConvertValue(value.data(), size, sourceType, T::Blob);
  const T textForm = TextFormOf(targetType);
  TZDBValueBytes text = ConvertValue(value.data(), size, sourceType, textForm);
  text.resize(text.size() - std::min(text.size(), TerminatorSize(textForm)));
  return text;
}

// A value of the field's own type into its place in the row, cut to the field's width;
// text keeps its terminator inside the field.
void PutFieldValue(const TZDBFieldDef& field, const TZDBValueBytes& value, uint8_t* row) {
  uint8_t* target = row + field.MemoryOffset();
  const size_t width = static_cast<size_t>(field.MemoryDataSize());
  size_t room = width;
  if (IsStringType(field.StorageType())) room -= std::min(width, TerminatorSize(field.StorageType()));
  std::memset(target, 0, width);
  std::memcpy(target, value.data(), std::min(room, value.size()));
}

TZDBValueBytes ReadWholeStream(TZDBBlobStream& stream) {
  TZDBValueBytes bytes(static_cast<size_t>(std::max<int64_t>(stream.Size(), 0)));
  stream.Seek(0, SeekOrigin::Beginning);
  size_t done = 0;
  while (done < bytes.size()) {
    const int64_t read = stream.Read(bytes.data() + done, static_cast<int64_t>(bytes.size() - done));
    if (read <= 0) break;
    done += static_cast<size_t>(read);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

void TZDBCursor::CopyFieldValue(int32_t fieldNo, [[maybe_unused]] TZDBFieldNumbering numbering, TZDBCursor& target,
                                int32_t targetFieldNo) {
  if (fieldNo < 0 || fieldNo >= FieldCount())
    RaiseError(errors::SourceFieldNumber, {fieldNo, FieldCount()});
  if (targetFieldNo < 0 || targetFieldNo >= target.FieldCount())
    RaiseError(errors::TargetFieldNumber, {targetFieldNo, target.FieldCount()});
  const uint8_t* sourceRow = RecordBuffer();
  uint8_t* targetRow = target.MutableRecordBuffer();
  if (sourceRow == nullptr) RaiseError(errors::NoSourceRow);
  if (targetRow == nullptr) RaiseError(errors::NoTargetRow);

  const TZDBFieldDef& source = TableFields().Items(fieldNo);
  const TZDBFieldDef& destination = target.TableFields().Items(targetFieldNo);
  const T sourceType = source.StorageType();
  const T targetType = destination.StorageType();
  const bool sourceNull = IsFieldNull(sourceRow, fieldNo);

  if (destination.IsBlob()) {
    // A new value replaces the target's, so that the stored one is freed with the row's
    // next write (also when NULL is copied).
    TZDBValueBytes content;
    if (!sourceNull) {
      TZDBValueBytes value;
      if (source.IsBlob()) {
        value = ReadWholeStream(*OpenValueStream(fieldNo, false));
      } else {
        value.assign(sourceRow + source.MemoryOffset(), sourceRow + source.MemoryOffset() + source.MemoryDataSize());
      }
      content = ToLargeValue(value, sourceType, targetType);
    }
    std::unique_ptr<TZDBBlobStream> stream = target.OpenValueStream(targetFieldNo, true);
    if (!content.empty()) stream->Write(content.data(), static_cast<int64_t>(content.size()));
    target.StoreValueStream(targetFieldNo, *stream);
    return;
  }

  uint8_t* place = targetRow + destination.MemoryOffset();
  if (sourceNull) {
    std::memset(place, 0, static_cast<size_t>(destination.MemoryDataSize()));
    SetFieldNull(targetRow, targetFieldNo, true);
    return;
  }
  if (sourceType == targetType && source.MemoryDataSize() == destination.MemoryDataSize() && !source.IsBlob()) {
    std::memmove(place, sourceRow + source.MemoryOffset(), static_cast<size_t>(destination.MemoryDataSize()));
  } else if (source.IsBlob()) {
    const TZDBValueBytes content = ReadWholeStream(*OpenValueStream(fieldNo, false));
    PutFieldValue(destination,
                  ConvertValue(content.data(), static_cast<int32_t>(content.size()), sourceType, targetType),
                  targetRow);
  } else {
    PutFieldValue(destination, ConvertValue(sourceRow + source.MemoryOffset(), -1, sourceType, targetType),
                  targetRow);
  }
  SetFieldNull(targetRow, targetFieldNo, false);
}

}  // namespace zdb
