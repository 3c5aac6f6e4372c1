#include "engine/base/ZDBValueText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace zdb {
namespace {

constexpr int FloatSignificantDigits = 15;
constexpr int FixedNotationLowestExponent = -5;  // 0.00001 and above
constexpr int CurrencyDecimals = 4;
constexpr double CurrencyScale = 10000.0;
constexpr int32_t TwoDigitYearWindow = 50;
constexpr int32_t MillisecondsPerHour = 3600000;
constexpr int32_t MillisecondsPerMinute = 60000;
constexpr int32_t MillisecondsPerSecond = 1000;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Parses a float literal that must take the whole text ('+' allowed, which from_chars
// does not take itself).
bool ParseWholeFloat(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return false;
  if (error == std::errc::result_out_of_range) {
    // Too small for a double is zero; too large is a failure.
    const size_t exponent = text.find_first_of("eE");
    if (exponent == std::string_view::npos || exponent + 1 >= text.size() || text[exponent + 1] != '-') return false;
    value = text.front() == '-' ? -0.0 : 0.0;
    return true;
  }
  return error == std::errc();
}

std::string Padded(int64_t value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
  return buffer;
}

// Reads a run of digits at text[pos] (at most maxDigits); false when there is none.
bool ReadNumber(std::string_view text, size_t& pos, int64_t& value, size_t& digits, size_t maxDigits = 9) {
  value = 0;
  digits = 0;
  while (pos < text.size() && IsDigit(text[pos]) && digits < maxDigits) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits > 0 && (pos == text.size() || !IsDigit(text[pos]));
}

int32_t CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// A one- or two-digit year placed within TwoDigitYearWindow years of the current one.
int32_t ExpandYear(int64_t year, size_t digits) {
  if (digits > 2) return static_cast<int32_t>(year);
  const int32_t current = CurrentYear();
  int32_t expanded = current / 100 * 100 + static_cast<int32_t>(year);
  if (expanded > current + TwoDigitYearWindow) expanded -= 100;
  if (expanded <= current - TwoDigitYearWindow) expanded += 100;
  return expanded;
}

// The groups of a fixed form: exact digit counts, each group ended by one non-digit or
// the end of the text.
bool ReadFixedGroups(std::string_view text, const std::vector<size_t>& widths, std::vector<int32_t>& values) {
  size_t pos = 0;
  values.clear();
  for (size_t group = 0; group < widths.size(); ++group) {
    if (pos >= text.size()) return false;
    int32_t value = 0;
    for (size_t i = 0; i < widths[group]; ++i, ++pos) {
      if (pos >= text.size() || !IsDigit(text[pos])) return false;
      value = value * 10 + (text[pos] - '0');
    }
    values.push_back(value);
    if (pos < text.size()) {
      if (IsDigit(text[pos])) return false;
      ++pos;  // the group's end character
    }
  }
  return pos == text.size();
}

}  // namespace

bool TryParseInteger(std::string_view text, int64_t minimum, int64_t maximum, int64_t& value) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  int64_t parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (parsed < minimum || parsed > maximum) return false;
  value = parsed;
  return true;
}

bool TryParseFloat(std::string_view text, double& value) { return ParseWholeFloat(TrimBlanks(text), value); }

bool TryParseCurrency(std::string_view text, const TZDBFormatSettings& settings, double& value) {
  std::string literal(TrimBlanks(text));
  for (char& c : literal) {
    if (c == settings.DecimalSeparator)
      c = '.';
    else if (c == '.')
      return false;  // not the locale's separator
  }
  double parsed = 0;
  if (!ParseWholeFloat(literal, parsed) || !std::isfinite(parsed)) return false;
  value = std::nearbyint(parsed * CurrencyScale) / CurrencyScale;
  return true;
}

std::string FormatFloat(double value, const TZDBFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", FloatSignificantDigits - 1, value);
  const std::string scientific = buffer;  // "-d.dddddddddddddde+XX"
  const size_t exponentAt = scientific.find('e');
  const int exponent = std::atoi(scientific.c_str() + exponentAt + 1);
  const bool negative = scientific.front() == '-';
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < exponentAt; ++i)
    if (IsDigit(scientific[i])) digits += scientific[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string result = negative ? "-" : "";
  if (exponent < FixedNotationLowestExponent || exponent >= FloatSignificantDigits) {
    result += digits.front();
    if (digits.size() > 1) result += settings.DecimalSeparator + digits.substr(1);
    return result + "E" + std::to_string(exponent);
  }
  if (exponent < 0) {
    result += "0";
    result += settings.DecimalSeparator;
    result += std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    return result;
  }
  const size_t integerDigits = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= integerDigits) return result + digits + std::string(integerDigits - digits.size(), '0');
  return result + digits.substr(0, integerDigits) + settings.DecimalSeparator + digits.substr(integerDigits);
}

std::string FormatCurrency(double value, const TZDBFormatSettings& settings) {
  if (!std::isfinite(value)) return FormatFloat(value, settings);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", CurrencyDecimals, value);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";
  const size_t point = text.find('.');
  if (point != std::string::npos) text[point] = settings.DecimalSeparator;
  return text;
}

std::string FormatDate(int32_t dayNumber, const TZDBFormatSettings& settings) {
  if (dayNumber == EmptyDate) return "";
  int32_t year = 0, month = 0, day = 0;
  DecodeDayNumber(dayNumber, year, month, day);
  const std::string d = Padded(day, settings.DayLeadingZero ? 2 : 1);
  const std::string m = Padded(month, settings.MonthLeadingZero ? 2 : 1);
  const std::string y = Padded(year, 4);
  const char s = settings.DateSeparator;
  switch (settings.DateOrder) {
    case TZDBDateOrder::DayMonthYear:
      return d + s + m + s + y;
    case TZDBDateOrder::MonthDayYear:
      return m + s + d + s + y;
    case TZDBDateOrder::YearMonthDay:
      break;
  }
  return y + s + m + s + d;
}

std::string FormatTime(int32_t milliseconds, const TZDBFormatSettings& settings) {
  const int32_t ms = (milliseconds % MillisecondsPerDay + MillisecondsPerDay) % MillisecondsPerDay;
  int32_t hour = ms / MillisecondsPerHour;
  const int32_t minute = ms / MillisecondsPerMinute % 60;
  const int32_t second = ms / MillisecondsPerSecond % 60;
  std::string suffix;
  if (settings.TwelveHourClock) {
    suffix = " " + (hour < 12 ? settings.TimeAMString : settings.TimePMString);
    hour = hour % 12 == 0 ? 12 : hour % 12;
  }
  const char s = settings.TimeSeparator;
  return Padded(hour, settings.HourLeadingZero ? 2 : 1) + s + Padded(minute, 2) + s + Padded(second, 2) + suffix;
}

std::string FormatDateTime(const TZDBTimeStamp& stamp, const TZDBFormatSettings& settings) {
  if (stamp.Date == EmptyDate) return stamp.Time == 0 ? "" : FormatTime(stamp.Time, settings);
  if (stamp.Time == 0) return FormatDate(stamp.Date, settings);
  return FormatDate(stamp.Date, settings) + " " + FormatTime(stamp.Time, settings);
}

bool TryParseFixedDateTime(std::string_view text, TZDBTimeStamp& stamp) {
  std::vector<int32_t> v;
  if (!ReadFixedGroups(text, {4, 2, 2, 2, 2, 2}, v)) return false;
  TZDBTimeStamp parsed;
  if (!TryEncodeDayNumber(v[0], v[1], v[2], parsed.Date) || !TryEncodeMilliseconds(v[3], v[4], v[5], 0, parsed.Time))
    return false;
  stamp = parsed;
  return true;
}

bool TryParseFixedDate(std::string_view text, int32_t& dayNumber) {
  std::vector<int32_t> v;
  return ReadFixedGroups(text, {4, 2, 2}, v) && TryEncodeDayNumber(v[0], v[1], v[2], dayNumber);
}

bool TryParseFixedTime(std::string_view text, int32_t& milliseconds) {
  std::vector<int32_t> v;
  return ReadFixedGroups(text, {2, 2, 2}, v) && TryEncodeMilliseconds(v[0], v[1], v[2], 0, milliseconds);
}

bool TryParseLocaleDate(std::string_view text, const TZDBFormatSettings& settings, int32_t& dayNumber) {
  text = TrimBlanks(text);
  if (text.empty()) {
    dayNumber = EmptyDate;
    return true;
  }
  int64_t numbers[3] = {0, 0, 0};
  size_t digits[3] = {0, 0, 0};
  size_t count = 0;
  size_t pos = 0;
  while (count < 3) {
    if (!ReadNumber(text, pos, numbers[count], digits[count])) return false;
    ++count;
    if (pos == text.size()) break;
    if (text[pos] != settings.DateSeparator) return false;
    ++pos;
  }
  if (pos != text.size() || count < 2) return false;

  int64_t year = CurrentYear(), month = 0, day = 0;
  size_t yearDigits = 4;
  switch (settings.DateOrder) {
    case TZDBDateOrder::DayMonthYear:
      day = numbers[0], month = numbers[1];
      if (count == 3) year = numbers[2], yearDigits = digits[2];
      break;
    case TZDBDateOrder::MonthDayYear:
      month = numbers[0], day = numbers[1];
      if (count == 3) year = numbers[2], yearDigits = digits[2];
      break;
    case TZDBDateOrder::YearMonthDay:
      if (count == 3)
        year = numbers[0], yearDigits = digits[0], month = numbers[1], day = numbers[2];
      else
        month = numbers[0], day = numbers[1];
      break;
  }
  return TryEncodeDayNumber(ExpandYear(year, yearDigits), static_cast<int32_t>(month), static_cast<int32_t>(day),
                            dayNumber);
}

bool TryParseLocaleTime(std::string_view text, const TZDBFormatSettings& settings, int32_t& milliseconds) {
  text = TrimBlanks(text);
  // The AM or PM text, in the locale's words or in English.
  int meridiem = 0;  // 0 none, 1 AM, 2 PM
  const std::string_view markers[4] = {settings.TimeAMString, settings.TimePMString, "AM", "PM"};
  for (int i = 0; i < 4 && meridiem == 0; ++i) {
    const std::string_view marker = markers[i];
    if (!marker.empty() && text.size() > marker.size() &&
        EqualsIgnoringAsciiCase(text.substr(text.size() - marker.size()), marker)) {
      meridiem = i % 2 == 0 ? 1 : 2;
      text = TrimBlanks(text.substr(0, text.size() - marker.size()));
    }
  }
  int64_t parts[3] = {0, 0, 0};
  size_t digits = 0;
  size_t pos = 0;
  size_t count = 0;
  while (count < 3) {
    if (!ReadNumber(text, pos, parts[count], digits)) return false;
    ++count;
    if (pos == text.size() || text[pos] != settings.TimeSeparator) break;
    ++pos;
  }
  int64_t millisecond = 0;
  if (count == 3 && pos < text.size() && (text[pos] == '.' || text[pos] == settings.DecimalSeparator)) {
    ++pos;
    if (!ReadNumber(text, pos, millisecond, digits, 3)) return false;
    while (digits++ < 3) millisecond *= 10;  // ".5" is half a second
  }
  if (pos != text.size() || count < 2) return false;
  int64_t hour = parts[0];
  if (meridiem != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (hour > 23 || parts[1] > 59 || parts[2] > 59) return false;
  return TryEncodeMilliseconds(static_cast<int32_t>(hour), static_cast<int32_t>(parts[1]),
                               static_cast<int32_t>(parts[2]), static_cast<int32_t>(millisecond), milliseconds);
}

bool TryParseLocaleDateTime(std::string_view text, const TZDBFormatSettings& settings, TZDBTimeStamp& stamp) {
  text = TrimBlanks(text);
  if (int32_t day = 0; TryParseLocaleDate(text, settings, day)) {
    stamp = {day, 0};
    return true;
  }
  if (int32_t ms = 0; TryParseLocaleTime(text, settings, ms)) {
    stamp = {EmptyDate, ms};
    return true;
  }
  const size_t blank = text.find_first_of(" \t");
  if (blank == std::string_view::npos) return false;
  TZDBTimeStamp parsed;
  if (!TryParseLocaleDate(text.substr(0, blank), settings, parsed.Date) || parsed.Date == EmptyDate ||
      !TryParseLocaleTime(text.substr(blank + 1), settings, parsed.Time))
    return false;
  stamp = parsed;
  return true;
}

}  // namespace zdb
