// Values as text: the number, date and time formats that conversions to and from the
// text types use. Texts are Windows-1252; "blanks" are spaces and tabs.
//
// Numbers read with a fixed '.' are float literals; numbers read and written with the
// locale's decimal separator are currency amounts and formatted floats. Dates and times
// are written and read in the locale's short date and long time (TZDBFormatSettings);
// ISO-like fixed forms ("2024-01-05 10:20:30") are tried before the locale's where a
// caller asks for them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBLocale.h"

namespace zdb {

// A decimal integer with an optional sign and blanks around it; false when the text is
// not one or the number lies outside minimum .. maximum.
bool TryParseInteger(std::string_view text, int64_t minimum, int64_t maximum, int64_t& value);
// A float literal with '.' as the decimal separator whatever the locale, an optional
// exponent, INF and NAN; blanks around it.
bool TryParseFloat(std::string_view text, double& value);
// An amount with the locale's decimal separator, rounded to 4 decimals.
bool TryParseCurrency(std::string_view text, const TZDBFormatSettings& settings, double& value);

// General format with 15 significant digits: fixed notation from 0.00001 up to 15
// integer digits, else scientific ("1E20", "1,5E-7"); "NAN", "INF", "-INF".
std::string FormatFloat(double value, const TZDBFormatSettings& settings);
// The amount rounded to 4 decimals, without trailing zeros or thousands separators.
std::string FormatCurrency(double value, const TZDBFormatSettings& settings);

// The locale's short date; the empty date gives "".
std::string FormatDate(int32_t dayNumber, const TZDBFormatSettings& settings);
// The locale's long time (whole seconds).
std::string FormatTime(int32_t milliseconds, const TZDBFormatSettings& settings);
// Date, one blank, time; the time is left out at midnight, the date when it is empty;
// the empty date at midnight gives "".
std::string FormatDateTime(const TZDBTimeStamp& stamp, const TZDBFormatSettings& settings);

// The fixed forms: groups of exactly 4, 2, 2 (date) and 2, 2, 2 (time) digits, each
// ended by one non-digit or by the end of the text; nothing may follow the last group's
// end character.
bool TryParseFixedDateTime(std::string_view text, TZDBTimeStamp& stamp);  // date and time
bool TryParseFixedDate(std::string_view text, int32_t& dayNumber);
bool TryParseFixedTime(std::string_view text, int32_t& milliseconds);

// The locale's forms. A date of two numbers is in the current year; a year of one or
// two digits lies within 50 years of the current one. A time is hour and minute, then
// optionally seconds and milliseconds, then optionally the AM or PM text. Blank-only
// text is the empty date (a time needs digits). A date-time may be a date alone
// (midnight) or a time alone (the empty date).
bool TryParseLocaleDate(std::string_view text, const TZDBFormatSettings& settings, int32_t& dayNumber);
bool TryParseLocaleTime(std::string_view text, const TZDBFormatSettings& settings, int32_t& milliseconds);
bool TryParseLocaleDateTime(std::string_view text, const TZDBFormatSettings& settings, TZDBTimeStamp& stamp);

}  // namespace zdb
