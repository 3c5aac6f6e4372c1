#include "engine/framework/DateTimeFields.h"

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBValueText.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/FormatSettings.h"

namespace data {

using zdb::PlatformVariant;

double TDateTimeField::AsDateTime() const {
  double value = 0;
  return GetData(&value) ? value : 0;
}

void TDateTimeField::SetAsDateTime(double value) {
  double kept = 0;
  bool valid = false;
  switch (DataType()) {
    case TFieldType::ftDate: {
      int32_t day = 0;
      valid = zdb::TryDateTimeToDayNumber(value, day);
      if (valid) kept = zdb::DayNumberToDateTime(day);
      break;
    }
    case TFieldType::ftTime: {
      int32_t milliseconds = 0;
      valid = zdb::TryDateTimeToMilliseconds(value, milliseconds);
      if (valid) kept = zdb::MillisecondsToDateTime(milliseconds);
      break;
    }
    default: {
      zdb::TZDBTimeStamp stamp;
      valid = zdb::TryDateTimeToTimeStamp(value, stamp);
      if (valid) kept = zdb::TimeStampToDateTime(stamp);
      break;
    }
  }
  if (!valid) Error(SInvalidDateTime, {zdb::FormatFloat(value, DefaultFormatSettings())});
  SetData(&kept);
}

double TDateTimeField::AsFloat() const { return AsDateTime(); }
void TDateTimeField::SetAsFloat(double value) { SetAsDateTime(value); }

std::string TDateTimeField::AsString() const {
  double value = 0;
  if (!GetData(&value)) return {};
  const TFormatSettings settings = DefaultFormatSettings();
  switch (DataType()) {
    case TFieldType::ftDate: {
      int32_t day = 0;
      return zdb::TryDateTimeToDayNumber(value, day) ? zdb::FormatDate(day, settings) : std::string();
    }
    case TFieldType::ftTime: {
      int32_t milliseconds = 0;
      return zdb::TryDateTimeToMilliseconds(value, milliseconds) ? zdb::FormatTime(milliseconds, settings)
                                                                  : std::string();
    }
    default: {
      zdb::TZDBTimeStamp stamp;
      return zdb::TryDateTimeToTimeStamp(value, stamp) ? zdb::FormatDateTime(stamp, settings) : std::string();
    }
  }
}

void TDateTimeField::SetAsString(std::string_view value) {
  if (value.find_first_not_of(" \t") == std::string_view::npos) {
    Clear();
    return;
  }
  const TFormatSettings settings = DefaultFormatSettings();
  switch (DataType()) {
    case TFieldType::ftDate: {
      int32_t day = 0;
      if (!zdb::TryParseLocaleDate(value, settings, day)) Error(SInvalidDate, {value});
      SetAsDateTime(zdb::DayNumberToDateTime(day));
      return;
    }
    case TFieldType::ftTime: {
      int32_t milliseconds = 0;
      if (!zdb::TryParseLocaleTime(value, settings, milliseconds)) Error(SInvalidTime, {value});
      SetAsDateTime(zdb::MillisecondsToDateTime(milliseconds));
      return;
    }
    default: {
      zdb::TZDBTimeStamp stamp;
      if (!zdb::TryParseLocaleDateTime(value, settings, stamp)) Error(SInvalidDateTime, {value});
      SetAsDateTime(zdb::TimeStampToDateTime(stamp));
      return;
    }
  }
}

PlatformVariant TDateTimeField::AsVariant() const {
  double value = 0;
  if (!GetData(&value)) return PlatformVariant::Null();
  return PlatformVariant::Real(zdb::TVarType::Date, value);
}

}  // namespace data
