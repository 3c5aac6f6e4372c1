// `zdb check FILE`: the integrity check of a database file.
//
// The check itself is the engine's (engine/table/ZDBFileCheck.h); the command opens the
// file and prints what it found.
//
// One line per problem, then the summary line:
//   clean: P pages, T tables, I indexes
//   damaged: N problem(s); P pages, T tables, I indexes
// The file is opened read-only and shared; a file that another process is changing at
// the same time may show pages it has taken but not yet committed as unreachable.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

// Answers the number of problems found. The engine's exceptions pass when the file
// cannot be opened at all.
int64_t CheckCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out);

}  // namespace zdbtool
