// The platform's variant: the self-describing value that callers outside the engine
// (dataset fields, key and locate values) exchange with TZDBVariant::AsVariant.
//
// Its kind numbers are the platform's variant type codes, so that a report of an
// unsupported kind names the same number the caller sees. Integers of every width are
// kept in one int64, texts as Windows-1252 (String) or UTF-16 (OleStr).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace zdb {

enum class TVarType : uint16_t {
  Empty = 0,
  Null = 1,
  SmallInt = 2,
  Integer = 3,
  Single = 4,
  Double = 5,
  Currency = 6,
  Date = 7,
  OleStr = 8,
  Dispatch = 9,
  Error = 10,
  Boolean = 11,
  Variant = 12,
  Unknown = 13,
  Decimal = 14,
  ShortInt = 16,
  Byte = 17,
  Word = 18,
  LongWord = 19,
  Int64 = 20,
  UInt64 = 21,
  String = 0x100,
};

class PlatformVariant {
 public:
  PlatformVariant() = default;  // Empty
  // A value of a kind that carries no payload here (Null, Dispatch, Error ...).
  explicit PlatformVariant(TVarType type) : type_(type) {}

  static PlatformVariant Null() { return PlatformVariant(TVarType::Null); }
  static PlatformVariant Integral(TVarType type, int64_t value) {  // SmallInt .. Int64, Boolean
    PlatformVariant v(type);
    v.integer_ = value;
    return v;
  }
  static PlatformVariant Real(TVarType type, double value) {  // Single, Double, Currency, Date
    PlatformVariant v(type);
    v.real_ = value;
    return v;
  }
  static PlatformVariant Boolean(bool value) { return Integral(TVarType::Boolean, value ? 1 : 0); }
  static PlatformVariant AnsiText(std::string value) {
    PlatformVariant v(TVarType::String);
    v.ansi_ = std::move(value);
    return v;
  }
  static PlatformVariant WideText(std::u16string value) {
    PlatformVariant v(TVarType::OleStr);
    v.wide_ = std::move(value);
    return v;
  }

  TVarType Type() const { return type_; }
  int64_t AsInt64() const { return integer_; }
  double AsDouble() const { return real_; }
  bool AsBoolean() const { return integer_ != 0; }
  const std::string& AsAnsiText() const { return ansi_; }
  const std::u16string& AsWideText() const { return wide_; }

 private:
  TVarType type_ = TVarType::Empty;
  int64_t integer_ = 0;
  double real_ = 0;
  std::string ansi_;
  std::u16string wide_;
};

}  // namespace zdb
