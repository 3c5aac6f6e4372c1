// The arithmetic of TZDBVariant: Negate, Add, Multiply, Divide.
#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBValueCompare.h"
#include "engine/base/ZDBValueConvert.h"
#include "engine/base/ZDBValueView.h"
#include "engine/base/ZDBVariant.h"

namespace zdb {
namespace {

using T = TZDBStorageType;
using Bytes = std::vector<uint8_t>;

// The platform's texts for the faults of a division.
constexpr const char* DivisionByZero = "Division by zero";
constexpr const char* IntegerOverflow = "Integer overflow";
constexpr const char* FloatDivisionByZero = "Floating point division by zero";
constexpr const char* InvalidFloatOperation = "Invalid floating point operation";

[[noreturn]] void RaiseDivisionError(const char* platformMessage) {
  RaiseError(errors::DivisionFailed, {platformMessage});
}

[[noreturn]] void RaiseIntegerOverflow() { throw std::overflow_error(IntegerOverflow); }

bool IsArithmeticType(T type) {
  return IsStringType(type) || IsIntegerType(type) || IsFloatType(type) || IsDateTimeType(type) ||
         type == T::Logical || type == T::Currency;
}

int64_t IntegerOf(const TZDBValueView& v, T type) {
  switch (type) {
    case T::ShortInt:
      return v.ShortInt();
    case T::SmallInt:
      return v.SmallInt();
    case T::LargeInt:
      return v.LargeInt();
    case T::Byte:
      return v.Byte();
    case T::Word:
      return v.Word();
    case T::Cardinal:
      return v.Cardinal();
    default:  // INTEGER, DATE, TIME
      return v.Integer();
  }
}

// The low-order bytes of the type's width.
Bytes IntegerBytes(int64_t value, T type) {
  Bytes bytes(static_cast<size_t>(FixedValueSize(type)));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  return bytes;
}

Bytes DoubleBytes(double value) {
  Bytes bytes(8);
  le::PutDouble(bytes.data(), value);
  return bytes;
}

// Sums and products wrap like the machine's; quotients truncate toward zero.
int64_t IntegerResult(char symbol, int64_t a, int64_t b, T type) {
  switch (symbol) {
    case '+':
      return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
    case '*':
      return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
    default: {
      if (b == 0) RaiseDivisionError(DivisionByZero);
      const bool wide = type == T::LargeInt;
      const bool thirtyTwoBit = type == T::Integer || type == T::Date || type == T::Time;
      if (b == -1 && ((wide && a == INT64_MIN) || (thirtyTwoBit && a == INT32_MIN))) RaiseDivisionError(IntegerOverflow);
      return a / b;
    }
  }
}

template <typename F>
F FloatResult(char symbol, F a, F b) {
  switch (symbol) {
    case '+':
      return a + b;
    case '*':
      return a * b;
    default:
      if (b == 0) RaiseDivisionError(a == 0 || std::isnan(a) ? InvalidFloatOperation : FloatDivisionByZero);
      return a / b;
  }
}

Bytes DateTimeResult(char symbol, const TZDBTimeStamp& a, const TZDBTimeStamp& b) {
  int64_t days = 0;
  int64_t milliseconds = 0;
  switch (symbol) {
    case '+':
      days = static_cast<int64_t>(a.Date) + b.Date;
      milliseconds = static_cast<int64_t>(a.Time) + b.Time;
      break;
    case '*':
      days = static_cast<int64_t>(a.Date) * b.Date;
      milliseconds = static_cast<int64_t>(a.Time) * b.Time;
      break;
    default:
      if (b.Date == 0 || b.Time == 0) RaiseDivisionError(DivisionByZero);
      days = static_cast<int64_t>(a.Date) / b.Date;
      milliseconds = static_cast<int64_t>(a.Time) / b.Time;
      break;
  }
  if (milliseconds >= MillisecondsPerDay) {
    days += milliseconds / MillisecondsPerDay;
    milliseconds %= MillisecondsPerDay;
  }
  Bytes bytes(8);
  le::PutU32(bytes.data(), static_cast<uint32_t>(days));
  le::PutU32(bytes.data() + 4, static_cast<uint32_t>(milliseconds));
  return bytes;
}

Bytes Result(char symbol, T type, const TZDBValueView& a, const TZDBValueView& b) {
  if (IsWideStringType(type)) {
    const std::u16string text = a.WideText() + b.WideText();
    Bytes bytes((text.size() + 1) * 2, 0);
    for (size_t i = 0; i < text.size(); ++i) le::PutU16(bytes.data() + 2 * i, text[i]);
    return bytes;
  }
  if (IsStringType(type)) {
    std::string text(a.AnsiText());
    text += b.AnsiText();
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
  }
  if (IsIntegerType(type) || type == T::Date || type == T::Time)
    return IntegerBytes(IntegerResult(symbol, IntegerOf(a, type), IntegerOf(b, type), type), type);
  switch (type) {
    case T::Single: {
      Bytes bytes(4);
      le::PutU32(bytes.data(), std::bit_cast<uint32_t>(FloatResult(symbol, a.Single(), b.Single())));
      return bytes;
    }
    case T::Float:
    case T::Currency:
      return DoubleBytes(FloatResult(symbol, a.Float(), b.Float()));
    case T::Extended: {
      // Computed in double precision; the result is stored exactly as that double.
      Bytes bytes(TZDBExtended::ByteSize);
      TZDBExtended::FromDouble(FloatResult(symbol, a.Extended().ToDouble(), b.Extended().ToDouble()))
          .ToBytes(bytes.data());
      return bytes;
    }
    case T::DateTime:
      return DateTimeResult(symbol, a.TimeStamp(), b.TimeStamp());
    default: {  // LOGICAL: true if either is true, whatever the operator
      Bytes bytes(2);
      le::PutI16(bytes.data(), a.Logical() || b.Logical() ? -1 : 0);
      return bytes;
    }
  }
}

[[noreturn]] void RaiseNotNumeric(char symbol) {
  const TZDBError& error =
      symbol == '+' ? errors::AddNotNumeric : (symbol == '*' ? errors::MultiplyNotNumeric : errors::DivideNotNumeric);
  RaiseError(error, {std::string(1, symbol)});
}

}  // namespace

void TZDBVariant::Add(const TZDBVariant& other) { ApplyOperator(other, '+'); }
void TZDBVariant::Multiply(const TZDBVariant& other) { ApplyOperator(other, '*'); }
void TZDBVariant::Divide(const TZDBVariant& other) { ApplyOperator(other, '/'); }

void TZDBVariant::ApplyOperator(const TZDBVariant& other, char symbol) {
  if (symbol == '+') {
    if (other.IsNull()) {
      if (!IsTextType(type_)) SetNull(type_);
      return;
    }
    if (IsNull()) {
      if (IsTextType(type_)) Assign(other, true);
      return;
    }
  } else {
    if (other.IsNull()) {
      SetNull(type_);
      return;
    }
    if (IsNull()) return;
  }

  const T common = CommonType(type_, other.type_, false);
  if (!IsArithmeticType(common) || (IsStringType(common) && symbol != '+')) RaiseNotNumeric(symbol);
  // Copy the other operand first: it may be this very value.
  const Bytes operand = other.type_ == common ? Bytes(other.data_, other.data_ + other.size_)
                                              : ConvertValue(other.data_, other.size_, other.type_, common);
  CastTo(common);
  TakeBytes(Result(symbol, common, TZDBValueView(data_, size_),
                   TZDBValueView(operand.data(), static_cast<int32_t>(operand.size()))));
}

void TZDBVariant::Negate() {
  if (IsNull()) return;
  const TZDBValueView value(data_, size_);
  switch (type_) {
    case T::ShortInt:
    case T::SmallInt:
    case T::Byte:
    case T::Word:
      TakeBytes(IntegerBytes(-IntegerOf(value, type_), type_));  // wraps to the width
      return;
    case T::Integer:
    case T::Date:
      if (value.Integer() == INT32_MIN) RaiseIntegerOverflow();
      TakeBytes(IntegerBytes(-static_cast<int64_t>(value.Integer()), type_));
      return;
    case T::LargeInt:
      if (value.LargeInt() == INT64_MIN) RaiseIntegerOverflow();
      TakeBytes(IntegerBytes(-value.LargeInt(), type_));
      return;
    case T::Cardinal:
      if (value.Cardinal() != 0) RaiseIntegerOverflow();
      return;
    case T::Single: {
      Bytes bytes(4);
      le::PutU32(bytes.data(), std::bit_cast<uint32_t>(-value.Single()));
      TakeBytes(std::move(bytes));
      return;
    }
    case T::Float:
    case T::Currency:
      TakeBytes(DoubleBytes(-value.Float()));
      return;
    case T::Extended: {
      Bytes bytes(TZDBExtended::ByteSize);
      value.Extended().Negated().ToBytes(bytes.data());
      TakeBytes(std::move(bytes));
      return;
    }
    case T::Logical: {
      Bytes bytes(2);
      le::PutI16(bytes.data(), value.Logical() ? 0 : -1);
      TakeBytes(std::move(bytes));
      return;
    }
    default:
      RaiseError(errors::NotInvertible, {StorageTypeName(type_)});
  }
}

}  // namespace zdb
