#include "engine/file/ZDBSortedPageList.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPage.h"

namespace zdb {

size_t TZDBSortedPageList::LowerBound(int32_t pageNo) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), pageNo,
                             [](const Entry& entry, int32_t key) { return entry.pageNo < key; });
  return static_cast<size_t>(std::distance(entries_.begin(), it));
}

TZDBPage* TZDBSortedPageList::Find(int32_t pageNo) const {
  for (const size_t hint : foundHints_)
    if (hint < entries_.size() && entries_[hint].pageNo == pageNo) return entries_[hint].page.get();
  const size_t index = LowerBound(pageNo);
  if (index < entries_.size() && entries_[index].pageNo == pageNo) {
    foundHints_[nextHint_] = index;
    nextHint_ ^= 1;
    return entries_[index].page.get();
  }
  return nullptr;
}

TZDBPage* TZDBSortedPageList::Add(std::unique_ptr<TZDBPage> page) {
  TZDBPage& added = *page;
  const size_t index = LowerBound(added.PageNo());
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), Entry{added.PageNo(), std::move(page)});
  added.ownerList_ = this;
  added.useClock_ = ++clock_;
  LinkMostRecent(added);
  return &added;
}

std::unique_ptr<TZDBPage> TZDBSortedPageList::Delete(int32_t pageNo) {
  if (entries_.empty()) {
    RaiseError(errors::DeleteFromEmptyList);
  }
  const size_t index = LowerBound(pageNo);
  if (index >= entries_.size() || entries_[index].pageNo != pageNo) {
    RaiseError(errors::DeleteMissingPage, {pageNo, entries_.size()});
  }
  std::unique_ptr<TZDBPage> page = std::move(entries_[index].page);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  Unlink(*page);
  if (page->ownerList_ == this) page->ownerList_ = nullptr;
  return page;
}

void TZDBSortedPageList::Touch(int32_t pageNo) {
  const size_t index = LowerBound(pageNo);
  if (index >= entries_.size() || entries_[index].pageNo != pageNo) {
    RaiseError(errors::PageNotFound);
  }
  Touch(*entries_[index].page);
}

void TZDBSortedPageList::Touch(TZDBPage& page) {
  if (page.ownerList_ != this) RaiseError(errors::PageNotFound);
  page.useClock_ = ++clock_;
  Unlink(page);
  LinkMostRecent(page);
}

void TZDBSortedPageList::LinkMostRecent(TZDBPage& page) {
  page.lessRecent_ = mostRecent_;
  page.moreRecent_ = nullptr;
  if (mostRecent_ != nullptr) mostRecent_->moreRecent_ = &page;
  mostRecent_ = &page;
  if (leastRecent_ == nullptr) leastRecent_ = &page;
}

void TZDBSortedPageList::Unlink(TZDBPage& page) {
  if (page.lessRecent_ != nullptr) page.lessRecent_->moreRecent_ = page.moreRecent_;
  if (page.moreRecent_ != nullptr) page.moreRecent_->lessRecent_ = page.lessRecent_;
  if (leastRecent_ == &page) leastRecent_ = page.moreRecent_;
  if (mostRecent_ == &page) mostRecent_ = page.lessRecent_;
  page.lessRecent_ = nullptr;
  page.moreRecent_ = nullptr;
}

uint64_t TZDBSortedPageList::UseClock(int32_t pageNo) const {
  const size_t index = LowerBound(pageNo);
  if (index >= entries_.size() || entries_[index].pageNo != pageNo) {
    RaiseError(errors::PageNotFound);
  }
  return entries_[index].page->useClock_;
}

void TZDBSortedPageList::Clear() {
  entries_.clear();
  leastRecent_ = nullptr;
  mostRecent_ = nullptr;
}

TZDBPage* TZDBSortedPageList::LeastRecentlyUsedIdle() const {
  for (TZDBPage* page = leastRecent_; page != nullptr; page = page->moreRecent_)
    if (page->UseCount() == 0) return page;
  return nullptr;
}

}  // namespace zdb
