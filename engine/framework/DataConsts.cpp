#include "engine/framework/DataConsts.h"

namespace data {

std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out += pattern[i];
      continue;
    }
    const char directive = pattern[++i];
    if (directive == '%') {
      out += '%';
    } else if (next != args.end()) {
      out += *next++;
    }
  }
  return out;
}

}  // namespace data
