// A list of pages kept sorted by page number, with a use clock per page for LRU eviction.
//
// Contract: the list owns its pages: a page goes with the list, with Clear, or with the
// answer of Delete unless the caller keeps it. It records itself as the list of each page
// it holds (TZDBPage::OwnerList) and forgets it when the page leaves. The list's clock
// advances by one whenever a page is added or touched, and that page takes the new
// clock value, so the page with the smallest clock is the least recently used. Lookups
// are binary searches; iteration is in ascending page number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zdb {

class TZDBPage;

class TZDBSortedPageList {
 public:
  TZDBSortedPageList() = default;
  TZDBSortedPageList(const TZDBSortedPageList&) = delete;
  TZDBSortedPageList& operator=(const TZDBSortedPageList&) = delete;

  size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  // The page at position index, in ascending page number.
  TZDBPage* At(size_t index) const { return entries_[index].page.get(); }

  // The page of that number, or null.
  TZDBPage* Find(int32_t pageNo) const;
  bool Contains(int32_t pageNo) const { return Find(pageNo) != nullptr; }

  // Inserts the page in order and answers it. A page of the same number must not be in
  // the list.
  TZDBPage* Add(std::unique_ptr<TZDBPage> page);
  // Takes the page of that number out of the list and hands it over.
  // 20165 on an empty list, 20166 when the number is not there.
  std::unique_ptr<TZDBPage> Delete(int32_t pageNo);
  // Marks the page of that number as just used. 20167 when it is not there.
  void Touch(int32_t pageNo);
  // The same for a page at hand, without a search. 20167 when the page is not in the list.
  void Touch(TZDBPage& page);
  // Empties the list, freeing its pages.
  void Clear();

  // The least recently used page whose use count is 0, or null.
  TZDBPage* LeastRecentlyUsedIdle() const;
  // The use clock the page of that number last took; 20167 when it is not there.
  uint64_t UseClock(int32_t pageNo) const;

 private:
  // The number is kept beside the page so that a search reads no page object; the use
  // clock lives in the page, so that touching a page at hand needs no search.
  struct Entry {
    int32_t pageNo;
    std::unique_ptr<TZDBPage> page;
  };

  // Position of the first entry whose page number is not below pageNo.
  size_t LowerBound(int32_t pageNo) const;
  // The pages in order of use: a use moves a page to the most recent end.
  void LinkMostRecent(TZDBPage& page);
  void Unlink(TZDBPage& page);

  std::vector<Entry> entries_;
  // Positions of the last pages found: a walk alternates between a few pages, and a hint
  // is only trusted when the entry there still has the number.
  mutable std::array<size_t, 2> foundHints_{};
  mutable size_t nextHint_ = 0;
  uint64_t clock_ = 0;
  TZDBPage* leastRecent_ = nullptr;
  TZDBPage* mostRecent_ = nullptr;
};

}  // namespace zdb
