// Single-byte text of CHAR, STRING and MEMO values is Windows-1252 ("ANSI"); wide text
// is UTF-16. These are the two transcodings between them.
#pragma once

#include <string>
#include <string_view>

namespace zdb {

// Every byte maps to one code unit (the five bytes that Windows-1252 leaves undefined
// map to the C1 controls of the same value, as the platform does).
std::u16string AnsiToWide(std::string_view text);
// A character without a Windows-1252 byte becomes '?' (a surrogate pair, one '?').
std::string WideToAnsi(std::u16string_view text);

}  // namespace zdb
