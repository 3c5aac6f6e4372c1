// The integrity check of a database file, for `zdb check`, the repair's check of the file
// it made, and anyone else who wants to know whether a file is sound.
//
// It walks the free-space bitmaps (page types, the bits of the bitmap pages themselves,
// the extent fields against the page bits, LastUsedPageNo), every internal-file chain
// (system directory, table list, session slots, and each table's metadata, frequently
// updated data and lock region: page types, links, length against the stored size), and
// every B-tree (each index and the record-page and BLOB-page indexes: key order, entry
// counts against the table's row count, child and neighbour links, no page reachable
// twice), then the table checks of ZDBFileCheckContext.h. Every page reached must be
// marked used, and no page marked used may be left unreached.
//
// The check reads for the system session and never writes. Checking an open manager, a
// file that another process is changing at the same time may show pages it has taken but
// not yet committed as unreachable; the check of a file by name holds the database lock
// byte while it runs, so it sees no such pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdb {

class TZDBDiskPageManager;

struct TZDBFileCheckReport {
  // One line per problem, in the order found.
  std::vector<std::string> Problems;
  int64_t PageCount = 0;
  int64_t TableCount = 0;
  int64_t IndexCount = 0;

  bool Clean() const { return Problems.empty(); }
  // "clean: P pages, T tables, I indexes" or "damaged: N problem(s); P pages, ...".
  std::string Summary() const;
};

// Checks the file open in pages; needsRepair is what the open answered (a commit that did
// not finish, reported as the first problem).
TZDBFileCheckReport CheckDatabaseFile(TZDBDiskPageManager& pages, bool needsRepair);

}  // namespace zdb
