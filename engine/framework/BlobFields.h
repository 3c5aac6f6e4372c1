// Fields whose value lives outside the row: BLOB (bytes), MEMO (single-byte text) and
// the wide memo (UTF-16 text, kept as its little-endian bytes).
//
// A value is read and written whole through the dataset's BLOB streams
// (TDataSet::CreateBlobStream): reading opens a read stream, writing a write stream whose
// content becomes the field's value in the row being edited when the field closes it;
// the row keeps it when posted. An empty value is NULL. Clear makes the field NULL.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBStream.h"
#include "engine/framework/Field.h"

namespace data {

class TBlobField : public TField {
 public:
  TBlobField() : TField(TFieldType::ftBlob, 0) {}

  // The value's bytes (none for NULL).
  std::vector<uint8_t> AsBytes() const;
  void SetAsBytes(std::span<const uint8_t> bytes);
  // The bytes as they are, one char each.
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;
  // Replaces the value with the source's bytes from its position to its end.
  void LoadFromStream(zdb::TStream& source);
  // Writes the value at the destination's position.
  void SaveToStream(zdb::TStream& destination) const;
  // The value's size in bytes without reading it whole.
  int64_t BlobSize() const;

 protected:
  explicit TBlobField(TFieldType type) : TField(type, 0) {}
  std::string GetDisplayText() const override { return "(BLOB)"; }
};

class TMemoField : public TBlobField {
 public:
  TMemoField() : TBlobField(TFieldType::ftMemo) {}

 protected:
  std::string GetDisplayText() const override { return "(MEMO)"; }
};

// A WIDEMEMO field: its dataset type is that of a BLOB, its value UTF-16 text.
class TWideMemoField : public TBlobField {
 public:
  TWideMemoField() = default;

  std::u16string AsWideString() const;
  void SetAsWideString(std::u16string_view value);
  zdb::PlatformVariant AsVariant() const override;

 protected:
  std::string GetDisplayText() const override { return "(WIDEMEMO)"; }
};

}  // namespace data
