// Number fields: integers of 16, 32 and 64 bits, automatic-increment integers and
// floating values (plain and money amounts).
//
// Integer fields refuse a value outside their type's range, and outside MinValue ..
// MaxValue when either is set (not 0), with "%s is not a valid value for field '%s'.
// The allowed range is %s to %s". Floats assigned to an integer field are rounded to
// the nearest integer, ties to even. Reading a value that the asked type cannot hold
// raises "Value of field '%s' is out of range". Text is read and written in the default
// locale's notation.
//
// DisplayFormat (FormatFloat.h) shapes DisplayText; without one it is the value's text
// (money amounts: "#,##0.00").
#pragma once

#include <string>

#include "engine/framework/Field.h"

namespace data {

class TNumericField : public TField {
 public:
  const std::string& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(std::string format) { displayFormat_ = std::move(format); }

 protected:
  using TField::TField;
  std::string GetDisplayText() const override;
  // An integer in text: empty clears the field, anything else must be a whole number,
  // which SetAsLargeInt then checks against the field's range.
  void SetIntegerText(std::string_view value);

 private:
  std::string displayFormat_;
};

// ftInteger; the base of the narrower integer fields.
class TIntegerField : public TNumericField {
 public:
  TIntegerField() : TIntegerField(TFieldType::ftInteger, INT32_MIN, INT32_MAX) {}

  int32_t MinValue() const { return minValue_; }
  void SetMinValue(int32_t value) { minValue_ = value; }
  int32_t MaxValue() const { return maxValue_; }
  void SetMaxValue(int32_t value) { maxValue_ = value; }

  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;

 protected:
  TIntegerField(TFieldType type, int64_t minRange, int64_t maxRange);

 private:
  bool GetValue(int32_t& value) const;
  // The type's range, narrowed by MinValue .. MaxValue when either is set.
  void AllowedRange(int64_t& low, int64_t& high) const;
  [[noreturn]] void RangeError(const std::string& valueText) const;

  int64_t minRange_;
  int64_t maxRange_;
  int32_t minValue_ = 0;
  int32_t maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
 public:
  TSmallintField() : TIntegerField(TFieldType::ftSmallint, INT16_MIN, INT16_MAX) {}
};

class TWordField : public TIntegerField {
 public:
  TWordField() : TIntegerField(TFieldType::ftWord, 0, UINT16_MAX) {}
};

class TAutoIncField : public TIntegerField {
 public:
  TAutoIncField() : TIntegerField(TFieldType::ftAutoInc, INT32_MIN, INT32_MAX) {}
};

class TLargeintField : public TNumericField {
 public:
  TLargeintField() : TNumericField(TFieldType::ftLargeint, 0) {}

  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;
};

class TFloatField : public TNumericField {
 public:
  TFloatField() : TFloatField(TFieldType::ftFloat) {}

  // The allowed range; none while both are 0.
  double MinValue() const { return minValue_; }
  void SetMinValue(double value) { minValue_ = value; }
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double value) { maxValue_ = value; }

  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  // The general 15-digit form ("1234,5" in Spanish notation).
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;

 protected:
  explicit TFloatField(TFieldType type) : TNumericField(type, 0) {}

 private:
  double minValue_ = 0;
  double maxValue_ = 0;
};

class TCurrencyField : public TFloatField {
 public:
  static constexpr const char* DefaultDisplayFormat = "#,##0.00";

  TCurrencyField() : TFloatField(TFieldType::ftCurrency) {}

  zdb::PlatformVariant AsVariant() const override;

 protected:
  std::string GetDisplayText() const override;
};

}  // namespace data
