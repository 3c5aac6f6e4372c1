// `zdb check FILE`: the integrity check of a database file.
//
// It walks the free-space bitmaps (page types, the bits of the bitmap pages themselves,
// the extent fields against the page bits, LastUsedPageNo), every internal-file chain
// (system directory, table list, session slots, and each table's metadata, frequently
// updated data and lock region: page types, links, length against the stored size), and
// every B-tree (each index and the record-page and BLOB-page indexes: key order, entry
// counts against the table's row count, child and neighbour links, no page reachable
// twice), then the table checks registered through ZdbCheck.h. Every page reached must
// be marked used, and no page marked used may be left unreached.
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

#include "engine/base/ZDBPassword.h"

namespace zdbtool {

// Answers the number of problems found. The engine's exceptions pass when the file
// cannot be opened at all.
int64_t CheckCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out);

}  // namespace zdbtool
