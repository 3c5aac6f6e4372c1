// Date, time and date-time fields. Their value is a date-time number (days since
// 1899-12-30, the time of day as the fraction): a date field keeps whole days, a time
// field the time of day alone, a date-time field both to the millisecond. Text is the
// default locale's short date and long time.
#pragma once

#include "engine/framework/Field.h"

namespace data {

// ftDateTime, or ftTimeStamp for the engine's TIMESTAMP fields.
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TFieldType type = TFieldType::ftDateTime) : TField(type, 0) {}

  double AsDateTime() const override;
  // Rounded to what the field keeps; a number that is no date-time (NaN, infinities,
  // beyond the calendar) raises "'%s' is not a valid date and time".
  void SetAsDateTime(double value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  std::string AsString() const override;
  // Blank text clears; text that is no date (time, date and time) in the locale's
  // notation raises "'%s' is not a valid date" ("... time", "... date and time").
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;
};

class TDateField : public TDateTimeField {
 public:
  TDateField() : TDateTimeField(TFieldType::ftDate) {}
};

class TTimeField : public TDateTimeField {
 public:
  TTimeField() : TDateTimeField(TFieldType::ftTime) {}
};

}  // namespace data
