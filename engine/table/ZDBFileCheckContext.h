// The integrity check's shared ground: where problems are gathered, which pages have been
// reached and by what, what is known of each table, and the table checks that run on it.
//
// Every page the check reaches is claimed once by the structure that reaches it. A claim
// reports a page outside the file, a bitmap page, a page already claimed (naming both
// structures) and a page whose free-space bit is clear. After every check has claimed
// its pages, each page marked used that nobody claimed is reported as unreachable, so a
// check that reaches pages of its own (rows' large values, say) must claim them.
//
// The table checks (TableChecks()) run one after another for every table whose metadata
// could be read, after the built-in ones (chains, index trees, page indexes) and before
// the search for unreachable pages. A check reads pages for TZDBFileCheckContext::Session,
// changes nothing, and may raise: an exception is reported as a problem of that table.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBTableListFile.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableMetaData.h"

namespace zdb {

class TZDBDiskPageManager;

// One leaf entry of a page-number tree: a page and its 16-bit value.
struct TZDBCheckedPageValue {
  int32_t PageNo = 0;
  uint16_t Value = 0;
};

// What the built-in checks learnt of one table.
struct TZDBCheckedTable {
  TZDBTableListEntry Entry;
  // From the metadata file.
  TZDBBaseFieldManager Fields;
  TZDBIndexDefs Indexes;
  TZDBConstraintDefs Constraints;
  TZDBTableRootPages Roots;
  // From the frequently updated data; CountsRead false when it could not be read.
  TZDBMostUpdatedCounts Counts;
  bool CountsRead = false;
  // Leaf entries of the record-page index (page, rows) and of the BLOB-page index
  // (page, bytes used), ascending; a tree the check found damaged gives no entries and
  // its Sound flag false.
  std::vector<TZDBCheckedPageValue> RecordPages;
  bool RecordPageIndexSound = false;
  std::vector<TZDBCheckedPageValue> BlobPages;
  bool BlobPageIndexSound = false;
  // Leaf entries per index (ObjectID), for indexes whose tree passed its check.
  std::map<int32_t, int64_t> IndexEntryCounts;

  // "Table 'NAME'", the prefix of the table's problem lines.
  std::string Label() const;
};

class TZDBFileCheckContext {
 public:
  // Pages are read for the system session; nothing is ever written.
  static constexpr int32_t Session = TZDBPageManager::SystemSession;

  explicit TZDBFileCheckContext(TZDBDiskPageManager& pages);

  TZDBDiskPageManager& Pages() { return pages_; }

  // Records one problem line.
  void Problem(const std::string& text) { problems_.push_back(text); }
  int64_t ProblemCount() const { return static_cast<int64_t>(problems_.size()); }
  // The problems in the order they were found; taken by the caller at the end.
  std::vector<std::string>& Problems() { return problems_; }

  // Records that `owner` (a phrase such as "Table 'Maximo' index 'ANY'") reaches the
  // page and reports what is wrong with that. Answers whether the owner may go on and
  // read the page: it lies in the file, is no bitmap page and was not claimed before.
  bool Claim(int32_t pageNo, const std::string& owner);
  bool IsClaimed(int32_t pageNo) const { return claims_.count(pageNo) != 0; }
  // Every page number that was claimed, ascending.
  const std::map<int32_t, std::string>& Claims() const { return claims_; }

  // The page's free-space bit, as the bitmap check read it (false outside the file).
  bool IsPageUsed(int32_t pageNo) const;
  bool IsSystemPage(int32_t pageNo) const;
  int32_t TotalPageCount() const;
  // Set by the bitmap check: one bit per page of the file.
  void SetUsedPages(std::vector<bool> used) { used_ = std::move(used); }

 private:
  TZDBDiskPageManager& pages_;
  std::vector<std::string> problems_;
  std::map<int32_t, std::string> claims_;
  std::vector<bool> used_;
};

using TZDBTableCheckFunction = std::function<void(TZDBFileCheckContext& context, const TZDBCheckedTable& table)>;

struct TZDBNamedTableCheck {
  std::string Name;
  TZDBTableCheckFunction Check;
  bool FollowsLargeValues = false;
};

// The table checks, in the order they run. A check that follows the large values of a
// table's rows (chains of BLOB pages that no page index lists) says so; without one, BLOB
// pages of tables with BLOB fields would not be reported as unreachable.
const std::vector<TZDBNamedTableCheck>& TableChecks();

// The table checks themselves (ZDBFileCheckRows.cpp, ZDBFileCheckBlobs.cpp).
void CheckRowsOfTable(TZDBFileCheckContext& context, const TZDBCheckedTable& table);
void CheckLargeValuesOfTable(TZDBFileCheckContext& context, const TZDBCheckedTable& table);

}  // namespace zdb
