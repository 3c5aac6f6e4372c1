// UTF-8, the text of command lines and exchange files, to and from the engine's wide
// (UTF-16) and single-byte (Windows-1252) text.
#pragma once

#include <string>
#include <string_view>

namespace zdb {

// Strict: a malformed sequence, an overlong form or a surrogate is no text (false).
bool Utf8ToWide(std::string_view text, std::u16string& wide);
// A lone surrogate, which has no UTF-8 form, becomes U+FFFD.
std::string WideToUtf8(std::u16string_view wide);

// Single-byte text from UTF-8; std::runtime_error naming the text when it is not UTF-8 or
// has a character without a single-byte form.
std::string Utf8ToAnsi(std::string_view text);
std::string AnsiToUtf8(std::string_view text);

}  // namespace zdb
