// Text as the tool prints it: UTF-8. The engine keeps names in its single-byte code page,
// and its messages carry them so; a message that is not UTF-8 is read as that code page.
#pragma once

#include <string>
#include <string_view>

namespace zdbtool {

std::string PrintableText(std::string_view text);

}  // namespace zdbtool
