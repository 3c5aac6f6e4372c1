#include "engine/base/ZDBValueConvert.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "engine/base/ZDBAnsiText.h"
#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBExtended.h"
#include "engine/base/ZDBLocale.h"
#include "engine/base/ZDBValueText.h"
#include "engine/base/ZDBValueView.h"

namespace zdb {
namespace {

using T = TZDBStorageType;

// One conversion: raises the right error for the pair.
class Conversion {
 public:
  Conversion(TZDBValueView source, T sourceType, T targetType)
      : source_(source), sourceType_(sourceType), targetType_(targetType) {}

  TZDBValueBytes Run();

 private:
  [[noreturn]] void Unsupported() const {
    RaiseError(errors::CastUnsupported, {StorageTypeName(sourceType_), StorageTypeName(targetType_)});
  }
  [[noreturn]] void Failed() const {
    RaiseError(errors::CastFailed, {StorageTypeName(sourceType_), StorageTypeName(targetType_)});
  }

  TZDBValueBytes FromText();
  TZDBValueBytes FromInteger(int64_t value);
  TZDBValueBytes FromFloat(const TZDBExtended& value);
  TZDBValueBytes FromCurrency(double value);
  TZDBValueBytes FromDate(int32_t dayNumber);
  TZDBValueBytes FromTime(int32_t milliseconds);
  TZDBValueBytes FromDateTime(const TZDBTimeStamp& stamp);
  TZDBValueBytes FromLogical(bool value);

  // Writers of the target type.
  TZDBValueBytes Text(const std::string& ansi) const;
  TZDBValueBytes WideText(const std::u16string& wide) const;
  TZDBValueBytes Integer(int64_t value) const;  // narrowing keeps the low-order bytes
  TZDBValueBytes Float(const TZDBExtended& value) const;
  TZDBValueBytes Double(double value) const { return Float(TZDBExtended::FromDouble(value)); }
  TZDBValueBytes Int32(int32_t value) const;
  TZDBValueBytes Stamp(const TZDBTimeStamp& stamp) const;
  TZDBValueBytes Logical(bool value) const;
  // Text of the target's width: Windows-1252 for CHAR and STRING, UTF-16 for the wide.
  TZDBValueBytes AnyText(const std::string& ansi) const {
    return IsWideStringType(targetType_) ? WideText(AnsiToWide(ansi)) : Text(ansi);
  }
  int64_t Truncated(const TZDBExtended& value) const {
    int64_t whole = 0;
    if (!value.ToInt64(whole)) Failed();
    return whole;
  }

  TZDBValueView source_;
  T sourceType_;
  T targetType_;
};

TZDBValueBytes AnsiBytes(const std::string& ansi) {
  TZDBValueBytes bytes(ansi.size() + 1, 0);
  std::memcpy(bytes.data(), ansi.data(), ansi.size());
  return bytes;
}

TZDBValueBytes WideBytes(const std::u16string& wide) {
  TZDBValueBytes bytes((wide.size() + 1) * 2, 0);
  for (size_t i = 0; i < wide.size(); ++i) le::PutU16(bytes.data() + 2 * i, wide[i]);
  return bytes;
}

TZDBValueBytes Conversion::Text(const std::string& ansi) const { return AnsiBytes(ansi); }
TZDBValueBytes Conversion::WideText(const std::u16string& wide) const { return WideBytes(wide); }

TZDBValueBytes Conversion::Integer(int64_t value) const {
  const uint64_t bits = static_cast<uint64_t>(value);
  TZDBValueBytes bytes(static_cast<size_t>(FixedValueSize(targetType_)));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  return bytes;
}

TZDBValueBytes Conversion::Float(const TZDBExtended& value) const {
  TZDBValueBytes bytes(static_cast<size_t>(FixedValueSize(targetType_)));
  const bool finite = !value.IsNaN() && !value.IsInfinite();
  switch (targetType_) {
    case T::Single: {
      const float single = value.ToSingle();
      if (finite && std::isinf(single)) Failed();  // overflow
      le::PutU32(bytes.data(), std::bit_cast<uint32_t>(single));
      break;
    }
    case T::Extended:
      value.ToBytes(bytes.data());
      break;
    default: {  // FLOAT, CURRENCY
      const double number = value.ToDouble();
      if (finite && std::isinf(number)) Failed();
      le::PutDouble(bytes.data(), number);
      break;
    }
  }
  return bytes;
}

TZDBValueBytes Conversion::Int32(int32_t value) const {
  TZDBValueBytes bytes(4);
  le::PutI32(bytes.data(), value);
  return bytes;
}

TZDBValueBytes Conversion::Stamp(const TZDBTimeStamp& stamp) const {
  TZDBValueBytes bytes(8);
  le::PutI32(bytes.data(), stamp.Date);
  le::PutI32(bytes.data() + 4, stamp.Time);
  return bytes;
}

TZDBValueBytes Conversion::Logical(bool value) const {
  TZDBValueBytes bytes(2);
  le::PutI16(bytes.data(), value ? -1 : 0);
  return bytes;
}

TZDBValueBytes Conversion::Run() {
  if (sourceType_ == targetType_ && IsKnownStorageType(sourceType_))
    return CopyValue(sourceType_, source_.Data(), source_.Size());
  switch (sourceType_) {
    case T::Char:
    case T::WideChar:
    case T::String:
    case T::WideString:
    case T::Memo:
    case T::WideMemo:
      return FromText();
    case T::ShortInt:
      return FromInteger(source_.ShortInt());
    case T::SmallInt:
      return FromInteger(source_.SmallInt());
    case T::Integer:
      return FromInteger(source_.Integer());
    case T::LargeInt:
      return FromInteger(source_.LargeInt());
    case T::Byte:
      return FromInteger(source_.Byte());
    case T::Word:
      return FromInteger(source_.Word());
    case T::Cardinal:
      return FromInteger(source_.Cardinal());
    case T::Single:
      return FromFloat(TZDBExtended::FromDouble(source_.Single()));
    case T::Float:
      return FromFloat(TZDBExtended::FromDouble(source_.Float()));
    case T::Extended:
      return FromFloat(source_.Extended());
    case T::Currency:
      return FromCurrency(source_.Float());
    case T::Date:
      return FromDate(source_.Integer());
    case T::Time:
      return FromTime(source_.Integer());
    case T::DateTime:
      return FromDateTime(source_.TimeStamp());
    case T::Logical:
      return FromLogical(source_.Logical());
    default:  // BLOB, BYTES, VARBYTES and unknown codes convert to nothing
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromText() {
  const bool wideSource = IsWideTextType(sourceType_);
  // Memo values carry no terminator: their size bounds the text.
  const std::u16string wide = wideSource ? source_.WideText() : std::u16string();
  const std::string ansi = wideSource ? WideToAnsi(wide) : std::string(source_.AnsiText());
  const TZDBFormatSettings settings = DefaultFormatSettings();
  const bool fixedForms = sourceType_ == T::Char || sourceType_ == T::String;

  switch (targetType_) {
    case T::Char:
    case T::String:
      return Text(ansi);
    case T::WideChar:
    case T::WideString:
      return WideText(wideSource ? wide : AnsiToWide(ansi));
    case T::ShortInt:
    case T::SmallInt:
    case T::Integer:
    case T::Byte:
    case T::Word:
    case T::Cardinal:
    case T::LargeInt: {
      // 32-bit numbers, except that LARGEINT takes 64 bits and CARDINAL its whole range.
      int64_t minimum = INT32_MIN, maximum = INT32_MAX;
      if (targetType_ == T::LargeInt) minimum = INT64_MIN, maximum = INT64_MAX;
      if (targetType_ == T::Cardinal) maximum = UINT32_MAX;
      int64_t value = 0;
      if (!TryParseInteger(ansi, minimum, maximum, value)) Failed();
      return Integer(value);
    }
    case T::Single:
    case T::Float:
    case T::Extended: {
      double value = 0;
      if (!TryParseFloat(ansi, value)) Failed();
      return Double(value);
    }
    case T::Date: {
      int32_t day = 0;
      TZDBTimeStamp stamp;
      if (fixedForms && TryParseFixedDateTime(ansi, stamp)) return Int32(stamp.Date);
      if (fixedForms && TryParseFixedDate(ansi, day)) return Int32(day);
      if (!TryParseLocaleDate(ansi, settings, day)) Failed();
      return Int32(day);
    }
    case T::Time: {
      int32_t milliseconds = 0;
      if (fixedForms && TryParseFixedTime(ansi, milliseconds)) return Int32(milliseconds);
      if (!TryParseLocaleTime(ansi, settings, milliseconds)) Failed();
      return Int32(milliseconds);
    }
    case T::DateTime: {
      TZDBTimeStamp stamp;
      if (fixedForms && TryParseFixedDateTime(ansi, stamp)) return Stamp(stamp);
      if (fixedForms && TryParseFixedDate(ansi, stamp.Date)) return Stamp({stamp.Date, 0});
      if (!TryParseLocaleDateTime(ansi, settings, stamp)) Failed();
      return Stamp(stamp);
    }
    case T::Logical: {
      std::string upper = ansi;
      for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      return Logical(upper == "1" || upper == "TRUE");
    }
    case T::Currency: {
      double value = 0;
      if (!TryParseCurrency(ansi, settings, value)) Failed();
      return Double(value);
    }
    case T::Blob:
      return wideSource ? WideBytes(wide) : AnsiBytes(ansi);
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromInteger(int64_t value) {
  if (IsStringType(targetType_)) return AnyText(std::to_string(value));
  if (IsIntegerType(targetType_)) return Integer(value);
  switch (targetType_) {
    case T::Single: {
      TZDBValueBytes bytes(4);
      le::PutU32(bytes.data(), std::bit_cast<uint32_t>(static_cast<float>(value)));  // rounded once
      return bytes;
    }
    case T::Float:
    case T::Currency:
      return Double(static_cast<double>(value));
    case T::Extended:
      return Float(TZDBExtended::FromInt64(value));
    case T::Date:
    case T::Time:
      return Int32(static_cast<int32_t>(value));
    case T::DateTime:
      return Stamp({static_cast<int32_t>(value), 0});
    case T::Logical:
      return Logical(value != 0);
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromFloat(const TZDBExtended& value) {
  if (IsStringType(targetType_)) return AnyText(FormatFloat(value.ToDouble(), DefaultFormatSettings()));
  if (IsIntegerType(targetType_)) return Integer(Truncated(value));
  switch (targetType_) {
    case T::Single:
    case T::Float:
    case T::Extended:
    case T::Currency:
      return Float(value);
    case T::Date: {
      const int64_t day = Truncated(value);
      if (day < INT32_MIN || day > INT32_MAX) Failed();
      return Int32(static_cast<int32_t>(day));
    }
    case T::Time:
      return Int32(static_cast<int32_t>(Truncated(value) % MillisecondsPerDay));
    case T::DateTime: {
      const int64_t day = Truncated(value);
      if (day < INT32_MIN || day > INT32_MAX) Failed();
      const double number = value.ToDouble();
      const double milliseconds = std::trunc((number - std::trunc(number)) * MillisecondsPerDay);
      return Stamp({static_cast<int32_t>(day), static_cast<int32_t>(milliseconds)});
    }
    case T::Logical:
      return Logical(!value.IsZero());
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromCurrency(double value) {
  if (IsStringType(targetType_)) return AnyText(FormatCurrency(value, DefaultFormatSettings()));
  if (IsIntegerType(targetType_)) return Integer(Truncated(TZDBExtended::FromDouble(value)));
  switch (targetType_) {
    case T::Single:
    case T::Float:
    case T::Extended:
      return Double(value);
    case T::Logical:
      return Logical(value != 0);
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromDate(int32_t dayNumber) {
  if (IsStringType(targetType_)) return AnyText(FormatDate(dayNumber, DefaultFormatSettings()));
  if (IsIntegerType(targetType_)) return Integer(dayNumber);
  switch (targetType_) {
    case T::Single:
    case T::Float:
    case T::Extended:
    case T::Currency:
      return Double(dayNumber);
    case T::Logical:
      return Logical(dayNumber != EmptyDate);
    case T::Time:
      return Int32(dayNumber % MillisecondsPerDay);
    case T::DateTime:
      return Stamp({dayNumber, 0});
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromTime(int32_t milliseconds) {
  if (IsStringType(targetType_)) return AnyText(FormatTime(milliseconds, DefaultFormatSettings()));
  if (IsIntegerType(targetType_)) return Integer(milliseconds);
  switch (targetType_) {
    case T::Single:
    case T::Float:
    case T::Extended:
    case T::Currency:
      return Double(milliseconds);
    case T::Logical:
      return Logical(milliseconds != 0);
    case T::Date:
      return Int32(milliseconds);
    case T::DateTime:
      return Stamp({EmptyDate, milliseconds});
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromDateTime(const TZDBTimeStamp& stamp) {
  if (IsStringType(targetType_)) return AnyText(FormatDateTime(stamp, DefaultFormatSettings()));
  if (IsIntegerType(targetType_)) return Integer(stamp.Date);
  switch (targetType_) {
    case T::Date:
      return Int32(stamp.Date);
    case T::Time:
      return Int32(stamp.Time);
    case T::Float:
    case T::Currency: {
      const double day = stamp.Date == EmptyDate ? 0.0 : static_cast<double>(stamp.Date);
      return Double(day + static_cast<double>(stamp.Time) / MillisecondsPerDay);
    }
    case T::Logical:
      return Logical(!(stamp.Date == EmptyDate && stamp.Time == 0));
    default:
      Unsupported();
  }
}

TZDBValueBytes Conversion::FromLogical(bool value) {
  if (IsStringType(targetType_)) return AnyText(value ? "True" : "False");
  if (IsIntegerType(targetType_)) return Integer(value ? 1 : 0);
  if (IsFloatType(targetType_)) return Double(value ? 1.0 : 0.0);
  Unsupported();
}

}  // namespace

TZDBValueBytes CopyValue(TZDBStorageType type, const void* source, int32_t sourceSize) {
  const TZDBValueView view(source, sourceSize);
  try {
    if (IsWideStringType(type)) return WideBytes(view.WideText());
    if (IsStringType(type)) return AnsiBytes(std::string(view.AnsiText()));
    if (const int32_t width = FixedValueSize(type); width > 0) {
      TZDBValueBytes bytes(static_cast<size_t>(width), 0);
      const int32_t available = sourceSize < 0 ? width : std::min(width, sourceSize);
      if (available > 0) std::memcpy(bytes.data(), source, static_cast<size_t>(available));
      return bytes;
    }
    if (sourceSize < 0) {
      if (type == T::Memo) return TZDBValueBytes(view.AnsiText().begin(), view.AnsiText().end());
      RaiseError(errors::CopyFailed);
    }
    const auto* bytes = static_cast<const uint8_t*>(source);
    return TZDBValueBytes(bytes, bytes + sourceSize);
  } catch (const std::bad_alloc&) {
    RaiseError(errors::CopyFailed);
  }
}

TZDBValueBytes ConvertValue(const void* source, int32_t sourceSize, TZDBStorageType sourceType,
                            TZDBStorageType targetType) {
  return Conversion(TZDBValueView(source, sourceSize), sourceType, targetType).Run();
}

}  // namespace zdb
