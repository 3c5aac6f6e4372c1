// `zdb repair FILE`: the repair the program offers for a damaged file, run from the
// command line. Every table whose definitions can be read is copied, with every row that
// can be read, into a new file that takes the file's name; the damaged file is kept beside
// it as a backup. Then the new file is checked as `zdb check` checks it.
//
// Output: one line per table ("Table 'Maximo': 3 rows copied, 0 unreadable", or the table
// lost and why), the backup's name, then the check's lines and summary. A repair that
// could not be done prints why on stderr and leaves the file as it was.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

// Answers whether the file was repaired and the result checks clean. Errors that keep the
// repair from running at all (no such file) pass as engine or database exceptions.
bool RepairCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out,
                   std::ostream& err);

}  // namespace zdbtool
