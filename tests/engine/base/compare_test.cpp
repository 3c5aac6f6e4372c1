#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "engine/base/ZDBValueCompare.h"
#include "engine/base/ZDBVariant.h"
#include "support/ValueTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using T = TZDBStorageType;

class Comparison : public InLocale {};

// CompareValues over two values in row form (no sizes), as index keys call it.
int RowCompare(const TZDBVariant& a, const TZDBVariant& b, bool ignoreCase = false, int32_t prefix = -1) {
  return CompareValues(a.Data(), b.Data(), a.DataType(), b.DataType(), ignoreCase, prefix, a.IsNull(), b.IsNull());
}

TEST(CommonType, FollowsTheTableWithSymmetricNumericMeetings) {
  struct Case {
    T a, b;
    bool datePreference;
    T expected;
  };
  const Case cases[] = {
      {T::Integer, T::Float, false, T::Float},
      {T::ShortInt, T::Byte, false, T::SmallInt},
      {T::Integer, T::Cardinal, false, T::LargeInt},
      // Signed against unsigned meets in a type holding both, whichever comes first.
      {T::ShortInt, T::Word, false, T::Integer},
      {T::Word, T::ShortInt, false, T::Integer},
      {T::SmallInt, T::Cardinal, false, T::LargeInt},
      {T::Cardinal, T::SmallInt, false, T::LargeInt},
      {T::Single, T::Currency, false, T::Currency},
      {T::Currency, T::Single, false, T::Currency},
      {T::Extended, T::Currency, false, T::Extended},
      {T::Currency, T::Extended, false, T::Extended},
      {T::Float, T::Currency, false, T::Currency},
      {T::Currency, T::Float, false, T::Float},
      {T::String, T::WideChar, false, T::WideChar},
      {T::String, T::WideMemo, false, T::WideString},
      {T::Memo, T::Memo, false, T::Char},
      {T::Date, T::Time, false, T::DateTime},
      {T::Logical, T::Integer, false, T::Integer},
      // Text against dates: the date type only when comparing.
      {T::String, T::Date, true, T::Date},
      {T::DateTime, T::WideChar, true, T::DateTime},
      {T::String, T::Date, false, T::String},
      {T::Time, T::Char, false, T::Char},
      {T::Memo, T::Date, true, T::None},
      // Nothing meets BLOB, BYTES or unknown codes.
      {T::Blob, T::Blob, false, T::None},
      {T::Integer, T::Blob, false, T::None},
      {T::Bytes, T::Bytes, false, T::None},
      {T::Logical, T::Currency, false, T::None},
      {T::None, T::Integer, false, T::None},
      {static_cast<T>(25), T::Integer, false, T::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CommonType(c.a, c.b, c.datePreference), c.expected)
        << StorageTypeName(c.a) << " " << StorageTypeName(c.b) << " " << c.datePreference;
}

TEST_F(Comparison, OrdersPairsAcrossTypes) {
  struct Case {
    const char* what;
    TZDBVariant a, b;
    int expected;
  };
  const Case cases[] = {
      {"null first", TZDBVariant(T::Integer), IntegerValue(7), CompareFirstNull},
      {"null second", IntegerValue(7), TZDBVariant(T::Integer), CompareSecondNull},
      {"both null", TZDBVariant(T::Integer), TZDBVariant(T::String), CompareBothNull},
      {"null of an incomparable type", TZDBVariant(T::Blob), IntegerValue(7), CompareFirstNull},
      {"integer with float", IntegerValue(7), FloatValue(7.0), CompareEqual},
      {"integer below float", IntegerValue(7), FloatValue(7.5), CompareLess},
      {"signed below unsigned", ShortIntValue(-1), WordValue(5), CompareLess},
      {"unsigned above signed", WordValue(5), ShortIntValue(-1), CompareGreater},
      {"cardinal above integer", CardinalValue(4000000000U), IntegerValue(-1), CompareGreater},
      {"byte with shortint", ByteValue(200), ShortIntValue(-56), CompareGreater},
      {"largeint high word", LargeIntValue(int64_t{1} << 32), LargeIntValue(0xFFFFFFFF), CompareGreater},
      {"largeint sign", LargeIntValue(-1), LargeIntValue(1), CompareLess},
      {"unsigned order", CardinalValue(0x80000000U), CardinalValue(1), CompareGreater},
      {"nan equals", FloatValue(NAN), FloatValue(1), CompareEqual},
      {"zero signs", FloatValue(-0.0), FloatValue(0.0), CompareEqual},
      {"extended beyond a double", ExtendedValue(TZDBExtended(0x8000000000000001, 0x3FFF)), FloatValue(1.0),
       CompareGreater},
      {"currency with single", CurrencyValue(0.1), SingleValue(0.1f), CompareLess},
      {"single with currency", SingleValue(0.1f), CurrencyValue(0.1), CompareGreater},
      {"date with date-time", DateValue(738890), DateTimeValue(738890, 1), CompareLess},
      {"date-time by day first", DateTimeValue(738891, 0), DateTimeValue(738890, 86399999), CompareGreater},
      {"date with time", DateValue(1), TimeValue(1000), CompareGreater},
      {"text read as a date", StringValue("2024-01-05"), DateValue(738890), CompareEqual},
      {"date with locale text", DateValue(738891), StringValue("5/1/2024"), CompareGreater},
      {"number read as text", StringValue("10"), IntegerValue(9), CompareLess},
      {"logical truth", LogicalValue(false), LogicalValue(true), CompareLess},
      {"logical true patterns", RawValue(T::Logical, BytesOf({1, 0})), LogicalValue(true), CompareEqual},
      {"logical with integer", LogicalValue(true), IntegerValue(1), CompareEqual},
      {"memo with string", TextRaw(T::Memo, "abc"), StringValue("abd"), CompareLess},
      {"memo with memo", TextRaw(T::Memo, "abd"), TextRaw(T::Memo, "abc"), CompareGreater},
      {"wide with ansi", WideStringValue(u"abc"), StringValue("abd"), CompareLess},
      {"bytes collate as text", RawValue(T::Bytes, BytesOf({'b', 0})), RawValue(T::Bytes, BytesOf({'a', 0})),
       CompareGreater},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.a.Compare(c.b, true, false, false), c.expected);
    if (!c.a.IsNull() && !c.b.IsNull() && c.a.DataType() != T::Memo) {
      EXPECT_EQ(RowCompare(c.a, c.b), c.expected);  // memo values need their size
    }
  }
  // The three-way form and the variant's own NULL mapping.
  const int codes[] = {CompareEqual, CompareLess, CompareGreater, CompareFirstNull, CompareSecondNull, CompareBothNull};
  const int orders[] = {0, -1, 1, -1, 1, 0};
  for (size_t i = 0; i < std::size(codes); ++i) EXPECT_EQ(CompareResultToOrder(codes[i]), orders[i]);
  EXPECT_EQ(TZDBVariant(T::Integer).Compare(IntegerValue(7), false, false, false), CompareLess);
  EXPECT_EQ(IntegerValue(7).Compare(TZDBVariant(T::Integer), false, false, false), CompareGreater);
  EXPECT_EQ(TZDBVariant(T::Integer).Compare(TZDBVariant(T::Integer), false, false, false), CompareEqual);
}

TEST_F(Comparison, Failures) {
  struct Case {
    TZDBVariant a, b;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {IntegerValue(1), RawValue(T::Blob, BytesOf({1})), 30044, "Cannot compare Incompatible DataTypes: 'INTEGER' and 'BLOB'"},
      {LogicalValue(true), CurrencyValue(1), 30044, "Cannot compare Incompatible DataTypes: 'LOGICAL' and 'CURRENCY'"},
      {RawValue(T::Blob, BytesOf({1})), RawValue(T::Blob, BytesOf({1})), 30047, "Unknown DataType: 'BLOB'"},
      {RawValue(T::VarBytes, BytesOf({1})), RawValue(T::VarBytes, BytesOf({1})), 30047, "Unknown DataType: 'VARBYTES'"},
      {StringValue("x"), DateValue(1), 30051, "Cannot cast from 'STRING' to 'DATE'"},
  };
  for (const auto& c : cases) {
    const RaisedError error = ErrorOf([&] { (void)c.a.Compare(c.b, true, false, false); });
    EXPECT_EQ(error.code, c.code) << c.message;
    EXPECT_EQ(error.message, c.message);
  }
  const int32_t seven = 7;
  const RaisedError missing =
      ErrorOf([&] { CompareValues(nullptr, &seven, T::Integer, T::Integer, false, -1, false, false); });
  EXPECT_EQ(missing.code, 30140);
  EXPECT_EQ(missing.message, "Value is Null");
}

TEST_F(Comparison, CaseAndPrefix) {
  struct Case {
    const char* a;
    const char* b;
    bool ignoreCase;
    int32_t prefix;
    int expected;
  };
  const Case cases[] = {
      {"abc", "ABC", false, -1, CompareLess},  // lower case first when only case differs
      {"abc", "ABC", true, -1, CompareEqual},
      {"abX", "abY", false, 2, CompareEqual},
      {"abX", "abY", false, 3, CompareLess},
      {"abX", "ABY", true, 2, CompareEqual},
      {"abc", "xyz", false, 0, CompareEqual},
      {"ab", "abc", false, 10, CompareLess},  // a prefix longer than the text takes it all
      {"ab", "abc", false, 2, CompareEqual},
      // Accents count even without case.
      {"a", "\xC1", true, -1, CompareLess},  // "Á"
      {"\xE1", "\xC1", true, -1, CompareEqual},  // "á", "Á"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.a << " " << c.b << " " << c.ignoreCase << " " << c.prefix);
    EXPECT_EQ(RowCompare(StringValue(c.a), StringValue(c.b), c.ignoreCase, c.prefix), c.expected);
    const TZDBVariant wideA = Cast(StringValue(c.a), T::WideString), wideB = Cast(StringValue(c.b), T::WideString);
    EXPECT_EQ(RowCompare(wideA, wideB, c.ignoreCase, c.prefix), c.expected);
  }
  // The variant's prefix option takes the other value's length.
  EXPECT_EQ(StringValue("abc").Compare(StringValue("ab"), true, true, false), CompareEqual);
  EXPECT_EQ(StringValue("abc").Compare(StringValue("ab"), true, false, false), CompareGreater);
  // A known size bounds text that lacks its terminator.
  const char unterminated[] = {'a', 'b', 'c'};
  EXPECT_EQ(CompareValues(unterminated, "abc", T::String, T::String, false, -1, false, false, 3, -1), CompareEqual);
  // Row form: a CHAR field padded with zeros to its width.
  const char padded[] = {'a', 'b', 0, 0, 0, 0};
  EXPECT_EQ(CompareValues(padded, "ab", T::Char, T::String, false, -1, false, false), CompareEqual);
}

TEST_F(Comparison, CollatesInTheLocale) {
  // Ascending in Spanish: ñ is a letter after n, accented letters follow their base.
  const std::vector<std::string> order = {"a", "\xE1", "ab", "b", "n", "nz", "\xF1", "\xF1" "a", "o", "z"};
  for (size_t i = 0; i + 1 < order.size(); ++i) {
    EXPECT_EQ(RowCompare(StringValue(order[i]), StringValue(order[i + 1])), CompareLess) << order[i];
    EXPECT_EQ(RowCompare(StringValue(order[i + 1]), StringValue(order[i])), CompareGreater) << order[i];
  }
  // String sort: a hyphen is not ignored.
  EXPECT_NE(RowCompare(StringValue("co-op"), StringValue("coop")), CompareEqual);
  EXPECT_NE(RowCompare(StringValue("co-op"), StringValue("coop"), true), CompareEqual);

  // The same texts order differently in a locale without ñ as a letter of its own.
  SetDefaultLocale("en_US");
  EXPECT_EQ(RowCompare(StringValue("\xF1" "a"), StringValue("nz")), CompareLess);
  SetDefaultLocale("es_ES");
  EXPECT_EQ(RowCompare(StringValue("\xF1" "a"), StringValue("nz")), CompareGreater);
  // A bare C environment still gets a real collation, where case can be ignored.
  SetDefaultLocale("en_US_POSIX");
  EXPECT_EQ(RowCompare(StringValue("abc"), StringValue("ABC"), true), CompareEqual);
  EXPECT_EQ(RowCompare(StringValue("B"), StringValue("a")), CompareGreater);
}

// Every pair compared both ways and every triple chained must agree: the order an
// index relies on.
void ExpectConsistentOrder(const std::vector<TZDBVariant>& values, bool ignoreCase) {
  const size_t n = values.size();
  std::vector<std::vector<int>> order(n, std::vector<int>(n));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      order[i][j] = CompareResultToOrder(values[i].Compare(values[j], true, false, ignoreCase));
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(order[i][i], 0) << i;
    for (size_t j = 0; j < n; ++j) {
      ASSERT_EQ(order[i][j], -order[j][i]) << i << " " << j;
      for (size_t k = 0; k < n; ++k)
        if (order[i][j] <= 0 && order[j][k] <= 0) {
          ASSERT_LE(order[i][k], 0) << i << " " << j << " " << k;
        }
    }
  }
}

TEST_F(Comparison, NumbersOfAllTypesFormOneOrder) {
  std::vector<TZDBVariant> values = {TZDBVariant(T::Integer), TZDBVariant(T::Float)};
  for (int v : {-70000, -200, -3, -1, 0, 1, 2, 3, 127, 128, 200, 255, 256, 70000}) {
    if (v >= -128 && v <= 127) values.push_back(ShortIntValue(static_cast<int8_t>(v)));
    if (v >= -32768 && v <= 32767) values.push_back(SmallIntValue(static_cast<int16_t>(v)));
    values.push_back(IntegerValue(v));
    values.push_back(LargeIntValue(v));
    if (v >= 0 && v <= 255) values.push_back(ByteValue(static_cast<uint8_t>(v)));
    if (v >= 0 && v <= 65535) values.push_back(WordValue(static_cast<uint16_t>(v)));
    if (v >= 0) values.push_back(CardinalValue(static_cast<uint32_t>(v)));
  }
  for (double v : {-70000.0, -3.0, -0.5, 0.0, 0.25, 1.0, 127.5, 255.0, 70000.0}) {
    values.push_back(SingleValue(static_cast<float>(v)));
    values.push_back(FloatValue(v));
    values.push_back(ExtendedValue(TZDBExtended::FromDouble(v)));
    values.push_back(CurrencyValue(v));
  }
  values.push_back(CardinalValue(0xFFFFFFFF));
  values.push_back(LargeIntValue(INT64_MIN));
  values.push_back(ExtendedValue(TZDBExtended(0x8000000000000001, 0x3FFF)));  // just above 1
  ExpectConsistentOrder(values, false);
}

TEST_F(Comparison, TextsFormOneOrderInBothCaseModes) {
  std::vector<TZDBVariant> values = {TZDBVariant(T::String), RawValue(T::String, BytesOf({0}))};
  for (const char* text : {"a", "A", "\xE1", "\xC1", "\xE4", "b", "B", "ab", "aB", "Ab", "a-b", "ab-", "a b", " a",
                           "co-op", "coop", "n", "N", "\xF1", "\xD1", "o", "z", "Z", "1", "10", "9", "$", "\x80"}) {
    values.push_back(StringValue(text));
    values.push_back(Cast(StringValue(text), T::Char));
    values.push_back(Cast(StringValue(text), T::WideString));
  }
  ExpectConsistentOrder(values, false);
  ExpectConsistentOrder(values, true);
}

TEST_F(Comparison, DatesAndTimesFormOneOrder) {
  std::vector<TZDBVariant> values = {TZDBVariant(T::Date), TZDBVariant(T::DateTime)};
  for (int32_t day : {EmptyDate, -5, 1, 738890, 738891}) {
    values.push_back(DateValue(day));
    for (int32_t ms : {0, 1000, 86399999}) values.push_back(DateTimeValue(day, ms));
  }
  for (int32_t ms : {0, 1, 1000, 37230000, 86399999}) values.push_back(TimeValue(ms));
  ExpectConsistentOrder(values, false);
}

}  // namespace
}  // namespace zdb
