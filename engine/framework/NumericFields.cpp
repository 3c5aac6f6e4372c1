#include "engine/framework/NumericFields.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/base/ZDBValueText.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/FormatFloat.h"

namespace data {

using zdb::PlatformVariant;
using zdb::TVarType;

namespace {

// Doubles from -2^63 up to (not including) 2^63 convert to int64 exactly.
constexpr double Int64Limit = 9223372036854775808.0;

std::string FloatText(double value) { return zdb::FormatFloat(value, DefaultFormatSettings()); }

// The nearest integer, ties to even; false when it is not finite or beyond int64.
bool RoundToInt64(double value, int64_t& result) {
  const double rounded = std::nearbyint(value);
  if (!std::isfinite(rounded) || rounded < -Int64Limit || rounded >= Int64Limit) return false;
  result = static_cast<int64_t>(rounded);
  return true;
}

}  // namespace

std::string TNumericField::GetDisplayText() const {
  if (displayFormat_.empty()) return AsString();
  return FormatFloat(displayFormat_, AsFloat(), DefaultFormatSettings());
}

void TNumericField::SetIntegerText(std::string_view value) {
  if (value.empty()) {
    Clear();
    return;
  }
  int64_t parsed = 0;
  if (!zdb::TryParseInteger(value, INT64_MIN, INT64_MAX, parsed))
    Error(SInvalidIntegerValue, {value, DisplayName()});
  SetAsLargeInt(parsed);
}

// --- TIntegerField --------------------------------------------------------------------

TIntegerField::TIntegerField(TFieldType type, int64_t minRange, int64_t maxRange)
    : TNumericField(type, 0), minRange_(minRange), maxRange_(maxRange) {}

bool TIntegerField::GetValue(int32_t& value) const {
  switch (DataType()) {
    case TFieldType::ftSmallint: {
      int16_t v = 0;
      if (!GetData(&v)) return false;
      value = v;
      return true;
    }
    case TFieldType::ftWord: {
      uint16_t v = 0;
      if (!GetData(&v)) return false;
      value = v;
      return true;
    }
    default:
      return GetData(&value);
  }
}

int32_t TIntegerField::AsInteger() const {
  int32_t value = 0;
  return GetValue(value) ? value : 0;
}

int64_t TIntegerField::AsLargeInt() const { return AsInteger(); }
double TIntegerField::AsFloat() const { return AsInteger(); }
void TIntegerField::SetAsInteger(int32_t value) { SetAsLargeInt(value); }

void TIntegerField::AllowedRange(int64_t& low, int64_t& high) const {
  low = minRange_;
  high = maxRange_;
  if (minValue_ != 0 || maxValue_ != 0) {
    low = std::max<int64_t>(low, minValue_);
    high = std::min<int64_t>(high, maxValue_);
  }
}

void TIntegerField::RangeError(const std::string& valueText) const {
  int64_t low = 0, high = 0;
  AllowedRange(low, high);
  Error(SFieldRangeError, {valueText, DisplayName(), std::to_string(low), std::to_string(high)});
}

void TIntegerField::SetAsLargeInt(int64_t value) {
  int64_t low = 0, high = 0;
  AllowedRange(low, high);
  if (value < low || value > high) RangeError(std::to_string(value));
  switch (DataType()) {
    case TFieldType::ftSmallint: {
      const auto v = static_cast<int16_t>(value);
      SetData(&v);
      return;
    }
    case TFieldType::ftWord: {
      const auto v = static_cast<uint16_t>(value);
      SetData(&v);
      return;
    }
    default: {
      const auto v = static_cast<int32_t>(value);
      SetData(&v);
    }
  }
}

void TIntegerField::SetAsFloat(double value) {
  int64_t rounded = 0;
  if (!RoundToInt64(value, rounded)) RangeError(FloatText(value));
  SetAsLargeInt(rounded);
}

std::string TIntegerField::AsString() const {
  int32_t value = 0;
  return GetValue(value) ? std::to_string(value) : std::string();
}

void TIntegerField::SetAsString(std::string_view value) { SetIntegerText(value); }

PlatformVariant TIntegerField::AsVariant() const {
  int32_t value = 0;
  if (!GetValue(value)) return PlatformVariant::Null();
  switch (DataType()) {
    case TFieldType::ftSmallint: return PlatformVariant::Integral(TVarType::SmallInt, value);
    case TFieldType::ftWord: return PlatformVariant::Integral(TVarType::Word, value);
    default: return PlatformVariant::Integral(TVarType::Integer, value);
  }
}

// --- TLargeintField -------------------------------------------------------------------

int64_t TLargeintField::AsLargeInt() const {
  int64_t value = 0;
  return GetData(&value) ? value : 0;
}

int32_t TLargeintField::AsInteger() const {
  const int64_t value = AsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) Error(SFieldOutOfRange, {DisplayName()});
  return static_cast<int32_t>(value);
}

double TLargeintField::AsFloat() const { return static_cast<double>(AsLargeInt()); }
void TLargeintField::SetAsInteger(int32_t value) { SetAsLargeInt(value); }
void TLargeintField::SetAsLargeInt(int64_t value) { SetData(&value); }

void TLargeintField::SetAsFloat(double value) {
  int64_t rounded = 0;
  if (!RoundToInt64(value, rounded))
    Error(SFieldRangeError,
          {FloatText(value), DisplayName(), std::to_string(INT64_MIN), std::to_string(INT64_MAX)});
  SetAsLargeInt(rounded);
}

std::string TLargeintField::AsString() const {
  int64_t value = 0;
  return GetData(&value) ? std::to_string(value) : std::string();
}

void TLargeintField::SetAsString(std::string_view value) { SetIntegerText(value); }

PlatformVariant TLargeintField::AsVariant() const {
  int64_t value = 0;
  if (!GetData(&value)) return PlatformVariant::Null();
  return PlatformVariant::Integral(TVarType::Int64, value);
}

// --- TFloatField ----------------------------------------------------------------------

double TFloatField::AsFloat() const {
  double value = 0;
  return GetData(&value) ? value : 0;
}

int64_t TFloatField::AsLargeInt() const {
  int64_t rounded = 0;
  if (!RoundToInt64(AsFloat(), rounded)) Error(SFieldOutOfRange, {DisplayName()});
  return rounded;
}

int32_t TFloatField::AsInteger() const {
  const int64_t value = AsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) Error(SFieldOutOfRange, {DisplayName()});
  return static_cast<int32_t>(value);
}

void TFloatField::SetAsInteger(int32_t value) { SetAsFloat(value); }
void TFloatField::SetAsLargeInt(int64_t value) { SetAsFloat(static_cast<double>(value)); }

void TFloatField::SetAsFloat(double value) {
  if ((minValue_ != 0 || maxValue_ != 0) && !(value >= minValue_ && value <= maxValue_))
    Error(SFieldRangeError, {FloatText(value), DisplayName(), FloatText(minValue_), FloatText(maxValue_)});
  SetData(&value);
}

std::string TFloatField::AsString() const {
  double value = 0;
  return GetData(&value) ? FloatText(value) : std::string();
}

void TFloatField::SetAsString(std::string_view value) {
  if (value.empty()) {
    Clear();
    return;
  }
  double parsed = 0;
  if (!TryTextToFloat(value, DefaultFormatSettings(), parsed)) Error(SInvalidFloatValue, {value, DisplayName()});
  SetAsFloat(parsed);
}

PlatformVariant TFloatField::AsVariant() const {
  double value = 0;
  if (!GetData(&value)) return PlatformVariant::Null();
  return PlatformVariant::Real(TVarType::Double, value);
}

PlatformVariant TCurrencyField::AsVariant() const {
  double value = 0;
  if (!GetData(&value)) return PlatformVariant::Null();
  return PlatformVariant::Real(TVarType::Currency, value);
}

std::string TCurrencyField::GetDisplayText() const {
  const std::string& format = DisplayFormat().empty() ? std::string(DefaultDisplayFormat) : DisplayFormat();
  return FormatFloat(format, AsFloat(), DefaultFormatSettings());
}

}  // namespace data
