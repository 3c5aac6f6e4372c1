#include "engine/framework/TextCase.h"

#include <algorithm>

namespace data {

namespace {

// The Windows-1252 capital of a byte: ASCII letters, the Latin-1 letters (but the
// multiplication and division signs) and the four letters the code page adds above 0x80.
unsigned char UpperAnsi(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - ('a' - 'A'));
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: return c;
  }
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAnsi(static_cast<unsigned char>(x)) == UpperAnsi(static_cast<unsigned char>(y));
         });
}

}  // namespace data
