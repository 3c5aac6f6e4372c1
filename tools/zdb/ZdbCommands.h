// The commands of the zdb tool, one function each. They write their report to out and
// let the engine's exceptions pass; main() turns those into exit codes.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

// The password record handed to each command opens an encrypted file (an empty password
// is enough for a plain one).

// One "name: value" line per header field and state of the file (with "cipher: NAME"
// after "encrypted: yes"), then the slot count and the system directory's entries.
void InfoCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out);
// A header line, then one tab-separated line per page:
// page, type, type_name, next_page, owner, version, used (its free-space bit, 0 or 1).
void PagesCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out);

}  // namespace zdbtool
