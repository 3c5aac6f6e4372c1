// Dates and times of DATE, TIME and DATETIME values.
//
// A DATE is a DayNumber: the proleptic Gregorian day count with 0001-01-01 = 1 (so
// 1899-12-30 = 693594); the empty date is the smallest int32. A TIME is the millisecond
// of the day, 0 .. 86399999. A DATETIME is both, DayNumber first.
//
// The date-time number exchanged with callers is a double counting days since
// 1899-12-30 with the time of day as the fraction. Before that day the number is
// negative and its fraction still counts the time forward from midnight (-1.25 is
// 1899-12-29 06:00), so that every date-time survives the trip through the number.
#pragma once

#include <cstdint>

namespace zdb {

inline constexpr int32_t EmptyDate = INT32_MIN;
inline constexpr int32_t MillisecondsPerDay = 86400000;
inline constexpr int32_t DateTimeNumberBaseDay = 693594;  // DayNumber of 1899-12-30

// DayNumber and millisecond of a DATETIME value.
struct TZDBTimeStamp {
  int32_t Date = 0;
  int32_t Time = 0;
  bool operator==(const TZDBTimeStamp&) const = default;
};

bool IsLeapYear(int32_t year);
int32_t DaysInMonth(int32_t year, int32_t month);
// False when month or day is out of range or the year outside 1 .. 9999.
bool TryEncodeDayNumber(int32_t year, int32_t month, int32_t day, int32_t& dayNumber);
void DecodeDayNumber(int32_t dayNumber, int32_t& year, int32_t& month, int32_t& day);
// False unless 0 <= hour < 24, minute and second < 60, millisecond < 1000.
bool TryEncodeMilliseconds(int32_t hour, int32_t minute, int32_t second, int32_t millisecond,
                           int32_t& milliseconds);

// From a date-time number; false for a NaN, an infinity or a day beyond int32.
// The time is rounded to the nearest millisecond, ties to even; a time that rounds up
// to midnight moves the date-time to the next day (TIME alone: to 0).
bool TryDateTimeToTimeStamp(double dateTime, TZDBTimeStamp& stamp);
bool TryDateTimeToDayNumber(double dateTime, int32_t& dayNumber);
bool TryDateTimeToMilliseconds(double dateTime, int32_t& milliseconds);

double DayNumberToDateTime(int32_t dayNumber);
double MillisecondsToDateTime(int32_t milliseconds);
// The empty date contributes 0, so a time without a date reads as its fraction.
double TimeStampToDateTime(const TZDBTimeStamp& stamp);

}  // namespace zdb
