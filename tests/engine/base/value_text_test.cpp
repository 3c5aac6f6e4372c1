#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBLocale.h"
#include "engine/base/ZDBValueText.h"
#include "support/ValueTestSupport.h"

namespace zdb {
namespace {

constexpr int32_t Jan5th2024 = 738890;
constexpr int32_t TenTwentyThirty = (10 * 3600 + 20 * 60 + 30) * 1000;

TEST(DayNumber, CountsProlepticGregorianDaysFromYearOne) {
  struct Case {
    int32_t year, month, day, dayNumber;
  };
  const Case cases[] = {
      {1, 1, 1, 1},          {1600, 3, 1, 584083},         {1899, 12, 30, DateTimeNumberBaseDay},
      {1899, 12, 31, 693595}, {1970, 1, 1, 719163},         {2000, 2, 29, 730179},
      {2024, 1, 5, Jan5th2024}, {9999, 12, 31, 3652059},
  };
  for (const auto& c : cases) {
    int32_t dayNumber = 0;
    ASSERT_TRUE(TryEncodeDayNumber(c.year, c.month, c.day, dayNumber)) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(dayNumber, c.dayNumber);
    int32_t y = 0, m = 0, d = 0;
    DecodeDayNumber(c.dayNumber, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.year * 10000 + c.month * 100 + c.day);
  }
  int32_t unused = 0;
  for (const auto& bad : {Case{2023, 2, 29, 0}, Case{1900, 2, 29, 0}, Case{2024, 4, 31, 0}, Case{2024, 13, 1, 0},
                          Case{2024, 0, 1, 0}, Case{0, 1, 1, 0}, Case{2024, 1, 0, 0}})
    EXPECT_FALSE(TryEncodeDayNumber(bad.year, bad.month, bad.day, unused)) << bad.year << "-" << bad.month;
}

TEST(DateTimeNumber, SplitsIntoDayNumberAndMilliseconds) {
  struct Case {
    double number;
    TZDBTimeStamp stamp;
  };
  const Case cases[] = {
      {0.0, {DateTimeNumberBaseDay, 0}},
      {1.0, {DateTimeNumberBaseDay + 1, 0}},
      {0.5, {DateTimeNumberBaseDay, MillisecondsPerDay / 2}},
      // Half milliseconds round to even.
      {0.5 / MillisecondsPerDay, {DateTimeNumberBaseDay, 0}},
      {1.5 / MillisecondsPerDay, {DateTimeNumberBaseDay, 2}},
      {2.5 / MillisecondsPerDay, {DateTimeNumberBaseDay, 2}},
      // Rounding up to midnight moves to the next day.
      {1.0 - 0.1 / MillisecondsPerDay, {DateTimeNumberBaseDay + 1, 0}},
      // Before 1899-12-30 the fraction still counts forward from midnight.
      {-1.25, {DateTimeNumberBaseDay - 1, MillisecondsPerDay / 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    TZDBTimeStamp stamp;
    ASSERT_TRUE(TryDateTimeToTimeStamp(c.number, stamp));
    EXPECT_EQ(stamp, c.stamp);
    // and back again
    TZDBTimeStamp again;
    ASSERT_TRUE(TryDateTimeToTimeStamp(TimeStampToDateTime(stamp), again));
    EXPECT_EQ(again, stamp);
  }
  TZDBTimeStamp unused;
  EXPECT_FALSE(TryDateTimeToTimeStamp(NAN, unused));
  EXPECT_FALSE(TryDateTimeToTimeStamp(1e12, unused));
  // A time without a date reads as its fraction alone.
  EXPECT_DOUBLE_EQ(TimeStampToDateTime({EmptyDate, MillisecondsPerDay / 4}), 0.25);
}

TEST(ValueText, FormatsFloatsInGeneralFormat) {
  const TZDBFormatSettings spanish = FormatSettingsForLocale("es_ES");
  const TZDBFormatSettings english = FormatSettingsForLocale("en_US");
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {1.5, "1,5"},
      {0, "0"},
      {-2, "-2"},
      {0.1 + 0.2, "0,3"},
      {1.0 / 3, "0,333333333333333"},
      {0.0001, "0,0001"},
      {0.00001, "0,00001"},
      {0.000001, "1E-6"},
      {1.5e-7, "1,5E-7"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1,23456789012346E15"},
      {1e20, "1E20"},
      {-1e20, "-1E20"},
      {NAN, "NAN"},
      {INFINITY, "INF"},
      {-INFINITY, "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.value, spanish), c.text) << c.value;
  EXPECT_EQ(FormatFloat(1.5, english), "1.5");
  EXPECT_EQ(FormatFloat(1.5e-7, english), "1.5E-7");
}

TEST(ValueText, ReadsFloatsWithAPointWhateverTheLocale) {
  struct Case {
    const char* text;
    bool valid;
    double value;
  };
  const Case cases[] = {
      {"1.5", true, 1.5},   {" -1e3 ", true, -1000}, {"+2", true, 2},    {"1e-999", true, 0},
      {"inf", true, INFINITY}, {"1,5", false, 0},    {"", false, 0},     {"abc", false, 0},
      {"1.5x", false, 0},   {"1e999", false, 0},     {"+-2", false, 0},  {"--2", false, 0},
  };
  for (const auto& c : cases) {
    double value = -7;
    EXPECT_EQ(TryParseFloat(c.text, value), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(ValueText, CurrencyUsesTheLocaleSeparatorAndFourDecimals) {
  const TZDBFormatSettings spanish = FormatSettingsForLocale("es_ES");
  struct Case {
    double value;
    const char* text;
  };
  for (const auto& c : {Case{1234.5, "1234,5"}, Case{2, "2"}, Case{0.12345, "0,1235"}, Case{-0.00001, "0"},
                        Case{-3.25, "-3,25"}})
    EXPECT_EQ(FormatCurrency(c.value, spanish), c.text) << c.value;

  double value = 0;
  EXPECT_TRUE(TryParseCurrency("1,5", spanish, value));
  EXPECT_EQ(value, 1.5);
  EXPECT_TRUE(TryParseCurrency(" 1,23456 ", spanish, value));
  EXPECT_EQ(value, 1.2346);
  EXPECT_FALSE(TryParseCurrency("1.5", spanish, value));
  EXPECT_FALSE(TryParseCurrency("1.000,5", spanish, value));
  EXPECT_TRUE(TryParseCurrency("1.5", FormatSettingsForLocale("en_US"), value));
  EXPECT_EQ(value, 1.5);
}

TEST(ValueText, ReadsIntegersWithinTheirRange) {
  int64_t value = 0;
  EXPECT_TRUE(TryParseInteger("  42 ", INT32_MIN, INT32_MAX, value));
  EXPECT_EQ(value, 42);
  EXPECT_TRUE(TryParseInteger("-2147483648", INT32_MIN, INT32_MAX, value));
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_FALSE(TryParseInteger("2147483648", INT32_MIN, INT32_MAX, value));
  EXPECT_FALSE(TryParseInteger("1.0", INT32_MIN, INT32_MAX, value));
  EXPECT_FALSE(TryParseInteger("", INT32_MIN, INT32_MAX, value));
  EXPECT_FALSE(TryParseInteger("99999999999999999999", INT64_MIN, INT64_MAX, value));
}

TEST(ValueText, FixedFormsNeedExactDigitGroups) {
  struct Case {
    const char* text;
    bool dateTime, date, time;
  };
  const Case cases[] = {
      {"2024-01-05 10:20:30", true, false, false},
      {"2024-01-05T10:20:30Z", true, false, false},  // one trailing character is tolerated
      {"2024/01/05 10.20.30", true, false, false},   // any non-digit ends a group
      {"2024-01-05 10:20:30ZZ", false, false, false},
      {"2024-01-05", false, true, false},
      {"2024-01-05 ", false, true, false},
      {"2024-1-5", false, false, false},
      {"20240105", false, false, false},
      {"2024-02-30", false, false, false},
      {"10:20:30", false, false, true},
      {"1:20:30", false, false, false},
      {"24:00:00", false, false, false},
      {"", false, false, false},
  };
  for (const auto& c : cases) {
    TZDBTimeStamp stamp;
    int32_t day = 0, ms = 0;
    EXPECT_EQ(TryParseFixedDateTime(c.text, stamp), c.dateTime) << c.text;
    EXPECT_EQ(TryParseFixedDate(c.text, day), c.date) << c.text;
    EXPECT_EQ(TryParseFixedTime(c.text, ms), c.time) << c.text;
  }
  TZDBTimeStamp stamp;
  ASSERT_TRUE(TryParseFixedDateTime("2024-01-05 10:20:30", stamp));
  EXPECT_EQ(stamp, (TZDBTimeStamp{Jan5th2024, TenTwentyThirty}));
}

TEST(ValueText, DatesAndTimesFollowTheLocale) {
  struct Case {
    const char* locale;
    const char* date;
    const char* time;       // 10:20:30
    const char* afternoon;  // 13:05:09
  };
  const Case cases[] = {
      {"es_ES", "5/1/2024", "10:20:30", "13:05:09"},
      {"en_US", "1/5/2024", "10:20:30 AM", "1:05:09 PM"},
      {"de_DE", "05.01.2024", "10:20:30", "13:05:09"},
      {"sv_SE", "2024-01-05", "10:20:30", "13:05:09"},
      {"fi_FI", "5.1.2024", "10.20.30", "13.05.09"},
  };
  const int32_t afternoon = (13 * 3600 + 5 * 60 + 9) * 1000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    const TZDBFormatSettings settings = FormatSettingsForLocale(c.locale);
    EXPECT_EQ(FormatDate(Jan5th2024, settings), c.date);
    EXPECT_EQ(FormatTime(TenTwentyThirty, settings), c.time);
    EXPECT_EQ(FormatTime(afternoon, settings), c.afternoon);
    EXPECT_EQ(FormatDateTime({Jan5th2024, TenTwentyThirty}, settings), std::string(c.date) + " " + c.time);
    EXPECT_EQ(FormatDateTime({Jan5th2024, 0}, settings), c.date);
    EXPECT_EQ(FormatDateTime({EmptyDate, TenTwentyThirty}, settings), c.time);
    EXPECT_EQ(FormatDateTime({EmptyDate, 0}, settings), "");
    EXPECT_EQ(FormatDate(EmptyDate, settings), "");

    // What is written reads back.
    int32_t day = 0, ms = 0;
    TZDBTimeStamp stamp;
    ASSERT_TRUE(TryParseLocaleDate(c.date, settings, day));
    EXPECT_EQ(day, Jan5th2024);
    ASSERT_TRUE(TryParseLocaleTime(c.afternoon, settings, ms));
    EXPECT_EQ(ms, afternoon);
    ASSERT_TRUE(TryParseLocaleDateTime(std::string(c.date) + " " + c.time, settings, stamp));
    EXPECT_EQ(stamp, (TZDBTimeStamp{Jan5th2024, TenTwentyThirty}));
    ASSERT_TRUE(TryParseLocaleDateTime(c.time, settings, stamp));
    EXPECT_EQ(stamp, (TZDBTimeStamp{EmptyDate, TenTwentyThirty}));
  }
}

TEST(ValueText, ReadsLocaleDatesAndTimesStrictly) {
  const TZDBFormatSettings spanish = FormatSettingsForLocale("es_ES");
  const TZDBFormatSettings english = FormatSettingsForLocale("en_US");
  int32_t day = 0, ms = 0;
  // Two-digit years lie within 50 years of today; a missing year is this year.
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int32_t thisYear = local.tm_year + 1900;
  int32_t expected = 0;
  ASSERT_TRUE(TryParseLocaleDate("05/01/24", spanish, day));
  ASSERT_TRUE(TryEncodeDayNumber(thisYear / 100 * 100 + 24, 1, 5, expected));
  EXPECT_EQ(day, expected);
  ASSERT_TRUE(TryParseLocaleDate("5/1", spanish, day));
  ASSERT_TRUE(TryEncodeDayNumber(thisYear, 1, 5, expected));
  EXPECT_EQ(day, expected);
  ASSERT_TRUE(TryParseLocaleDate("  ", spanish, day));
  EXPECT_EQ(day, EmptyDate);
  for (const char* bad : {"31/2/2024", "5-1-2024", "5/1/2024/1", "5//2024", "a/1/2024", "5/1/2024 x", "2024"})
    EXPECT_FALSE(TryParseLocaleDate(bad, spanish, day)) << bad;

  ASSERT_TRUE(TryParseLocaleTime("10:20", spanish, ms));
  EXPECT_EQ(ms, (10 * 3600 + 20 * 60) * 1000);
  ASSERT_TRUE(TryParseLocaleTime("10:20:30.5", spanish, ms));
  EXPECT_EQ(ms, TenTwentyThirty + 500);
  ASSERT_TRUE(TryParseLocaleTime("12:00:00 am", english, ms));
  EXPECT_EQ(ms, 0);
  ASSERT_TRUE(TryParseLocaleTime("12:00 PM", english, ms));
  EXPECT_EQ(ms, 12 * 3600 * 1000);
  for (const char* bad : {"13:00 PM", "0:10 AM", "24:00", "10:60", "10", "10:20:30:40", "", "x"})
    EXPECT_FALSE(TryParseLocaleTime(bad, english, ms)) << bad;
}

}  // namespace
}  // namespace zdb
