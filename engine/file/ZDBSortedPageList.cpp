#include "engine/file/ZDBSortedPageList.h"

#include <algorithm>
#include <iterator>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPage.h"

namespace zdb {
namespace {

constexpr int32_t DeleteFromEmptyListError = 20165;
constexpr int32_t DeleteMissingPageError = 20166;
constexpr int32_t PageNotFoundError = 20167;

}  // namespace

size_t TZDBSortedPageList::LowerBound(int32_t pageNo) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), pageNo,
                             [](const Entry& entry, int32_t key) { return entry.page->PageNo() < key; });
  return static_cast<size_t>(std::distance(entries_.begin(), it));
}

TZDBPage* TZDBSortedPageList::Find(int32_t pageNo) const {
  const size_t index = LowerBound(pageNo);
  if (index < entries_.size() && entries_[index].page->PageNo() == pageNo) return entries_[index].page;
  return nullptr;
}

void TZDBSortedPageList::Add(TZDBPage* page) {
  const size_t index = LowerBound(page->PageNo());
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), Entry{page, ++clock_});
  page->ownerList_ = this;
}

TZDBPage* TZDBSortedPageList::Delete(int32_t pageNo) {
  if (entries_.empty()) {
    RaiseError(DeleteFromEmptyListError, "TSortedPageList.Delete - no elements in array!");
  }
  const size_t index = LowerBound(pageNo);
  if (index >= entries_.size() || entries_[index].page->PageNo() != pageNo) {
    RaiseError(DeleteMissingPageError, "TSortedPageList.Delete - element not found, key = %d, itemCount = %d",
               {pageNo, entries_.size()});
  }
  TZDBPage* page = entries_[index].page;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (page->ownerList_ == this) page->ownerList_ = nullptr;
  return page;
}

void TZDBSortedPageList::Touch(int32_t pageNo) {
  const size_t index = LowerBound(pageNo);
  if (index >= entries_.size() || entries_[index].page->PageNo() != pageNo) {
    RaiseError(PageNotFoundError, "Page not found");
  }
  entries_[index].clock = ++clock_;
}

uint64_t TZDBSortedPageList::UseClock(int32_t pageNo) const {
  const size_t index = LowerBound(pageNo);
  if (index >= entries_.size() || entries_[index].page->PageNo() != pageNo) {
    RaiseError(PageNotFoundError, "Page not found");
  }
  return entries_[index].clock;
}

void TZDBSortedPageList::Clear() {
  for (const Entry& entry : entries_) {
    if (entry.page->ownerList_ == this) entry.page->ownerList_ = nullptr;
  }
  entries_.clear();
}

TZDBPage* TZDBSortedPageList::LeastRecentlyUsedIdle() const {
  const Entry* oldest = nullptr;
  for (const Entry& entry : entries_) {
    if (entry.page->UseCount() == 0 && (oldest == nullptr || entry.clock < oldest->clock)) oldest = &entry;
  }
  return oldest != nullptr ? oldest->page : nullptr;
}

}  // namespace zdb
