// The storage types: the one-byte codes that fix how a value is encoded, how wide it is
// and how it converts and compares, wherever it is kept (record buffer, stored record,
// index key, TZDBVariant).
//
// Encodings, all little-endian:
//   CHAR, STRING            Windows-1252 bytes and one zero byte
//   WIDECHAR, WIDESTRING    UTF-16 code units and one zero unit
//   SHORTINT..LARGEINT      two's complement of 1, 2, 4, 8 bytes
//   BYTE, WORD, CARDINAL    unsigned of 1, 2, 4 bytes
//   SINGLE, FLOAT           IEEE binary32, binary64
//   EXTENDED                80-bit extended: 64-bit significand, then sign and exponent
//   DATE                    int32 DayNumber (0001-01-01 = 1)
//   TIME                    int32 milliseconds since midnight
//   DATETIME                DATE then TIME
//   BLOB, MEMO, WIDEMEMO    in a value: the large value's own bytes (no terminator)
//   LOGICAL                 int16, 0 false, anything else true (written as -1)
//   CURRENCY                IEEE binary64 holding the amount itself
//   BYTES, VARBYTES         raw bytes
#pragma once

#include <cstdint>
#include <string>

namespace zdb {

enum class TZDBStorageType : uint8_t {
  None = 0,  // no type set yet
  Char = 1,
  WideChar = 2,
  String = 3,
  WideString = 4,
  ShortInt = 5,
  SmallInt = 6,
  Integer = 7,
  LargeInt = 8,
  Byte = 9,
  Word = 10,
  Cardinal = 11,
  Single = 12,
  Float = 13,
  Extended = 14,
  Date = 15,
  Time = 16,
  DateTime = 17,
  Blob = 18,
  Memo = 19,
  WideMemo = 20,
  Logical = 21,
  Currency = 22,
  Bytes = 23,
  VarBytes = 24,
};

inline constexpr uint8_t MaxStorageTypeCode = 24;

inline constexpr uint8_t StorageTypeCode(TZDBStorageType type) { return static_cast<uint8_t>(type); }
inline constexpr bool IsKnownStorageType(TZDBStorageType type) {
  return StorageTypeCode(type) >= 1 && StorageTypeCode(type) <= MaxStorageTypeCode;
}

// The canonical name ("CHAR" .. "VARBYTES"); "Unknown" outside 1..24.
std::string StorageTypeName(TZDBStorageType type);

// CHAR, WIDECHAR, STRING, WIDESTRING.
inline constexpr bool IsStringType(TZDBStorageType type) {
  return type >= TZDBStorageType::Char && type <= TZDBStorageType::WideString;
}
// WIDECHAR, WIDESTRING.
inline constexpr bool IsWideStringType(TZDBStorageType type) {
  return type == TZDBStorageType::WideChar || type == TZDBStorageType::WideString;
}
// The string types and MEMO, WIDEMEMO: what converts to and from text.
inline constexpr bool IsTextType(TZDBStorageType type) {
  return IsStringType(type) || type == TZDBStorageType::Memo || type == TZDBStorageType::WideMemo;
}
// Text held as UTF-16.
inline constexpr bool IsWideTextType(TZDBStorageType type) {
  return IsWideStringType(type) || type == TZDBStorageType::WideMemo;
}
// SHORTINT .. CARDINAL.
inline constexpr bool IsIntegerType(TZDBStorageType type) {
  return type >= TZDBStorageType::ShortInt && type <= TZDBStorageType::Cardinal;
}
// SINGLE, FLOAT, EXTENDED.
inline constexpr bool IsFloatType(TZDBStorageType type) {
  return type >= TZDBStorageType::Single && type <= TZDBStorageType::Extended;
}
// DATE, TIME, DATETIME.
inline constexpr bool IsDateTimeType(TZDBStorageType type) {
  return type >= TZDBStorageType::Date && type <= TZDBStorageType::DateTime;
}
// BLOB, MEMO, WIDEMEMO.
inline constexpr bool IsBlobType(TZDBStorageType type) {
  return type >= TZDBStorageType::Blob && type <= TZDBStorageType::WideMemo;
}

// Bytes of a value of a fixed-width type (SHORTINT 1 .. EXTENDED 10, LOGICAL 2 ...);
// 0 for the types whose width depends on the value or the field (text, BLOB, BYTES).
int32_t FixedValueSize(TZDBStorageType type);

}  // namespace zdb
