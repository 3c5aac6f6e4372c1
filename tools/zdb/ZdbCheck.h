// The integrity check's shared ground: where problems are reported, which pages have been
// reached and by what, what is known of each table, and the hook through which further
// table checks join the run.
//
// Every page the check reaches is claimed once by the structure that reaches it. A claim
// reports a page outside the file, a bitmap page, a page already claimed (naming both
// structures) and a page whose free-space bit is clear. After every check has claimed
// its pages, each page marked used that nobody claimed is reported as unreachable, so a
// check that reaches pages of its own (rows' large values, say) must claim them.
//
// A table check is added by a static registration object in its own source file of the
// tool:
//   namespace {
//   void CheckRows(zdbtool::TZdbCheckContext& context, const zdbtool::TZdbCheckedTable& table) { ... }
//   const zdbtool::TZdbTableCheckRegistration rowsCheck("rows", CheckRows);
//   }
// Registered checks run one after another (in no fixed order between source files) for
// every table whose metadata could be read, after the built-in ones (chains, index trees,
// page indexes) and before the search for unreachable pages. A check reads pages for TZdbCheckContext::Session, changes
// nothing, and may raise: an exception is reported as a problem of that table.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
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
}

namespace zdbtool {

// One leaf entry of a page-number tree: a page and its 16-bit value.
struct TZdbPageValue {
  int32_t PageNo = 0;
  uint16_t Value = 0;
};

// What the built-in checks learnt of one table.
struct TZdbCheckedTable {
  zdb::TZDBTableListEntry Entry;
  // From the metadata file.
  zdb::TZDBBaseFieldManager Fields;
  zdb::TZDBIndexDefs Indexes;
  zdb::TZDBConstraintDefs Constraints;
  zdb::TZDBTableRootPages Roots;
  // From the frequently updated data; CountsRead false when it could not be read.
  zdb::TZDBMostUpdatedCounts Counts;
  bool CountsRead = false;
  // Leaf entries of the record-page index (page, rows) and of the BLOB-page index
  // (page, bytes used), ascending; a tree the check found damaged gives no entries and
  // its Sound flag false.
  std::vector<TZdbPageValue> RecordPages;
  bool RecordPageIndexSound = false;
  std::vector<TZdbPageValue> BlobPages;
  bool BlobPageIndexSound = false;
  // Leaf entries per index (ObjectID), for indexes whose tree passed its check.
  std::map<int32_t, int64_t> IndexEntryCounts;

  // "Table 'NAME'", the prefix of the table's problem lines.
  std::string Label() const;
};

class TZdbCheckContext {
 public:
  // Pages are read for the system session; nothing is ever written.
  static constexpr int32_t Session = zdb::TZDBPageManager::SystemSession;

  TZdbCheckContext(zdb::TZDBDiskPageManager& pages, std::ostream& out);

  zdb::TZDBDiskPageManager& Pages() { return pages_; }

  // Prints one problem line.
  void Problem(const std::string& text);
  int64_t ProblemCount() const { return problems_; }

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
  zdb::TZDBDiskPageManager& pages_;
  std::ostream& out_;
  int64_t problems_ = 0;
  std::map<int32_t, std::string> claims_;
  std::vector<bool> used_;
};

using TZdbTableCheck = std::function<void(TZdbCheckContext& context, const TZdbCheckedTable& table)>;

struct TZdbNamedTableCheck {
  std::string Name;
  TZdbTableCheck Check;
  bool FollowsLargeValues = false;
};

// Adds a table check to every run of `zdb check` (see the top of this file). A check that
// follows the large values of a table's rows (chains of BLOB pages that no page index
// lists) says so with followsLargeValues; until one does, BLOB pages of tables with BLOB
// fields are not reported as unreachable.
class TZdbTableCheckRegistration {
 public:
  TZdbTableCheckRegistration(std::string name, TZdbTableCheck check, bool followsLargeValues = false);
};

// The registered table checks, in registration order.
const std::vector<TZdbNamedTableCheck>& RegisteredTableChecks();

}  // namespace zdbtool
