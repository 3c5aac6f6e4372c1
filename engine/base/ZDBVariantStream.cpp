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

}  // namespace

void TZDBVariant::SaveToStream(TStream& stream) const {
  const uint8_t type = StorageTypeCode(type_);
  WriteStreamExact(stream, &type, TypeSize, errors::VariantWriteTypeFailed);
  const uint8_t nullFlag = IsNull() ? NullFlagNull : NullFlagValue;
  WriteStreamExact(stream, &nullFlag, NullFlagSize, errors::VariantWriteNullFlagFailed);
  if (IsNull()) return;
  uint8_t size[DataSizeSize];
  le::PutI32(size, size_);
  WriteStreamExact(stream, size, DataSizeSize, errors::VariantWriteSizeFailed);
  WriteStreamExact(stream, data_, size_, errors::VariantWriteDataFailed);
}

void TZDBVariant::LoadFromStream(TStream& stream) {
  SetNull(TZDBStorageType::None);
  uint8_t type = 0;
  ReadStreamExact(stream, &type, TypeSize, errors::VariantReadTypeFailed);
  uint8_t nullFlag = NullFlagNull;
  ReadStreamExact(stream, &nullFlag, NullFlagSize, errors::VariantReadNullFlagFailed);
  if (nullFlag != NullFlagValue) {
    SetNull(static_cast<TZDBStorageType>(type));
    return;
  }
  uint8_t sizeBytes[DataSizeSize];
  ReadStreamExact(stream, sizeBytes, DataSizeSize, errors::VariantReadSizeFailed);
  const int32_t size = le::GetI32(sizeBytes);
  // A damaged size must not make us allocate what the stream cannot hold: it fails
  // the way a read of that many bytes would.
  const int64_t position = stream.Position();
  const int64_t available = stream.Size() - position;
  if (size < 0 || size > available)
    RaiseError(errors::ReadDataFailed, {position, stream.Size(), size, size < 0 ? 0 : available});
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  ReadStreamExact(stream, bytes.data(), size, errors::ReadDataFailed);
  type_ = static_cast<TZDBStorageType>(type);
  TakeBytes(std::move(bytes));
}

}  // namespace zdb
