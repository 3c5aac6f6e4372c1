// The user's default locale as the value layer uses it: the number, date and time
// conventions for converting values to and from text, and the locale whose collation
// orders text (ZDBCollation.h).
//
// The default locale is ICU's, which starts out as the process environment's (LC_ALL,
// LANG); SetDefaultLocale replaces it for the whole process. Readers get a copy of the
// settings, so a change never pulls text conventions from under a running conversion.
#pragma once

#include <cstdint>
#include <string>

namespace zdb {

enum class TZDBDateOrder : uint8_t { DayMonthYear, MonthDayYear, YearMonthDay };

// The conventions of one locale, reduced to what short dates, long times and plain
// numbers need. Texts are Windows-1252.
struct TZDBFormatSettings {
  std::string LocaleName;
  char DecimalSeparator = '.';
  // Short date: three numbers in DateOrder joined by DateSeparator; the year always has
  // four digits, day and month get a leading zero when asked.
  TZDBDateOrder DateOrder = TZDBDateOrder::MonthDayYear;
  char DateSeparator = '/';
  bool DayLeadingZero = false;
  bool MonthLeadingZero = false;
  // Long time: hour, minute, second joined by TimeSeparator; minute and second always
  // have two digits; a twelve-hour clock appends one blank and the AM or PM text.
  char TimeSeparator = ':';
  bool TwelveHourClock = false;
  bool HourLeadingZero = false;
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
};

// The settings of a locale named the ICU way ("es_ES", "en_US", "de").
TZDBFormatSettings FormatSettingsForLocale(const std::string& localeName);

// The settings of the current default locale (computed once per locale).
TZDBFormatSettings DefaultFormatSettings();
std::string DefaultLocaleName();
// Grows with every SetDefaultLocale, so that caches built for a locale can tell.
uint64_t DefaultLocaleGeneration();

// Makes localeName the default locale of the process (start-up, tests). An empty or
// unknown name falls back the way ICU does, to the root conventions.
void SetDefaultLocale(const std::string& localeName);

}  // namespace zdb
