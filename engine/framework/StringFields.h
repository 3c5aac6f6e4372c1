// Text fields: single-byte (Windows-1252) and wide (UTF-16) text of at most Size
// characters, and the GUID text of 38 characters.
//
// Empty text is a value, not null. A text longer than Size is refused rather than cut.
// Numbers are read from and written as text in the default locale's notation.
#pragma once

#include <string>
#include <string_view>

#include "engine/framework/Field.h"

namespace data {

class TStringField : public TField {
 public:
  static constexpr int DefaultSize = 20;

  TStringField() : TField(TFieldType::ftString, DefaultSize) {}

  // Fixed-width text (ftFixedChar) instead of variable text.
  bool FixedChar() const { return DataType() == TFieldType::ftFixedChar; }
  void SetFixedChar(bool value) { SetDataType(value ? TFieldType::ftFixedChar : TFieldType::ftString); }

  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  // True when the text starts with T, Y or 1 (either case); written as "T" or "F".
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;

 protected:
  TStringField(TFieldType type, int size) : TField(type, size) {}
  // Refuses a text of more than Size characters.
  void CheckLength(size_t length) const;
};

class TGuidField : public TStringField {
 public:
  static constexpr int GuidSize = 38;  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"

  TGuidField() : TStringField(TFieldType::ftGuid, GuidSize) {}
};

class TWideStringField : public TStringField {
 public:
  TWideStringField() : TStringField(TFieldType::ftWideString, DefaultSize) {}

  std::u16string AsWideString() const;
  void SetAsWideString(std::u16string_view value);
  // Characters without a Windows-1252 byte read as '?'.
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;
  void SetAsVariant(const zdb::PlatformVariant& value) override;
};

}  // namespace data
