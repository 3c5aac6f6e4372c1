#include "engine/framework/StringFields.h"

#include <cstring>
#include <vector>

#include "engine/base/ZDBAnsiText.h"
#include "engine/base/ZDBValueText.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/FormatFloat.h"

namespace data {

using zdb::PlatformVariant;

void TStringField::CheckLength(size_t length) const {
  if (length > static_cast<size_t>(Size())) Error(SFieldValueTooLong, {DisplayName(), std::to_string(Size())});
}

std::string TStringField::AsString() const {
  std::vector<char> buffer(static_cast<size_t>(DataSize()) + 1, '\0');
  if (!GetData(buffer.data())) return {};
  return std::string(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(DataSize())));
}

void TStringField::SetAsString(std::string_view value) {
  CheckLength(value.size());
  std::vector<char> buffer(static_cast<size_t>(DataSize()), '\0');
  std::memcpy(buffer.data(), value.data(), value.size());
  SetData(buffer.data());
}

int64_t TStringField::AsLargeInt() const {
  if (IsNull()) return 0;
  const std::string text = AsString();
  int64_t value = 0;
  if (!zdb::TryParseInteger(text, INT64_MIN, INT64_MAX, value)) Error(SInvalidIntegerValue, {text, DisplayName()});
  return value;
}

int32_t TStringField::AsInteger() const {
  const int64_t value = AsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) Error(SInvalidIntegerValue, {AsString(), DisplayName()});
  return static_cast<int32_t>(value);
}

void TStringField::SetAsInteger(int32_t value) { SetAsString(std::to_string(value)); }
void TStringField::SetAsLargeInt(int64_t value) { SetAsString(std::to_string(value)); }

double TStringField::AsFloat() const {
  if (IsNull()) return 0;
  const std::string text = AsString();
  double value = 0;
  if (!TryTextToFloat(text, DefaultFormatSettings(), value)) Error(SInvalidFloatValue, {text, DisplayName()});
  return value;
}

void TStringField::SetAsFloat(double value) { SetAsString(zdb::FormatFloat(value, DefaultFormatSettings())); }

bool TStringField::AsBoolean() const {
  const std::string text = AsString();
  if (text.empty()) return false;
  switch (text.front()) {
    case 'T': case 't': case 'Y': case 'y': case '1': return true;
    default: return false;
  }
}

void TStringField::SetAsBoolean(bool value) { SetAsString(value ? "T" : "F"); }

PlatformVariant TStringField::AsVariant() const {
  if (IsNull()) return PlatformVariant::Null();
  return PlatformVariant::AnsiText(AsString());
}

std::u16string TWideStringField::AsWideString() const {
  const size_t units = static_cast<size_t>(DataSize()) / 2;
  std::vector<char16_t> buffer(units + 1, u'\0');
  if (!GetData(buffer.data())) return {};
  size_t length = 0;
  while (length < units && buffer[length] != u'\0') ++length;
  return std::u16string(buffer.data(), length);
}

void TWideStringField::SetAsWideString(std::u16string_view value) {
  CheckLength(value.size());
  std::vector<char16_t> buffer(static_cast<size_t>(DataSize()) / 2, u'\0');
  std::memcpy(buffer.data(), value.data(), value.size() * sizeof(char16_t));
  SetData(buffer.data());
}

std::string TWideStringField::AsString() const { return zdb::WideToAnsi(AsWideString()); }

void TWideStringField::SetAsString(std::string_view value) { SetAsWideString(zdb::AnsiToWide(value)); }

PlatformVariant TWideStringField::AsVariant() const {
  if (IsNull()) return PlatformVariant::Null();
  return PlatformVariant::WideText(AsWideString());
}

void TWideStringField::SetAsVariant(const PlatformVariant& value) {
  if (value.Type() == zdb::TVarType::OleStr) {
    SetAsWideString(value.AsWideText());
  } else {
    TStringField::SetAsVariant(value);
  }
}

}  // namespace data
