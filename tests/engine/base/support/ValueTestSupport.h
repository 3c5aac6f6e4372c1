// Helpers shared by the value tests: byte images, engine-error checks and a fixed
// locale.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/base/ZDBLocale.h"
#include "engine/base/ZDBVariant.h"

namespace zdb::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(std::initializer_list<int> values) {
  Bytes bytes;
  for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

inline Bytes BytesOf(const TZDBVariant& value) {
  if (value.Data() == nullptr) return {};
  return Bytes(value.Data(), value.Data() + value.DataSize());
}

// The code and message of the engine error that `action` raises; code 0 when none.
struct RaisedError {
  int32_t code = 0;
  std::string message;
};

inline RaisedError ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EZDBException& e) {
    return {e.NativeError(), e.Message()};
  }
  return {};
}

// Values of each storage type, made through the typed setters of an untyped value.
inline TZDBVariant ShortIntValue(int8_t v) { TZDBVariant x; x.SetAsShortInt(v); return x; }
inline TZDBVariant SmallIntValue(int16_t v) { TZDBVariant x; x.SetAsSmallInt(v); return x; }
inline TZDBVariant IntegerValue(int32_t v) { TZDBVariant x; x.SetAsInteger(v); return x; }
inline TZDBVariant LargeIntValue(int64_t v) { TZDBVariant x; x.SetAsLargeInt(v); return x; }
inline TZDBVariant ByteValue(uint8_t v) { TZDBVariant x; x.SetAsByte(v); return x; }
inline TZDBVariant WordValue(uint16_t v) { TZDBVariant x; x.SetAsWord(v); return x; }
inline TZDBVariant CardinalValue(uint32_t v) { TZDBVariant x; x.SetAsCardinal(v); return x; }
inline TZDBVariant SingleValue(float v) { TZDBVariant x; x.SetAsSingle(v); return x; }
inline TZDBVariant FloatValue(double v) { TZDBVariant x; x.SetAsDouble(v); return x; }
inline TZDBVariant ExtendedValue(const TZDBExtended& v) { TZDBVariant x; x.SetAsExtended(v); return x; }
inline TZDBVariant DateValue(int32_t dayNumber) { TZDBVariant x; x.SetAsDateDayNumber(dayNumber); return x; }
inline TZDBVariant TimeValue(int32_t ms) { TZDBVariant x; x.SetAsTimeMilliseconds(ms); return x; }
inline TZDBVariant DateTimeValue(int32_t dayNumber, int32_t ms) {
  TZDBVariant x;
  x.SetAsDateTimeStamp({dayNumber, ms});
  return x;
}
inline TZDBVariant LogicalValue(bool v) { TZDBVariant x; x.SetAsLogical(v); return x; }
inline TZDBVariant CurrencyValue(double v) { TZDBVariant x; x.SetAsCurrency(v); return x; }
inline TZDBVariant StringValue(std::string_view v) { TZDBVariant x; x.SetAsString(v); return x; }
inline TZDBVariant WideStringValue(std::u16string_view v) { TZDBVariant x; x.SetAsWideString(v); return x; }
// Raw bytes of any type (BLOB, MEMO, BYTES, or a deliberately odd image).
inline TZDBVariant RawValue(TZDBStorageType type, const Bytes& bytes) {
  TZDBVariant x;
  x.SetBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), true, type);
  return x;
}
inline TZDBVariant TextRaw(TZDBStorageType type, std::string_view text) {
  return RawValue(type, Bytes(text.begin(), text.end()));
}
// A value of one type converted to another by CastTo.
inline TZDBVariant Cast(TZDBVariant value, TZDBStorageType type) {
  value.CastTo(type);
  return value;
}

// Runs every test of a suite in one known locale, restoring the default afterwards.
class InLocale : public ::testing::Test {
 protected:
  explicit InLocale(std::string locale = "es_ES") : locale_(std::move(locale)) {}
  void SetUp() override {
    previous_ = DefaultLocaleName();
    SetDefaultLocale(locale_);
  }
  void TearDown() override { SetDefaultLocale(previous_); }

 private:
  std::string locale_;
  std::string previous_;
};

}  // namespace zdb::testing
