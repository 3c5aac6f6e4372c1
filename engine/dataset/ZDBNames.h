// Session and database names compare as every other name of the engine does: letter
// case of a-z ignored.
#pragma once

#include <string_view>

#include "engine/file/ZDBTableListFile.h"

namespace zdb {

inline bool SameName(std::string_view a, std::string_view b) { return TZDBTableListFile::SameName(a, b); }

}  // namespace zdb
