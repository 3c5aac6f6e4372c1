#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/base/ZDBVariant.h"
#include "support/ValueTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using T = TZDBStorageType;

class Arithmetic : public InLocale {};

TZDBVariant Apply(TZDBVariant self, char op, const TZDBVariant& other) {
  if (op == '+') self.Add(other);
  if (op == '*') self.Multiply(other);
  if (op == '/') self.Divide(other);
  return self;
}

TEST_F(Arithmetic, ComputesInTheCommonType) {
  struct Case {
    const char* what;
    TZDBVariant self;
    char op;
    TZDBVariant other;
    TZDBVariant expected;
  };
  const Case cases[] = {
      {"sum", IntegerValue(7), '+', IntegerValue(2), IntegerValue(9)},
      {"product", IntegerValue(7), '*', IntegerValue(-2), IntegerValue(-14)},
      {"integer division", IntegerValue(7), '/', IntegerValue(2), IntegerValue(3)},
      {"toward zero", IntegerValue(-7), '/', IntegerValue(2), IntegerValue(-3)},
      {"float quotient", IntegerValue(7), '/', FloatValue(2), FloatValue(3.5)},
      {"narrow types wrap", ShortIntValue(100), '+', ShortIntValue(100), ShortIntValue(-56)},
      {"word wraps", WordValue(65535), '+', WordValue(1), WordValue(0)},
      {"largeint wraps", LargeIntValue(INT64_MAX), '+', LargeIntValue(1), LargeIntValue(INT64_MIN)},
      {"signed with unsigned", ShortIntValue(-1), '+', WordValue(5), IntegerValue(4)},
      {"unsigned with signed", WordValue(5), '+', ShortIntValue(-1), IntegerValue(4)},
      {"cardinal with smallint", CardinalValue(5), '*', SmallIntValue(-1), LargeIntValue(-5)},
      {"single", SingleValue(1.5f), '*', SingleValue(2.0f), SingleValue(3.0f)},
      {"extended", ExtendedValue(TZDBExtended::FromDouble(1.5)), '/', IntegerValue(2),
       ExtendedValue(TZDBExtended::FromDouble(0.75))},
      {"currency", CurrencyValue(1.5), '*', IntegerValue(2), CurrencyValue(3)},
      {"float and currency", FloatValue(1), '+', CurrencyValue(0.5), CurrencyValue(1.5)},
      {"concatenation", StringValue("ab"), '+', StringValue("cd"), StringValue("abcd")},
      {"text with a number", StringValue("x"), '+', IntegerValue(5), StringValue("x5")},
      {"no date preference: text wins", DateValue(738890), '+', StringValue("x"), StringValue("5/1/2024x")},
      {"wide concatenation", StringValue("a"), '+', WideStringValue(u"\u20AC"), WideStringValue(u"a\u20AC")},
      {"date plus days", DateValue(738890), '+', IntegerValue(1), DateValue(738891)},
      {"times", TimeValue(1000), '+', TimeValue(2000), TimeValue(3000)},
      {"time quotient", TimeValue(9000), '/', TimeValue(2000), TimeValue(4)},
      {"date-time carries", DateTimeValue(1, 86399000), '+', DateTimeValue(0, 2000), DateTimeValue(2, 1000)},
      {"date-time product", DateTimeValue(2, 50000000), '*', DateTimeValue(3, 2), DateTimeValue(7, 13600000)},
      {"date-time quotient", DateTimeValue(9, 5000), '/', DateTimeValue(2, 1000), DateTimeValue(4, 5)},
      {"or", LogicalValue(false), '+', LogicalValue(true), LogicalValue(true)},
      {"or for products", LogicalValue(true), '*', LogicalValue(false), LogicalValue(true)},
      {"or for quotients", LogicalValue(false), '/', LogicalValue(false), LogicalValue(false)},
      {"logical with integer", LogicalValue(true), '+', IntegerValue(2), IntegerValue(3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TZDBVariant result = Apply(c.self, c.op, c.other);
    EXPECT_EQ(result.DataType(), c.expected.DataType());
    EXPECT_EQ(BytesOf(result), BytesOf(c.expected));
  }
  // A value may be its own operand.
  TZDBVariant self = IntegerValue(21);
  self.Add(self);
  EXPECT_EQ(self.AsInteger(), 42);
}

TEST_F(Arithmetic, NullOperands) {
  // Add: a NULL other makes a number NULL but leaves text alone.
  EXPECT_TRUE(Apply(IntegerValue(5), '+', TZDBVariant(T::Integer)).IsNull());
  EXPECT_EQ(Apply(StringValue("a"), '+', TZDBVariant(T::String)).AsString(), "a");
  // A NULL text self takes a copy of the other value; any other NULL self stays NULL.
  const TZDBVariant taken = Apply(TZDBVariant(T::String), '+', IntegerValue(5));
  EXPECT_EQ(taken.DataType(), T::Integer);
  EXPECT_EQ(taken.AsInteger(), 5);
  EXPECT_TRUE(Apply(TZDBVariant(T::Integer), '+', IntegerValue(5)).IsNull());
  // Multiply and Divide: NULL on either side gives NULL.
  for (char op : {'*', '/'}) {
    EXPECT_TRUE(Apply(IntegerValue(5), op, TZDBVariant(T::Integer)).IsNull()) << op;
    EXPECT_TRUE(Apply(TZDBVariant(T::Integer), op, IntegerValue(5)).IsNull()) << op;
    EXPECT_TRUE(Apply(StringValue("a"), op, TZDBVariant(T::String)).IsNull()) << op;
  }
}

TEST_F(Arithmetic, Failures) {
  struct Case {
    TZDBVariant self;
    char op;
    TZDBVariant other;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {StringValue("a"), '*', StringValue("b"), 30126, "Not numeric argument in numeric operator '*'"},
      {StringValue("a"), '/', IntegerValue(2), 30127, "Not numeric argument in numeric operator '/'"},
      {RawValue(T::Blob, BytesOf({1})), '+', IntegerValue(2), 30124, "Not numeric argument in numeric operator '+'"},
      {IntegerValue(1), '+', RawValue(T::Bytes, BytesOf({1})), 30124, "Not numeric argument in numeric operator '+'"},
      {IntegerValue(1), '/', IntegerValue(0), 30128, "Division error: Division by zero"},
      {IntegerValue(INT32_MIN), '/', IntegerValue(-1), 30128, "Division error: Integer overflow"},
      {LargeIntValue(INT64_MIN), '/', LargeIntValue(-1), 30128, "Division error: Integer overflow"},
      {FloatValue(1), '/', FloatValue(0), 30128, "Division error: Floating point division by zero"},
      {FloatValue(0), '/', FloatValue(0), 30128, "Division error: Invalid floating point operation"},
      {DateTimeValue(4, 5), '/', DateTimeValue(2, 0), 30128, "Division error: Division by zero"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TZDBVariant self = c.self;
    const RaisedError error = ErrorOf([&] { self = Apply(self, c.op, c.other); });
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
  }
}

TEST_F(Arithmetic, NegateInOwnType) {
  struct Case {
    TZDBVariant value;
    TZDBVariant expected;
  };
  const Case cases[] = {
      {ShortIntValue(5), ShortIntValue(-5)},
      {ShortIntValue(-128), ShortIntValue(-128)},  // wraps
      {ByteValue(5), ByteValue(251)},
      {WordValue(1), WordValue(65535)},
      {SmallIntValue(-7), SmallIntValue(7)},
      {IntegerValue(5), IntegerValue(-5)},
      {LargeIntValue(INT64_MAX), LargeIntValue(-INT64_MAX)},
      {CardinalValue(0), CardinalValue(0)},
      {DateValue(10), DateValue(-10)},
      {FloatValue(1.5), FloatValue(-1.5)},
      {SingleValue(1.5f), SingleValue(-1.5f)},
      {CurrencyValue(2), CurrencyValue(-2)},
      {ExtendedValue(TZDBExtended(0x8000000000000001, 0x3FFF)), ExtendedValue(TZDBExtended(0x8000000000000001, 0xBFFF))},
      {LogicalValue(true), LogicalValue(false)},
      {LogicalValue(false), LogicalValue(true)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StorageTypeName(c.value.DataType()));
    TZDBVariant value = c.value;
    value.Negate();
    EXPECT_EQ(BytesOf(value), BytesOf(c.expected));
  }
  TZDBVariant null(T::String);
  null.Negate();
  EXPECT_TRUE(null.IsNull());

  for (const TZDBVariant& overflowing : {CardinalValue(1), IntegerValue(INT32_MIN), LargeIntValue(INT64_MIN),
                                         DateValue(EmptyDate)}) {
    TZDBVariant value = overflowing;
    EXPECT_THROW(value.Negate(), std::overflow_error) << StorageTypeName(value.DataType());
    EXPECT_EQ(BytesOf(value), BytesOf(overflowing));
  }
  for (const auto& [value, message] :
       {std::pair{StringValue("a"), "Cannot invert value with not numeric type 'STRING'"},
        std::pair{TimeValue(1), "Cannot invert value with not numeric type 'TIME'"},
        std::pair{DateTimeValue(1, 1), "Cannot invert value with not numeric type 'DATETIME'"}}) {
    TZDBVariant copy = value;
    const RaisedError error = ErrorOf([&] { copy.Negate(); });
    EXPECT_EQ(error.code, 30123);
    EXPECT_EQ(error.message, message);
  }
}

}  // namespace
}  // namespace zdb
