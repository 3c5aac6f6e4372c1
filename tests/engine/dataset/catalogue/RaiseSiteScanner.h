// Finds the places in the engine's sources that raise an engine error (RaiseError) and
// works out, as far as the source text tells, the code and the message each one raises,
// so that a test can hold them against the message catalogue.
//
// A code is an integer literal, a named integer constant (constexpr, in the file or in
// an engine header it includes), either branch of a conditional of such names, or the
// parameter of a small raising helper whose callers in the same file pass such names. A
// message is a string literal (adjacent literals joined), a named text constant, or
// MessageForCode(...) (taken from the catalogue itself). Whatever the text does not tell
// stays unresolved, so that new code written in any style never breaks the scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zdbtest {

struct RaiseSite {
  std::string File;  // relative to the scanned folder
  int Line = 0;
  std::optional<int32_t> Code;
  std::optional<std::string> Text;
  bool TextFromCatalogue = false;  // MessageForCode(...)
};

// The sites of one source text; includes are read from root (the folder that holds
// "engine/...").
std::vector<RaiseSite> ScanSource(const std::string& root, const std::string& file, const std::string& source);
// Every .cpp and .h file below root/folder.
std::vector<RaiseSite> ScanFolder(const std::string& root, const std::string& folder);

}  // namespace zdbtest
