// The integrity check of one B-tree, for the tests and the `zdb check` tool.
//
// It walks the tree level by level from the root and reports, one text per problem:
// pages that cannot be read or are not B-tree pages, damaged headers, a wrong root flag,
// levels that mix leaves and nodes, empty non-root pages, neighbour links that do not
// follow the level's order, pages reachable twice, entries out of order within a page or
// across the leaves, and leaf keys outside the separators of the nodes above them.
// Damage never makes the check read outside a page; it reports and goes on where it can.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBBTreeKeyRef.h"

namespace zdb {

struct TZDBBTreeCheckReport {
  std::vector<std::string> Problems;
  std::vector<int32_t> Pages;  // every page reached, root first, level by level
  int64_t EntryCount = 0;      // leaf entries
  int32_t Depth = 0;           // levels, 1 for a root leaf

  bool Ok() const { return Problems.empty(); }
};

// resolve: compare equal truncated keys through the rows (needs the key descriptor's
// table); without it such keys count as equal and their order is not checked.
TZDBBTreeCheckReport CheckBTree(TZDBPageManager& pages, int32_t session, TZDBBTreeKeyRef& keys, int32_t rootPageNo,
                                bool resolve);

}  // namespace zdb
