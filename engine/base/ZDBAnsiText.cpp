#include "engine/base/ZDBAnsiText.h"

#include <array>
#include <cstdint>

namespace zdb {
namespace {

constexpr char ReplacementByte = '?';

// Code units of the bytes 0x80 .. 0x9F; below and above that range a byte is its own
// code point.
constexpr std::array<char16_t, 32> HighControlsBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};
constexpr uint8_t BlockStart = 0x80;
constexpr uint8_t BlockEnd = 0x9F;

char16_t ByteToUnit(uint8_t byte) {
  return byte >= BlockStart && byte <= BlockEnd ? HighControlsBlock[byte - BlockStart] : char16_t{byte};
}

char UnitToByte(char16_t unit) {
  if (unit < BlockStart || (unit > BlockEnd && unit <= 0xFF)) return static_cast<char>(unit);
  for (size_t i = 0; i < HighControlsBlock.size(); ++i)
    if (HighControlsBlock[i] == unit) return static_cast<char>(BlockStart + i);
  return ReplacementByte;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::u16string AnsiToWide(std::string_view text) {
  std::u16string wide(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) wide[i] = ByteToUnit(static_cast<uint8_t>(text[i]));
  return wide;
}

std::string WideToAnsi(std::u16string_view text) {
  std::string ansi;
  ansi.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ansi += ReplacementByte;
      ++i;
      continue;
    }
    ansi += UnitToByte(text[i]);
  }
  return ansi;
}

}  // namespace zdb
