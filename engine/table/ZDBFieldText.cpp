#include "engine/table/ZDBFieldText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include "engine/base/ZDBAnsiText.h"
#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBExtended.h"
#include "engine/base/ZDBUtf8Text.h"
#include "engine/base/ZDBValueText.h"
#include "engine/table/ZDBFieldManager.h"

namespace zdb {
namespace {

using S = TZDBStorageType;

constexpr int16_t LogicalTrue = -1;
constexpr int32_t MillisecondsPerSecond = 1000;
constexpr int32_t SecondsPerMinute = 60;
constexpr int32_t MinutesPerHour = 60;

[[noreturn]] void Refuse(const TZDBFieldDef& field, const std::string& reason) {
  throw std::runtime_error("field '" + field.Name() + "': " + reason);
}

// --- numbers and times as text ---------------------------------------------------------------------

template <typename Float>
std::string PlainNumber(Float value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // The shortest digits that read back as the same value, never in scientific notation.
  std::array<char, 400> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed);
  return std::string(digits.data(), result.ptr);
}

std::string TwoDigits(int32_t value) {
  // At least two digits; never cut a wider value short.
  const std::string text = std::to_string(value);
  return text.size() < 2 ? std::string(2 - text.size(), '0') + text : text;
}

std::string DateText(int32_t dayNumber) {
  if (dayNumber == EmptyDate) return "";
  int32_t year = 0, month = 0, day = 0;
  DecodeDayNumber(dayNumber, year, month, day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string TimeText(int32_t milliseconds) {
  const int32_t seconds = milliseconds / MillisecondsPerSecond;
  std::string text = TwoDigits(seconds / (SecondsPerMinute * MinutesPerHour)) + ":" +
                     TwoDigits(seconds / SecondsPerMinute % MinutesPerHour) + ":" +
                     TwoDigits(seconds % SecondsPerMinute);
  if (const int32_t fraction = milliseconds % MillisecondsPerSecond; fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof digits, ".%03d", fraction);
    text += digits;
  }
  return text;
}

// HH:MM:SS with an optional .mmm (one to three digits).
bool ParseTime(std::string_view text, int32_t& milliseconds) {
  int32_t fraction = 0;
  const size_t point = text.find('.');
  if (point != std::string_view::npos) {
    const std::string_view digits = text.substr(point + 1);
    if (digits.empty() || digits.size() > 3) return false;
    for (const char c : digits)
      if (c < '0' || c > '9') return false;
    fraction = std::stoi(std::string(digits));
    for (size_t scale = digits.size(); scale < 3; ++scale) fraction *= 10;
    text = text.substr(0, point);
  }
  if (!TryParseFixedTime(text, milliseconds)) return false;
  milliseconds += fraction;
  return true;
}

int64_t ParseInteger(const TZDBFieldDef& field, std::string_view text, int64_t minimum, int64_t maximum) {
  int64_t value = 0;
  if (!TryParseInteger(text, minimum, maximum, value))
    Refuse(field, "'" + std::string(text) + "' is not a whole number from " + std::to_string(minimum) + " to " +
                      std::to_string(maximum));
  return value;
}

double ParseFloat(const TZDBFieldDef& field, std::string_view text) {
  double value = 0;
  if (!TryParseFloat(text, value)) Refuse(field, "'" + std::string(text) + "' is not a number");
  return value;
}

// A text longer than the field is refused, never cut.
void CheckTextLength(const TZDBFieldDef& field, size_t characters) {
  if (static_cast<int64_t>(characters) > field.FieldSize())
    Refuse(field, "the text has " + std::to_string(characters) + " characters, the field holds " +
                      std::to_string(field.FieldSize()));
}

// Characters of a text field, zero-filled to its width.
void WriteText(const TZDBFieldDef& field, std::string_view text, uint8_t* target) {
  const bool wideField = field.StorageType() == S::WideChar || field.StorageType() == S::WideString;
  // Plain ASCII is the same bytes in UTF-8, in the single-byte code page and in UTF-16
  // units: most text of a load needs no conversion at all.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    CheckTextLength(field, text.size());
    std::memset(target, 0, static_cast<size_t>(field.MemoryDataSize()));
    if (!wideField) {
      std::memcpy(target, text.data(), text.size());
      return;
    }
    for (size_t i = 0; i < text.size(); ++i) le::PutU16(target + 2 * i, static_cast<uint8_t>(text[i]));
    return;
  }
  std::u16string wide;
  if (!Utf8ToWide(text, wide)) Refuse(field, "the text is not UTF-8");
  CheckTextLength(field, wide.size());
  std::memset(target, 0, static_cast<size_t>(field.MemoryDataSize()));
  if (wideField) {
    for (size_t i = 0; i < wide.size(); ++i) le::PutU16(target + 2 * i, static_cast<uint16_t>(wide[i]));
    return;
  }
  const std::string ansi = WideToAnsi(wide);
  if (AnsiToWide(ansi) != wide) Refuse(field, "the text has characters that a single-byte field cannot hold");
  std::memcpy(target, ansi.data(), ansi.size());
}

}  // namespace

bool HasTextForm(const TZDBFieldDef& field) {
  switch (field.StorageType()) {
    case S::Blob:
    case S::Memo:
    case S::WideMemo:
    case S::Bytes:
    case S::VarBytes:
    case S::None:
      return false;
    default:
      return true;
  }
}

void SetFieldFromText(const TZDBFieldDefs& fields, int32_t fieldNo, std::string_view text, uint8_t* recordBuffer) {
  const TZDBFieldDef& field = fields.Items(fieldNo);
  if (!HasTextForm(field)) Refuse(field, "a " + LogicalTypeName(field.LogicalType()) + " field has no text form");
  if (text.empty()) {
    SetFieldNull(recordBuffer, fieldNo, true);
    return;
  }
  uint8_t* target = recordBuffer + field.MemoryOffset();
  switch (field.StorageType()) {
    case S::ShortInt:
      target[0] = static_cast<uint8_t>(ParseInteger(field, text, INT8_MIN, INT8_MAX));
      break;
    case S::Byte:
      target[0] = static_cast<uint8_t>(ParseInteger(field, text, 0, UINT8_MAX));
      break;
    case S::SmallInt:
      le::PutU16(target, static_cast<uint16_t>(ParseInteger(field, text, INT16_MIN, INT16_MAX)));
      break;
    case S::Word:
      le::PutU16(target, static_cast<uint16_t>(ParseInteger(field, text, 0, UINT16_MAX)));
      break;
    case S::Integer:
      le::PutU32(target, static_cast<uint32_t>(ParseInteger(field, text, INT32_MIN, INT32_MAX)));
      break;
    case S::Cardinal:
      le::PutU32(target, static_cast<uint32_t>(ParseInteger(field, text, 0, UINT32_MAX)));
      break;
    case S::LargeInt:
      le::PutU64(target, static_cast<uint64_t>(ParseInteger(field, text, INT64_MIN, INT64_MAX)));
      break;
    case S::Single:
      le::PutU32(target, std::bit_cast<uint32_t>(static_cast<float>(ParseFloat(field, text))));
      break;
    case S::Float:
    case S::Currency:
      le::PutU64(target, std::bit_cast<uint64_t>(ParseFloat(field, text)));
      break;
    case S::Extended:
      TZDBExtended::FromDouble(ParseFloat(field, text)).ToBytes(target);
      break;
    case S::Date: {
      int32_t day = 0;
      if (!TryParseFixedDate(text, day)) Refuse(field, "'" + std::string(text) + "' is not a date YYYY-MM-DD");
      le::PutU32(target, static_cast<uint32_t>(day));
      break;
    }
    case S::Time: {
      int32_t milliseconds = 0;
      if (!ParseTime(text, milliseconds)) Refuse(field, "'" + std::string(text) + "' is not a time HH:MM:SS");
      le::PutU32(target, static_cast<uint32_t>(milliseconds));
      break;
    }
    case S::DateTime: {
      const size_t blank = text.find(' ');
      int32_t day = 0;
      int32_t milliseconds = 0;
      if (!TryParseFixedDate(text.substr(0, blank), day) ||
          (blank != std::string_view::npos && !ParseTime(text.substr(blank + 1), milliseconds)))
        Refuse(field, "'" + std::string(text) + "' is not a date and time YYYY-MM-DD HH:MM:SS");
      le::PutU32(target, static_cast<uint32_t>(day));
      le::PutU32(target + 4, static_cast<uint32_t>(milliseconds));
      break;
    }
    case S::Logical: {
      std::string lower(text);
      for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (lower != "true" && lower != "false" && lower != "1" && lower != "0")
        Refuse(field, "'" + std::string(text) + "' is neither true nor false");
      le::PutU16(target, static_cast<uint16_t>(lower == "true" || lower == "1" ? LogicalTrue : 0));
      break;
    }
    default:
      WriteText(field, text, target);
      break;
  }
  SetFieldNull(recordBuffer, fieldNo, false);
}

std::string FieldAsText(const TZDBFieldDefs& fields, int32_t fieldNo, const uint8_t* recordBuffer) {
  const TZDBFieldDef& field = fields.Items(fieldNo);
  if (!HasTextForm(field)) Refuse(field, "a " + LogicalTypeName(field.LogicalType()) + " field has no text form");
  if (IsFieldNull(recordBuffer, fieldNo)) return "";
  const uint8_t* source = recordBuffer + field.MemoryOffset();
  switch (field.StorageType()) {
    case S::ShortInt:
      return std::to_string(static_cast<int8_t>(source[0]));
    case S::Byte:
      return std::to_string(source[0]);
    case S::SmallInt:
      return std::to_string(le::GetI16(source));
    case S::Word:
      return std::to_string(le::GetU16(source));
    case S::Integer:
      return std::to_string(le::GetI32(source));
    case S::Cardinal:
      return std::to_string(le::GetU32(source));
    case S::LargeInt:
      return std::to_string(le::GetI64(source));
    case S::Single:
      return PlainNumber(std::bit_cast<float>(le::GetU32(source)));
    case S::Float:
    case S::Currency:
      return PlainNumber(le::GetDouble(source));
    case S::Extended:
      return PlainNumber(TZDBExtended::FromBytes(source).ToDouble());
    case S::Date:
      return DateText(le::GetI32(source));
    case S::Time:
      return TimeText(le::GetI32(source));
    case S::DateTime: {
      const std::string date = DateText(le::GetI32(source));
      return date.empty() ? TimeText(le::GetI32(source + 4)) : date + " " + TimeText(le::GetI32(source + 4));
    }
    case S::Logical:
      return le::GetI16(source) != 0 ? "true" : "false";
    case S::WideChar:
    case S::WideString: {
      std::u16string wide;
      for (int32_t i = 0; i + 1 < field.MemoryDataSize(); i += 2) {
        const char16_t unit = static_cast<char16_t>(le::GetU16(source + i));
        if (unit == 0) break;
        wide += unit;
      }
      return WideToUtf8(wide);
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(source);
      return WideToUtf8(
          AnsiToWide(std::string_view(text, strnlen(text, static_cast<size_t>(field.MemoryDataSize())))));
    }
  }
}

// --- large values -------------------------------------------------------------------------

namespace {

// Bytes of a BLOB shown in hex, and characters of a memo.
constexpr size_t HexPrefixBytes = 16;
constexpr size_t TextPrefixCharacters = 32;

}  // namespace

bool HasDumpForm(const TZDBFieldDef& field) { return HasTextForm(field) || field.IsBlob(); }

std::string LargeValueText(const TZDBFieldDef& field, int64_t size, const std::vector<uint8_t>& prefix) {
  std::string text = std::to_string(size) + (size == 1 ? " byte" : " bytes");
  if (size == 0) return text;
  text += ": ";
  if (field.StorageType() == S::Memo || field.StorageType() == S::WideMemo) {
    std::u16string wide;
    if (field.StorageType() == S::WideMemo) {
      for (size_t i = 0; i + 1 < prefix.size(); i += 2)
        wide += static_cast<char16_t>(prefix[i] | (static_cast<uint16_t>(prefix[i + 1]) << 8));
    } else {
      wide = AnsiToWide(std::string_view(reinterpret_cast<const char*>(prefix.data()), prefix.size()));
    }
    bool cut = static_cast<int64_t>(prefix.size()) < size;
    if (wide.size() > TextPrefixCharacters) {
      wide.resize(TextPrefixCharacters);
      // A surrogate pair is not split.
      if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.pop_back();
      cut = true;
    }
    return text + "\"" + WideToUtf8(wide) + (cut ? "...\"" : "\"");
  }
  static constexpr char Digits[] = "0123456789abcdef";
  const size_t shown = std::min(prefix.size(), HexPrefixBytes);
  for (size_t i = 0; i < shown; ++i) {
    text += Digits[prefix[i] >> 4];
    text += Digits[prefix[i] & 0x0F];
  }
  if (static_cast<int64_t>(shown) < size) text += "...";
  return text;
}

std::string FieldDumpText(TZDBDiskTableData& table, TZDBTableCursor& cursor, int32_t fieldNo) {
  const TZDBFieldDefs& fields = table.FieldManager()->FieldDefs();
  const TZDBFieldDef& field = fields.Items(fieldNo);
  if (!field.IsBlob()) return FieldAsText(fields, fieldNo, cursor.RecordBuffer());
  if (IsFieldNull(cursor.RecordBuffer(), fieldNo)) return {};
  std::unique_ptr<TZDBBlobStream> stream = table.OpenBlobStream(cursor, false, fieldNo);
  const int64_t size = stream->Size();
  std::vector<uint8_t> prefix(static_cast<size_t>(std::min(size, LargeValuePrefixBytes)));
  prefix.resize(static_cast<size_t>(std::max<int64_t>(stream->Read(prefix.data(), static_cast<int64_t>(prefix.size())), 0)));
  // What this row loaded goes before the next row is read.
  table.ReleaseRecordBlobs(cursor.MutableRecordBuffer());
  return LargeValueText(field, size, prefix);
}

}  // namespace zdb
