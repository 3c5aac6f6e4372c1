#include "tools/zdb/ZdbCheck.h"

#include <utility>

#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"

namespace zdbtool {
namespace {

std::vector<TZdbNamedTableCheck>& Registry() {
  static std::vector<TZdbNamedTableCheck> checks;
  return checks;
}

}  // namespace

std::string TZdbCheckedTable::Label() const { return "Table '" + Entry.Name + "'"; }

TZdbCheckContext::TZdbCheckContext(zdb::TZDBDiskPageManager& pages, std::ostream& out) : pages_(pages), out_(out) {}

void TZdbCheckContext::Problem(const std::string& text) {
  ++problems_;
  out_ << text << '\n';
}

int32_t TZdbCheckContext::TotalPageCount() const { return pages_.Header().TotalPageCount; }

bool TZdbCheckContext::IsSystemPage(int32_t pageNo) const {
  return pages_.FreeSpaceManager().IsSystemPage(pageNo);
}

bool TZdbCheckContext::IsPageUsed(int32_t pageNo) const {
  return pageNo >= 0 && static_cast<size_t>(pageNo) < used_.size() && used_[static_cast<size_t>(pageNo)];
}

bool TZdbCheckContext::Claim(int32_t pageNo, const std::string& owner) {
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

TZdbTableCheckRegistration::TZdbTableCheckRegistration(std::string name, TZdbTableCheck check,
                                                       bool followsLargeValues) {
  Registry().push_back({std::move(name), std::move(check), followsLargeValues});
}

const std::vector<TZdbNamedTableCheck>& RegisteredTableChecks() { return Registry(); }

}  // namespace zdbtool
