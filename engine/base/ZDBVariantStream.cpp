// The stream form of TZDBVariant, kept inside stored field definitions.
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBStream.h"
#include "engine/base/ZDBVariant.h"

namespace zdb {
namespace {

// Offsets and sizes of the stream form.
constexpr int64_t TypeSize = 1;
constexpr int64_t NullFlagSize = 1;
constexpr int64_t DataSizeSize = 4;

constexpr int32_t WriteTypeFailed = 10179;
constexpr int32_t WriteNullFlagFailed = 10180;
constexpr int32_t WriteSizeFailed = 10181;
constexpr int32_t WriteDataFailed = 10182;
constexpr int32_t ReadTypeFailed = 10183;
constexpr int32_t ReadNullFlagFailed = 10184;
constexpr int32_t ReadSizeFailed = 10185;
constexpr int32_t ReadDataFailed = 10186;

}  // namespace

void TZDBVariant::SaveToStream(TStream& stream) const {
  const uint8_t type = StorageTypeCode(type_);
  WriteStreamExact(stream, &type, TypeSize, WriteTypeFailed);
  const uint8_t nullFlag = IsNull() ? NullFlagNull : NullFlagValue;
  WriteStreamExact(stream, &nullFlag, NullFlagSize, WriteNullFlagFailed);
  if (IsNull()) return;
  uint8_t size[DataSizeSize];
  le::PutI32(size, size_);
  WriteStreamExact(stream, size, DataSizeSize, WriteSizeFailed);
  WriteStreamExact(stream, data_, size_, WriteDataFailed);
}

void TZDBVariant::LoadFromStream(TStream& stream) {
  SetNull(TZDBStorageType::None);
  uint8_t type = 0;
  ReadStreamExact(stream, &type, TypeSize, ReadTypeFailed);
  uint8_t nullFlag = NullFlagNull;
  ReadStreamExact(stream, &nullFlag, NullFlagSize, ReadNullFlagFailed);
  if (nullFlag != NullFlagValue) {
    SetNull(static_cast<TZDBStorageType>(type));
    return;
  }
  uint8_t sizeBytes[DataSizeSize];
  ReadStreamExact(stream, sizeBytes, DataSizeSize, ReadSizeFailed);
  const int32_t size = le::GetI32(sizeBytes);
  // A damaged size must not make us allocate what the stream cannot hold: it fails
  // the way a read of that many bytes would.
  const int64_t position = stream.Position();
  const int64_t available = stream.Size() - position;
  if (size < 0 || size > available)
    RaiseError(ReadDataFailed,
               "Cannot read from stream. Position = %d, Stream size = %d, Block size = %d, Bytes Read = %d",
               {position, stream.Size(), size, size < 0 ? 0 : available});
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  ReadStreamExact(stream, bytes.data(), size, ReadDataFailed);
  type_ = static_cast<TZDBStorageType>(type);
  TakeBytes(std::move(bytes));
}

}  // namespace zdb
