#include "tools/zdb/ZdbText.h"

#include "zdb/Values.h"

namespace zdbtool {

std::string PrintableText(std::string_view text) {
  // Names from the command line come back in UTF-8 already (a file name, say).
  std::u16string wide;
  if (zdb::Utf8ToWide(text, wide)) return std::string(text);
  return zdb::AnsiToUtf8(text);
}

}  // namespace zdbtool
