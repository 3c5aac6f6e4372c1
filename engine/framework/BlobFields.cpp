#include "engine/framework/BlobFields.h"

#include <exception>

#include "engine/base/ZDBErrors.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/DataSet.h"

namespace data {
namespace {

constexpr int64_t CopyPiece = 65536;

// The field's streams are closed on every path; a failure of the work wins over one of
// closing.
template <typename Work>
void WithBlobStream(const TField& field, TBlobStreamMode mode, Work work) {
  TDataSet* dataSet = field.DataSet();
  TField& target = const_cast<TField&>(field);
  std::unique_ptr<zdb::TStream> stream = dataSet->CreateBlobStream(target, mode);
  try {
    if (stream) work(*stream);
  } catch (...) {
    stream.reset();
    try {
      dataSet->CloseBlob(target);
    } catch (...) {  // the work's own failure is the one to report
    }
    throw;
  }
  stream.reset();
  dataSet->CloseBlob(target);
}

}  // namespace

std::vector<uint8_t> TBlobField::AsBytes() const {
  std::vector<uint8_t> bytes;
  if (DataSet() == nullptr || IsNull()) return bytes;
  WithBlobStream(*this, TBlobStreamMode::bmRead, [&](zdb::TStream& stream) {
    bytes.resize(static_cast<size_t>(stream.Size()));
    stream.SetPosition(0);
    zdb::ReadStreamExact(stream, bytes.data(), static_cast<int64_t>(bytes.size()), zdb::errors::StreamSaveReadFailed);
  });
  return bytes;
}

void TBlobField::SetAsBytes(std::span<const uint8_t> bytes) {
  if (ReadOnly()) Error(SFieldReadOnly, {DisplayName()});
  if (DataSet() == nullptr) Error(SDataSetMissing, {FieldName()});
  WithBlobStream(*this, TBlobStreamMode::bmWrite, [&](zdb::TStream& stream) {
    zdb::WriteStreamExact(stream, bytes.data(), static_cast<int64_t>(bytes.size()), zdb::errors::StreamSaveWriteFailed);
  });
}

int64_t TBlobField::BlobSize() const {
  int64_t size = 0;
  if (DataSet() == nullptr || IsNull()) return size;
  WithBlobStream(*this, TBlobStreamMode::bmRead, [&](zdb::TStream& stream) { size = stream.Size(); });
  return size;
}

std::string TBlobField::AsString() const {
  const std::vector<uint8_t> bytes = AsBytes();
  return std::string(bytes.begin(), bytes.end());
}

void TBlobField::SetAsString(std::string_view value) {
  SetAsBytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(value.data()), value.size()));
}

zdb::PlatformVariant TBlobField::AsVariant() const {
  return IsNull() ? zdb::PlatformVariant::Null() : zdb::PlatformVariant::AnsiText(AsString());
}

void TBlobField::LoadFromStream(zdb::TStream& source) {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> piece(static_cast<size_t>(CopyPiece));
  for (int64_t read = 0; (read = source.Read(piece.data(), CopyPiece)) > 0;)
    bytes.insert(bytes.end(), piece.begin(), piece.begin() + read);
  SetAsBytes(bytes);
}

void TBlobField::SaveToStream(zdb::TStream& destination) const {
  const std::vector<uint8_t> bytes = AsBytes();
  zdb::WriteStreamExact(destination, bytes.data(), static_cast<int64_t>(bytes.size()), zdb::errors::StreamSaveWriteFailed);
}

std::u16string TWideMemoField::AsWideString() const {
  const std::vector<uint8_t> bytes = AsBytes();
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(bytes[2 * i] | (static_cast<uint16_t>(bytes[2 * i + 1]) << 8));
  return text;
}

void TWideMemoField::SetAsWideString(std::u16string_view value) {
  std::vector<uint8_t> bytes;
  bytes.reserve(value.size() * 2);
  for (const char16_t unit : value) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  SetAsBytes(bytes);
}

zdb::PlatformVariant TWideMemoField::AsVariant() const {
  return IsNull() ? zdb::PlatformVariant::Null() : zdb::PlatformVariant::WideText(AsWideString());
}

}  // namespace data
