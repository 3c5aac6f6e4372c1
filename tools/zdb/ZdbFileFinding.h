// What the tool found at a database file's name when the engine's message about it would
// not make it plain ("Access is denied" for a directory, a signature of dots for an
// empty file).
#pragma once

#include <string>

namespace zdbtool {

// "F is a directory", "F is empty (0 bytes)"; empty for anything else.
std::string FileFinding(const std::string& fileName);

}  // namespace zdbtool
