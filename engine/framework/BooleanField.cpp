#include "engine/framework/BooleanField.h"

#include <cstdint>

#include "engine/framework/DataConsts.h"
#include "engine/framework/TextCase.h"

namespace data {

using zdb::PlatformVariant;
using zdb::TVarType;

namespace {

// text is a leading part of candidate, letter case ignored.
bool StartsText(std::string_view text, std::string_view candidate) {
  return text.size() <= candidate.size() && SameText(text, candidate.substr(0, text.size()));
}

}  // namespace

TBooleanField::TBooleanField() : TField(TFieldType::ftBoolean, 0) { SetDisplayValues("True;False"); }

void TBooleanField::SetDisplayValues(std::string values) {
  const size_t separator = values.find(';');
  trueText_ = values.substr(0, separator);
  falseText_ = separator == std::string::npos ? std::string() : values.substr(separator + 1);
  displayValues_ = std::move(values);
}

bool TBooleanField::AsBoolean() const {
  uint16_t value = 0;
  return GetData(&value) && value != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  const uint16_t data = value ? 1 : 0;
  SetData(&data);
}

std::string TBooleanField::AsString() const {
  uint16_t value = 0;
  if (!GetData(&value)) return {};
  return value != 0 ? trueText_ : falseText_;
}

void TBooleanField::SetAsString(std::string_view value) {
  if (value.empty()) {
    // Empty text names whichever value shows as empty, else it clears.
    if (falseText_.empty()) {
      SetAsBoolean(false);
    } else if (trueText_.empty()) {
      SetAsBoolean(true);
    } else {
      Clear();
    }
    return;
  }
  if (StartsText(value, falseText_)) {
    SetAsBoolean(false);
  } else if (StartsText(value, trueText_)) {
    SetAsBoolean(true);
  } else {
    Error(SInvalidBoolValue, {value, DisplayName()});
  }
}

PlatformVariant TBooleanField::AsVariant() const {
  uint16_t value = 0;
  if (!GetData(&value)) return PlatformVariant::Null();
  return PlatformVariant::Boolean(value != 0);
}

void TBooleanField::SetAsVariant(const PlatformVariant& value) {
  switch (value.Type()) {
    case TVarType::SmallInt:
    case TVarType::Integer:
    case TVarType::ShortInt:
    case TVarType::Byte:
    case TVarType::Word:
    case TVarType::LongWord:
    case TVarType::Int64:
      SetAsBoolean(value.AsInt64() != 0);
      return;
    case TVarType::Single:
    case TVarType::Double:
    case TVarType::Currency:
      SetAsBoolean(value.AsDouble() != 0);
      return;
    default:
      TField::SetAsVariant(value);
  }
}

}  // namespace data
