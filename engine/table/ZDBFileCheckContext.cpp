#include "engine/table/ZDBFileCheckContext.h"

#include <utility>

#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"

namespace zdb {

std::string TZDBCheckedTable::Label() const { return "Table '" + Entry.Name + "'"; }

TZDBFileCheckContext::TZDBFileCheckContext(TZDBDiskPageManager& pages) : pages_(pages) {}

int32_t TZDBFileCheckContext::TotalPageCount() const { return pages_.Header().TotalPageCount; }

bool TZDBFileCheckContext::IsSystemPage(int32_t pageNo) const {
  return pages_.FreeSpaceManager().IsSystemPage(pageNo);
}

bool TZDBFileCheckContext::IsPageUsed(int32_t pageNo) const {
  return pageNo >= 0 && static_cast<size_t>(pageNo) < used_.size() && used_[static_cast<size_t>(pageNo)];
}

bool TZDBFileCheckContext::Claim(int32_t pageNo, const std::string& owner) {
  const std::string where = owner + ": page " + std::to_string(pageNo);
  if (pageNo < 0 || pageNo >= TotalPageCount()) {
    Problem(where + " lies outside the file (" + std::to_string(TotalPageCount()) + " pages)");
    return false;
  }
  if (IsSystemPage(pageNo)) {
    Problem(where + " is a free-space bitmap page");
    return false;
  }
  const auto [claim, added] = claims_.emplace(pageNo, owner);
  if (!added) {
    Problem(where + " is reached more than once (also by " + claim->second + ")");
    return false;
  }
  if (!IsPageUsed(pageNo)) Problem(where + " is marked free");
  return true;
}

const std::vector<TZDBNamedTableCheck>& TableChecks() {
  static const std::vector<TZDBNamedTableCheck> checks = {
      {"rows", CheckRowsOfTable, false},
      {"large values", CheckLargeValuesOfTable, true},
  };
  return checks;
}

}  // namespace zdb
