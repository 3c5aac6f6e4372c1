#include "engine/base/ZDBDateTime.h"

#include <cmath>

namespace zdb {
namespace {

constexpr int32_t MinYear = 1;
constexpr int32_t MaxYear = 9999;
// 1970-01-01, the origin of the civil-day arithmetic below.
constexpr int64_t UnixEpochDayNumber = 719163;
constexpr int64_t DaysPerEra = 146097;  // 400 Gregorian years

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * DaysPerEra + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - (DaysPerEra - 1)) / DaysPerEra;
  const int64_t dayOfEra = days - era * DaysPerEra;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

bool FitsInt32(double value) { return value >= INT32_MIN && value <= INT32_MAX; }

}  // namespace

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t DaysInMonth(int32_t year, int32_t month) {
  static constexpr int32_t Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

bool TryEncodeDayNumber(int32_t year, int32_t month, int32_t day, int32_t& dayNumber) {
  if (year < MinYear || year > MaxYear || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  dayNumber = static_cast<int32_t>(DaysFromCivil(year, month, day) + UnixEpochDayNumber);
  return true;
}

void DecodeDayNumber(int32_t dayNumber, int32_t& year, int32_t& month, int32_t& day) {
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(static_cast<int64_t>(dayNumber) - UnixEpochDayNumber, y, m, d);
  year = static_cast<int32_t>(y);
  month = static_cast<int32_t>(m);
  day = static_cast<int32_t>(d);
}

bool TryEncodeMilliseconds(int32_t hour, int32_t minute, int32_t second, int32_t millisecond,
                           int32_t& milliseconds) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return false;
  milliseconds = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
  return true;
}

bool TryDateTimeToTimeStamp(double dateTime, TZDBTimeStamp& stamp) {
  if (!std::isfinite(dateTime)) return false;
  const double whole = std::trunc(dateTime);
  double day = whole + DateTimeNumberBaseDay;
  // Ties to even: the default rounding mode of nearbyint.
  double milliseconds = std::nearbyint(std::fabs(dateTime - whole) * MillisecondsPerDay);
  if (milliseconds >= MillisecondsPerDay) {
    milliseconds = 0;
    day += dateTime < 0 ? -1 : 1;
  }
  if (!FitsInt32(day)) return false;
  stamp.Date = static_cast<int32_t>(day);
  stamp.Time = static_cast<int32_t>(milliseconds);
  return true;
}

bool TryDateTimeToDayNumber(double dateTime, int32_t& dayNumber) {
  if (!std::isfinite(dateTime)) return false;
  const double day = std::trunc(dateTime) + DateTimeNumberBaseDay;
  if (!FitsInt32(day)) return false;
  dayNumber = static_cast<int32_t>(day);
  return true;
}

bool TryDateTimeToMilliseconds(double dateTime, int32_t& milliseconds) {
  if (!std::isfinite(dateTime)) return false;
  const double rounded = std::nearbyint(std::fabs(dateTime - std::trunc(dateTime)) * MillisecondsPerDay);
  milliseconds = rounded >= MillisecondsPerDay ? 0 : static_cast<int32_t>(rounded);
  return true;
}

double DayNumberToDateTime(int32_t dayNumber) {
  return static_cast<double>(dayNumber) - DateTimeNumberBaseDay;
}

double MillisecondsToDateTime(int32_t milliseconds) {
  const double fraction = static_cast<double>(milliseconds) / MillisecondsPerDay;
  return fraction - std::trunc(fraction);
}

double TimeStampToDateTime(const TZDBTimeStamp& stamp) {
  const double time = MillisecondsToDateTime(stamp.Time);
  if (stamp.Date == EmptyDate) return time;
  const double day = DayNumberToDateTime(stamp.Date);
  return day < 0 ? day - time : day + time;
}

}  // namespace zdb
