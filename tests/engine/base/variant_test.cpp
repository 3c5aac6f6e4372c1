#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/ZDBExtended.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/base/ZDBVariant.h"
#include "support/ValueTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using T = TZDBStorageType;

constexpr int32_t Jan5th2024 = 738890;
constexpr int32_t TenTwentyThirty = 37230000;

class Variant : public InLocale {};

TEST_F(Variant, EncodesEveryStorageTypeByteForByte) {
  struct Case {
    TZDBVariant value;
    T type;
    Bytes bytes;
  };
  TZDBVariant dayZero, noon, timestamp;
  dayZero.SetAsDate(0.0);  // 1899-12-30
  noon.SetAsTime(0.5);
  timestamp.SetAsDateTime(DayNumberToDateTime(Jan5th2024) + TenTwentyThirty / 86400000.0);
  const Case cases[] = {
      {StringValue("ab\x80"), T::String, BytesOf({0x61, 0x62, 0x80, 0})},  // the euro sign
      {Cast(StringValue("ab"), T::Char), T::Char, BytesOf({0x61, 0x62, 0})},
      {WideStringValue(u"a\u00F1\u20AC"), T::WideString, BytesOf({0x61, 0, 0xF1, 0, 0xAC, 0x20, 0, 0})},
      {Cast(StringValue("ab"), T::WideChar), T::WideChar, BytesOf({0x61, 0, 0x62, 0, 0, 0})},
      {ShortIntValue(-2), T::ShortInt, BytesOf({0xFE})},
      {SmallIntValue(-2), T::SmallInt, BytesOf({0xFE, 0xFF})},
      {IntegerValue(2024), T::Integer, BytesOf({0xE8, 0x07, 0, 0})},
      {LargeIntValue(0x0102030405060708), T::LargeInt, BytesOf({8, 7, 6, 5, 4, 3, 2, 1})},
      {LargeIntValue(-2), T::LargeInt, BytesOf({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
      {ByteValue(200), T::Byte, BytesOf({0xC8})},
      {WordValue(0xABCD), T::Word, BytesOf({0xCD, 0xAB})},
      {CardinalValue(0xFFFFFFFF), T::Cardinal, BytesOf({0xFF, 0xFF, 0xFF, 0xFF})},
      {SingleValue(1.5f), T::Single, BytesOf({0, 0, 0xC0, 0x3F})},
      {FloatValue(1.5), T::Float, BytesOf({0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
      {ExtendedValue(TZDBExtended::FromDouble(1.0)), T::Extended, BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})},
      {dayZero, T::Date, BytesOf({0x5A, 0x95, 0x0A, 0})},  // DayNumber 693594
      {noon, T::Time, BytesOf({0x00, 0x2E, 0x93, 0x02})},  // 43200000 ms
      {timestamp, T::DateTime, BytesOf({0x4A, 0x46, 0x0B, 0, 0xB0, 0x15, 0x38, 0x02})},
      {LogicalValue(true), T::Logical, BytesOf({0xFF, 0xFF})},
      {LogicalValue(false), T::Logical, BytesOf({0, 0})},
      {CurrencyValue(1.5), T::Currency, BytesOf({0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
      {TextRaw(T::Memo, "abc"), T::Memo, BytesOf({0x61, 0x62, 0x63})},
      {RawValue(T::Blob, BytesOf({0, 1, 2})), T::Blob, BytesOf({0, 1, 2})},
      {RawValue(T::WideMemo, BytesOf({0x61, 0})), T::WideMemo, BytesOf({0x61, 0})},
      {RawValue(T::Bytes, BytesOf({9, 0, 9})), T::Bytes, BytesOf({9, 0, 9})},
      {RawValue(T::VarBytes, BytesOf({7})), T::VarBytes, BytesOf({7})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StorageTypeName(c.type));
    EXPECT_EQ(c.value.DataType(), c.type);
    EXPECT_FALSE(c.value.IsNull());
    EXPECT_EQ(BytesOf(c.value), c.bytes);
  }
  // Each later day is one more.
  TZDBVariant nextDay;
  nextDay.SetAsDate(1.0);
  EXPECT_EQ(nextDay.AsDateDayNumber(), DateTimeNumberBaseDay + 1);
  EXPECT_DOUBLE_EQ(timestamp.AsDateTime(), DayNumberToDateTime(Jan5th2024) + TenTwentyThirty / 86400000.0);
  EXPECT_DOUBLE_EQ(noon.AsTime(), 0.5);
}

TEST_F(Variant, SettersKeepATypedValuesType) {
  TZDBVariant value(T::Float);
  value.SetAsInteger(5);
  EXPECT_EQ(value.DataType(), T::Float);
  EXPECT_EQ(BytesOf(value), BytesOf(FloatValue(5.0)));

  TZDBVariant text(T::String);
  text.SetAsInteger(42);
  EXPECT_EQ(text.AsString(), "42");

  // The float literal reads with '.' in any locale.
  TZDBVariant fromText(T::Float);
  fromText.SetAsString("1.5");
  EXPECT_EQ(fromText.AsDouble(), 1.5);

  // A failed conversion leaves the previous value.
  TZDBVariant integer = IntegerValue(7);
  EXPECT_EQ(ErrorOf([&] { integer.SetAsString("x"); }).code, 30051);
  EXPECT_EQ(integer.AsInteger(), 7);

  // A fixed-width value of the same type is overwritten in place.
  const uint8_t* before = integer.Data();
  integer.SetAsInteger(8);
  EXPECT_EQ(integer.Data(), before);
  EXPECT_EQ(integer.AsInteger(), 8);
}

TEST_F(Variant, EmptyTextLeavesTheValueNull) {
  TZDBVariant untyped;
  untyped.SetAsString("");
  EXPECT_TRUE(untyped.IsNull());
  EXPECT_EQ(untyped.DataType(), T::String);

  TZDBVariant integer = IntegerValue(7);
  integer.SetAsString("");
  EXPECT_TRUE(integer.IsNull());
  EXPECT_EQ(integer.DataType(), T::Integer);

  TZDBVariant wide;
  wide.SetAsWideString(u"");
  EXPECT_TRUE(wide.IsNull());
  EXPECT_EQ(wide.DataType(), T::WideString);
}

TEST_F(Variant, GetBufferCopiesOnlyRealValues) {
  uint8_t buffer[8] = {};
  const TZDBVariant one = StringValue("a");
  EXPECT_TRUE(one.GetBuffer(buffer, -1));
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[1], 0);
  EXPECT_TRUE(one.GetBuffer(buffer, 2));
  EXPECT_FALSE(TZDBVariant(T::Integer).GetBuffer(buffer, -1));
  // An empty string of size 1 counts as no value.
  EXPECT_FALSE(RawValue(T::String, BytesOf({0})).GetBuffer(buffer, -1));
  const RaisedError error = ErrorOf([&] { IntegerValue(1).GetBuffer(buffer, 3); });
  EXPECT_EQ(error.code, 20056);
  EXPECT_EQ(error.message, "Buffer size exceeded");
}

TEST_F(Variant, NullReadsAsErrorExceptAsText) {
  TZDBVariant null(T::Integer);
  const RaisedError error = ErrorOf([&] { (void)null.AsInteger(); });
  EXPECT_EQ(error.code, 30016);
  EXPECT_EQ(error.message, "Value is Null");
  EXPECT_EQ(ErrorOf([&] { (void)null.AsDate(); }).code, 30016);
  EXPECT_EQ(null.AsString(), "");
  EXPECT_EQ(null.AsWideString(), u"");

  // MarkNull keeps bytes, size and type.
  TZDBVariant marked = IntegerValue(9);
  marked.MarkNull();
  EXPECT_TRUE(marked.IsNull());
  EXPECT_EQ(marked.DataType(), T::Integer);
  EXPECT_EQ(marked.DataSize(), 4);
}

TEST_F(Variant, BorrowsOrCopiesBytes) {
  uint8_t external[4] = {1, 0, 0, 0};
  TZDBVariant borrowed;
  borrowed.SetBuffer(external, 4, false, T::Integer);
  EXPECT_TRUE(borrowed.Borrowed());
  EXPECT_EQ(borrowed.Data(), external);
  EXPECT_EQ(borrowed.AsInteger(), 1);
  // Setting a new value never writes into borrowed bytes.
  borrowed.SetAsInteger(2);
  EXPECT_FALSE(borrowed.Borrowed());
  EXPECT_EQ(external[0], 1);
  EXPECT_EQ(borrowed.AsInteger(), 2);

  const TZDBVariant source = StringValue("abc");
  TZDBVariant view, copy;
  view.Assign(source, false);
  copy.Assign(source, true);
  EXPECT_EQ(view.Data(), source.Data());
  EXPECT_TRUE(view.Borrowed());
  EXPECT_NE(copy.Data(), source.Data());
  EXPECT_FALSE(copy.Borrowed());
  EXPECT_EQ(copy.AsString(), "abc");
  // A copy of a borrowing value owns its bytes.
  const TZDBVariant copied = view;
  EXPECT_FALSE(copied.Borrowed());
  EXPECT_EQ(copied.AsString(), "abc");
}

TEST_F(Variant, StringLengthCountsCharacters) {
  EXPECT_EQ(StringValue("abc").StringLength(), 3);
  EXPECT_EQ(WideStringValue(u"ab").StringLength(), 2);
  EXPECT_EQ(Cast(StringValue("abcd"), T::Char).StringLength(), 4);
  EXPECT_EQ(IntegerValue(1).StringLength(), -1);
  EXPECT_EQ(TZDBVariant(T::String).StringLength(), -1);
}

TEST_F(Variant, CastsFollowTheConversionRules) {
  struct Case {
    const char* what;
    TZDBVariant source;
    T target;
    TZDBVariant expected;
  };
  const Case cases[] = {
      // From text.
      {"text to integer", StringValue(" 123 "), T::Integer, IntegerValue(123)},
      {"narrowing keeps low bytes", StringValue("300"), T::ShortInt, ShortIntValue(44)},
      {"64-bit text", StringValue("-9000000000"), T::LargeInt, LargeIntValue(-9000000000)},
      {"whole cardinal range", StringValue("4294967295"), T::Cardinal, CardinalValue(0xFFFFFFFF)},
      {"float literal", StringValue("1.5"), T::Float, FloatValue(1.5)},
      {"float to single", StringValue("-2.25e1"), T::Single, SingleValue(-22.5f)},
      {"float to extended", StringValue("0.5"), T::Extended, ExtendedValue(TZDBExtended::FromDouble(0.5))},
      {"fixed date-time", StringValue("2024-01-05 10:20:30"), T::DateTime, DateTimeValue(Jan5th2024, TenTwentyThirty)},
      {"fixed date as date-time", StringValue("2024-01-05"), T::DateTime, DateTimeValue(Jan5th2024, 0)},
      {"fixed date-time as date", StringValue("2024-01-05 10:20:30"), T::Date, DateValue(Jan5th2024)},
      {"fixed time", StringValue("10:20:30"), T::Time, TimeValue(TenTwentyThirty)},
      {"locale date", StringValue("5/1/2024"), T::Date, DateValue(Jan5th2024)},
      {"locale date from wide", WideStringValue(u"5/1/2024"), T::Date, DateValue(Jan5th2024)},
      {"locale date-time from memo", TextRaw(T::Memo, "5/1/2024 10:20:30"), T::DateTime,
       DateTimeValue(Jan5th2024, TenTwentyThirty)},
      {"true", StringValue("true"), T::Logical, LogicalValue(true)},
      {"1", StringValue("1"), T::Logical, LogicalValue(true)},
      {"anything else", StringValue("yes"), T::Logical, LogicalValue(false)},
      {"currency", StringValue("1,5"), T::Currency, CurrencyValue(1.5)},
      {"text to blob", StringValue("ab"), T::Blob, RawValue(T::Blob, BytesOf({0x61, 0x62, 0}))},
      {"wide to blob", WideStringValue(u"a"), T::Blob, RawValue(T::Blob, BytesOf({0x61, 0, 0, 0}))},
      {"ansi to wide", StringValue("a\x80"), T::WideString, WideStringValue(u"a\u20AC")},
      {"wide to ansi", WideStringValue(u"a\u20AC\u0101"), T::String, StringValue("a\x80?")},
      {"memo to wide char", TextRaw(T::Memo, "abc"), T::WideChar, Cast(StringValue("abc"), T::WideChar)},
      {"memo to string", TextRaw(T::Memo, "abc"), T::String, StringValue("abc")},
      {"wide memo to string", RawValue(T::WideMemo, BytesOf({0x61, 0, 0x62, 0})), T::String, StringValue("ab")},
      // From integers.
      {"integer text", IntegerValue(-5), T::String, StringValue("-5")},
      {"integer wide text", IntegerValue(-5), T::WideString, WideStringValue(u"-5")},
      {"low byte", IntegerValue(-5), T::Byte, ByteValue(251)},
      {"integer to single", IntegerValue(3), T::Single, SingleValue(3.0f)},
      {"int64 exactly to extended", LargeIntValue((int64_t{1} << 53) + 1), T::Extended,
       ExtendedValue(TZDBExtended::FromInt64((int64_t{1} << 53) + 1))},
      {"integer is the day", IntegerValue(Jan5th2024), T::Date, DateValue(Jan5th2024)},
      {"integer is the time", IntegerValue(1000), T::Time, TimeValue(1000)},
      {"integer is the date part", IntegerValue(7), T::DateTime, DateTimeValue(7, 0)},
      {"integer truth", ByteValue(2), T::Logical, LogicalValue(true)},
      {"integer currency", CardinalValue(4000000000U), T::Currency, CurrencyValue(4e9)},
      // From floats and currency.
      {"truncation", FloatValue(2.75), T::Integer, IntegerValue(2)},
      {"toward zero", FloatValue(-2.75), T::Integer, IntegerValue(-2)},
      {"then narrowing", FloatValue(300.5), T::ShortInt, ShortIntValue(44)},
      {"float text", FloatValue(2.75), T::String, StringValue("2,75")},
      {"float day", FloatValue(2.9), T::Date, DateValue(2)},
      {"float time", FloatValue(86400001.0), T::Time, TimeValue(1)},
      {"float date-time", FloatValue(1.5), T::DateTime, DateTimeValue(1, 43200000)},
      {"float truth", FloatValue(-0.1), T::Logical, LogicalValue(true)},
      {"single widened", SingleValue(0.1f), T::Float, FloatValue(static_cast<double>(0.1f))},
      {"currency text", CurrencyValue(1234.56789), T::String, StringValue("1234,5679")},
      {"currency truncated", CurrencyValue(-1234.9), T::SmallInt, SmallIntValue(-1234)},
      {"currency to single", CurrencyValue(0.5), T::Single, SingleValue(0.5f)},
      {"extended to float", ExtendedValue(TZDBExtended(0x8000000000000401, 0x3FFF)), T::Float,
       FloatValue(1.0000000000000002)},
      // From dates and times.
      {"date text", DateValue(Jan5th2024), T::String, StringValue("5/1/2024")},
      {"empty date text", DateValue(EmptyDate), T::String, RawValue(T::String, BytesOf({0}))},
      {"date number", DateValue(Jan5th2024), T::Float, FloatValue(Jan5th2024)},
      {"date to time", DateValue(Jan5th2024), T::Time, TimeValue(Jan5th2024)},
      {"date to date-time", DateValue(Jan5th2024), T::DateTime, DateTimeValue(Jan5th2024, 0)},
      {"empty date is false", DateValue(EmptyDate), T::Logical, LogicalValue(false)},
      {"time text", TimeValue(TenTwentyThirty), T::String, StringValue("10:20:30")},
      {"time to date", TimeValue(5), T::Date, DateValue(5)},
      {"time to date-time", TimeValue(5), T::DateTime, DateTimeValue(EmptyDate, 5)},
      {"midnight is false", TimeValue(0), T::Logical, LogicalValue(false)},
      {"date-time text", DateTimeValue(Jan5th2024, TenTwentyThirty), T::String, StringValue("5/1/2024 10:20:30")},
      {"date-time day", DateTimeValue(Jan5th2024, TenTwentyThirty), T::Integer, IntegerValue(Jan5th2024)},
      {"date-time time", DateTimeValue(Jan5th2024, TenTwentyThirty), T::Time, TimeValue(TenTwentyThirty)},
      {"date-time number", DateTimeValue(Jan5th2024, 43200000), T::Float, FloatValue(Jan5th2024 + 0.5)},
      {"time-only date-time number", DateTimeValue(EmptyDate, 43200000), T::Float, FloatValue(0.5)},
      {"empty date-time is false", DateTimeValue(EmptyDate, 0), T::Logical, LogicalValue(false)},
      // From LOGICAL.
      {"true text", LogicalValue(true), T::String, StringValue("True")},
      {"false text", LogicalValue(false), T::String, StringValue("False")},
      {"true is 1", LogicalValue(true), T::Integer, IntegerValue(1)},
      {"true is 1.0", LogicalValue(true), T::Float, FloatValue(1.0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TZDBVariant value = c.source;
    value.CastTo(c.target);
    EXPECT_EQ(value.DataType(), c.target);
    EXPECT_FALSE(value.IsNull());
    EXPECT_EQ(BytesOf(value), BytesOf(c.expected));
  }
}

TEST_F(Variant, CastFailuresNameBothTypes) {
  struct Case {
    TZDBVariant source;
    T target;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {StringValue("x"), T::Integer, 30051, "Cannot cast from 'STRING' to 'INTEGER'"},
      {StringValue("2147483648"), T::Integer, 30051, "Cannot cast from 'STRING' to 'INTEGER'"},
      {StringValue("1,5"), T::Float, 30051, "Cannot cast from 'STRING' to 'FLOAT'"},
      {StringValue("1.5"), T::Currency, 30051, "Cannot cast from 'STRING' to 'CURRENCY'"},  // Spanish ','
      {StringValue("2024-1-5"), T::Date, 30051, "Cannot cast from 'STRING' to 'DATE'"},
      {WideStringValue(u"2024-01-05"), T::Date, 30051, "Cannot cast from 'WIDESTRING' to 'DATE'"},
      {FloatValue(1e300), T::Single, 30051, "Cannot cast from 'FLOAT' to 'SINGLE'"},
      {FloatValue(1e20), T::Integer, 30051, "Cannot cast from 'FLOAT' to 'INTEGER'"},
      {FloatValue(NAN), T::LargeInt, 30051, "Cannot cast from 'FLOAT' to 'LARGEINT'"},
      {ExtendedValue(TZDBExtended(0x8000000000000000, 0x7FFE)), T::Float, 30051,
       "Cannot cast from 'EXTENDED' to 'FLOAT'"},
      {IntegerValue(1), T::Memo, 30052, "Cannot cast from 'INTEGER' to 'MEMO'"},
      {StringValue("a"), T::WideMemo, 30052, "Cannot cast from 'STRING' to 'WIDEMEMO'"},
      {IntegerValue(1), T::Blob, 30052, "Cannot cast from 'INTEGER' to 'BLOB'"},
      {StringValue("a"), T::Bytes, 30052, "Cannot cast from 'STRING' to 'BYTES'"},
      {RawValue(T::Blob, BytesOf({1})), T::String, 30052, "Cannot cast from 'BLOB' to 'STRING'"},
      {RawValue(T::Bytes, BytesOf({1})), T::String, 30052, "Cannot cast from 'BYTES' to 'STRING'"},
      {RawValue(T::VarBytes, BytesOf({1})), T::Integer, 30052, "Cannot cast from 'VARBYTES' to 'INTEGER'"},
      {LogicalValue(true), T::Date, 30052, "Cannot cast from 'LOGICAL' to 'DATE'"},
      {LogicalValue(true), T::Currency, 30052, "Cannot cast from 'LOGICAL' to 'CURRENCY'"},
      {CurrencyValue(1), T::Date, 30052, "Cannot cast from 'CURRENCY' to 'DATE'"},
      {DateTimeValue(1, 0), T::Single, 30052, "Cannot cast from 'DATETIME' to 'SINGLE'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TZDBVariant value = c.source;
    const Bytes before = BytesOf(value);
    const RaisedError error = ErrorOf([&] { value.CastTo(c.target); });
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(value.DataType(), c.source.DataType());
    EXPECT_EQ(BytesOf(value), before);

    // ChangeType swallows the failure and leaves a NULL of the new type.
    value.ChangeType(c.target);
    EXPECT_TRUE(value.IsNull());
    EXPECT_EQ(value.DataType(), c.target);
  }
}

TEST_F(Variant, FixedFormsComeBeforeTheLocale) {
  // Not the fixed form, but the Swedish short date.
  SetDefaultLocale("sv_SE");
  EXPECT_EQ(Cast(StringValue("2024-1-5"), T::Date).AsDateDayNumber(), Jan5th2024);
  // The fixed form whatever the locale's order.
  SetDefaultLocale("en_US");
  EXPECT_EQ(Cast(StringValue("2024-01-05"), T::Date).AsDateDayNumber(), Jan5th2024);
  EXPECT_EQ(Cast(StringValue("1/5/2024"), T::Date).AsDateDayNumber(), Jan5th2024);
  EXPECT_EQ(Cast(StringValue("1.5"), T::Currency).AsCurrency(), 1.5);

  TZDBVariant date;
  const RaisedError error = ErrorOf([&] { date.SetAsDate(NAN); });
  EXPECT_EQ(error.code, 30051);
  EXPECT_EQ(error.message, "Cannot cast from 'FLOAT' to 'DATE'");
}

TEST_F(Variant, CastingNullOnlyRetypes) {
  TZDBVariant value(T::Float);
  value.CastTo(T::String);
  EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(value.DataType(), T::String);
  value.ChangeType(T::Integer);
  EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(value.DataType(), T::Integer);
}

TEST_F(Variant, AsBlobDropsTheTerminator) {
  EXPECT_EQ(Cast(StringValue("ab"), T::Blob).AsBlob(), "ab");
  EXPECT_EQ(StringValue("ab").AsBlob(), "ab");
  EXPECT_EQ(RawValue(T::Blob, BytesOf({'x'})).AsBlob(), "");
}

TEST_F(Variant, ExchangesPlatformVariants) {
  struct Get {
    TZDBVariant value;
    TVarType type;
    int64_t integer;
    double real;
  };
  const Get gets[] = {
      {ShortIntValue(-3), TVarType::ShortInt, -3, 0},
      {SmallIntValue(-300), TVarType::SmallInt, -300, 0},
      {IntegerValue(70000), TVarType::Integer, 70000, 0},
      {LargeIntValue(-9000000000), TVarType::Int64, -9000000000, 0},
      {ByteValue(200), TVarType::Byte, 200, 0},
      {WordValue(60000), TVarType::Word, 60000, 0},
      {CardinalValue(4000000000U), TVarType::LongWord, 4000000000, 0},
      {SingleValue(1.5f), TVarType::Double, 0, 1.5},
      {ExtendedValue(TZDBExtended::FromDouble(-2.5)), TVarType::Double, 0, -2.5},
      {CurrencyValue(3.25), TVarType::Double, 0, 3.25},
      {DateValue(DateTimeNumberBaseDay + 2), TVarType::Date, 0, 2.0},
      {TimeValue(43200000), TVarType::Date, 0, 0.5},
      {DateTimeValue(DateTimeNumberBaseDay + 2, 43200000), TVarType::Date, 0, 2.5},
      {LogicalValue(true), TVarType::Boolean, 1, 0},
  };
  for (const auto& g : gets) {
    SCOPED_TRACE(StorageTypeName(g.value.DataType()));
    const PlatformVariant v = g.value.AsVariant();
    EXPECT_EQ(v.Type(), g.type);
    EXPECT_EQ(v.AsInt64(), g.integer);
    EXPECT_EQ(v.AsDouble(), g.real);
  }
  EXPECT_EQ(StringValue("ab").AsVariant().AsAnsiText(), "ab");
  EXPECT_EQ(WideStringValue(u"ab").AsVariant().AsWideText(), u"ab");
  EXPECT_EQ(Cast(StringValue("ab"), T::Blob).AsVariant().AsAnsiText(), "ab");
  EXPECT_EQ(TZDBVariant(T::Integer).AsVariant().Type(), TVarType::Null);
  for (const auto& [value, message] : {std::pair{TextRaw(T::Memo, "a"), "Unsupported Variant Type MEMO"},
                                       std::pair{RawValue(T::Bytes, BytesOf({1})), "Unsupported Variant Type BYTES"}}) {
    const RaisedError error = ErrorOf([&] { (void)value.AsVariant(); });
    EXPECT_EQ(error.code, 30114);
    EXPECT_EQ(error.message, message);
  }

  struct Set {
    PlatformVariant variant;
    TZDBVariant expected;
  };
  const Set sets[] = {
      {PlatformVariant::Integral(TVarType::SmallInt, -2), SmallIntValue(-2)},
      {PlatformVariant::Integral(TVarType::Integer, 7), IntegerValue(7)},
      {PlatformVariant::Real(TVarType::Single, 1.5), SingleValue(1.5f)},
      {PlatformVariant::Real(TVarType::Double, 1.5), FloatValue(1.5)},
      {PlatformVariant::Real(TVarType::Currency, 1.5), CurrencyValue(1.5)},
      {PlatformVariant::Real(TVarType::Date, 2.5), DateTimeValue(DateTimeNumberBaseDay + 2, 43200000)},
      {PlatformVariant::WideText(u"x"), WideStringValue(u"x")},
      {PlatformVariant::Boolean(true), LogicalValue(true)},
      {PlatformVariant::Integral(TVarType::ShortInt, -1), ShortIntValue(-1)},
      {PlatformVariant::Integral(TVarType::Byte, 255), ByteValue(255)},
      {PlatformVariant::Integral(TVarType::Word, 65535), WordValue(65535)},
      {PlatformVariant::Integral(TVarType::LongWord, 4000000000), CardinalValue(4000000000U)},
      {PlatformVariant::Integral(TVarType::Int64, -9000000000), LargeIntValue(-9000000000)},
      {PlatformVariant::AnsiText("x"), StringValue("x")},
  };
  for (const auto& s : sets) {
    TZDBVariant value;
    value.SetAsVariant(s.variant);
    EXPECT_EQ(value.DataType(), s.expected.DataType());
    EXPECT_EQ(BytesOf(value), BytesOf(s.expected));
  }
  // A typed value converts what it is given; Empty and Null only mark it NULL.
  TZDBVariant typed(T::Float);
  typed.SetAsVariant(PlatformVariant::Integral(TVarType::Integer, 5));
  EXPECT_EQ(typed.AsDouble(), 5.0);
  typed.SetAsVariant(PlatformVariant());
  EXPECT_TRUE(typed.IsNull());
  EXPECT_EQ(typed.DataType(), T::Float);
  for (const auto& [kind, message] : {std::pair{TVarType::Dispatch, "Unsupported Variant Type 9"},
                                      std::pair{TVarType::UInt64, "Unsupported Variant Type 21"}}) {
    const RaisedError error = ErrorOf([&] { typed.SetAsVariant(PlatformVariant(kind)); });
    EXPECT_EQ(error.code, 30113);
    EXPECT_EQ(error.message, message);
  }
}

// A memory stream that refuses to grow beyond a limit, to see each write fail.
class FullStream : public TZDBMemoryStream {
 public:
  explicit FullStream(int64_t limit) : limit_(limit) {}
  int64_t Write(const void* buffer, int64_t count) override {
    return TZDBMemoryStream::Write(buffer, std::min(count, std::max<int64_t>(0, limit_ - Position())));
  }

 private:
  int64_t limit_;
};

Bytes Saved(const TZDBVariant& value) {
  TZDBMemoryStream stream;
  value.SaveToStream(stream);
  return Bytes(stream.Memory(), stream.Memory() + stream.Size());
}

TEST_F(Variant, StreamFormRoundTrips) {
  EXPECT_EQ(Saved(TZDBVariant(T::Integer)), BytesOf({0x07, 0xFF}));
  EXPECT_EQ(Saved(IntegerValue(1)), BytesOf({0x07, 0x00, 0x04, 0, 0, 0, 0x01, 0, 0, 0}));
  EXPECT_EQ(Saved(TZDBVariant()), BytesOf({0x00, 0xFF}));
  EXPECT_EQ(Saved(StringValue("ab")), BytesOf({0x03, 0x00, 0x03, 0, 0, 0, 0x61, 0x62, 0}));
  TZDBVariant marked = IntegerValue(1);
  marked.MarkNull();
  EXPECT_EQ(Saved(marked), BytesOf({0x07, 0xFF}));

  for (const TZDBVariant& original : {IntegerValue(-1), StringValue("ab"), TZDBVariant(T::Date), TZDBVariant(),
                                      RawValue(T::Blob, BytesOf({0, 1, 2})), DateTimeValue(Jan5th2024, 1)}) {
    const Bytes image = Saved(original);
    TZDBMemoryStream stream(image);
    TZDBVariant loaded = StringValue("previous");
    loaded.LoadFromStream(stream);
    EXPECT_EQ(loaded.DataType(), original.DataType());
    EXPECT_EQ(loaded.IsNull(), original.IsNull());
    EXPECT_EQ(BytesOf(loaded), BytesOf(original));
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(image.size()));
  }
}

TEST_F(Variant, StreamFailuresCarryTheirStepsCode) {
  const Bytes image = Saved(IntegerValue(1));  // 10 bytes: type, flag, size, data
  struct Read {
    size_t available;
    int32_t code;
  };
  for (const auto& r : {Read{0, 10183}, Read{1, 10184}, Read{4, 10185}, Read{8, 10186}}) {
    TZDBMemoryStream stream(Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(r.available)));
    TZDBVariant value = IntegerValue(5);
    EXPECT_EQ(ErrorOf([&] { value.LoadFromStream(stream); }).code, r.code) << r.available;
    EXPECT_TRUE(value.IsNull());  // loading started from SetNull
  }
  // A damaged size fails like a short read instead of allocating what it claims.
  for (const Bytes& damaged : {BytesOf({0x07, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1}), BytesOf({0x07, 0, 0xFE, 0xFF, 0xFF, 0xFF})}) {
    TZDBMemoryStream stream(damaged);
    TZDBVariant value;
    const RaisedError error = ErrorOf([&] { value.LoadFromStream(stream); });
    EXPECT_EQ(error.code, 10186);
    EXPECT_EQ(error.message.rfind("Cannot read from stream. Position = 6, Stream size = ", 0), 0u) << error.message;
  }

  struct Write {
    int64_t limit;
    int32_t code;
  };
  for (const auto& w : {Write{0, 10179}, Write{1, 10180}, Write{5, 10181}, Write{9, 10182}}) {
    FullStream stream(w.limit);
    const RaisedError error = ErrorOf([&] { IntegerValue(1).SaveToStream(stream); });
    EXPECT_EQ(error.code, w.code) << w.limit;
    EXPECT_EQ(error.message.rfind("Cannot write to stream. Position = ", 0), 0u) << error.message;
  }
}

}  // namespace
}  // namespace zdb
