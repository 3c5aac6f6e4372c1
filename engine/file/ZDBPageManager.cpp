#include "engine/file/ZDBPageManager.h"

#include <algorithm>

#include "engine/base/ZDBException.h"
#include "platform/os/System.h"

namespace zdb {

int32_t TZDBPageManager::DefaultCacheCapacity(uint64_t memoryLimit) {
  uint64_t memory = os::AvailablePhysicalMemory();
  if (memoryLimit != 0 && memoryLimit < memory) memory = memoryLimit;
  return static_cast<int32_t>(std::min<uint64_t>(memory / CacheBytesPerPage, MaxCacheCapacity));
}

TZDBPageManager::TZDBPageManager(int32_t cacheCapacity) : cacheCapacity_(std::max(cacheCapacity, 0)) {}

// The page lists and the detached pages own their pages.
TZDBPageManager::~TZDBPageManager() = default;

void TZDBPageManager::CheckSession(int32_t session) {
  if (session == InvalidSession || session < SystemSession) {
    RaiseError(errors::InvalidSession);
  }
}

void TZDBPageManager::SetPageSize(uint16_t pageSize, uint16_t pageHeaderSize) {
  pageSize_ = pageSize;
  pageHeaderSize_ = pageHeaderSize;
  pageDataSize_ = static_cast<uint16_t>(pageSize - pageHeaderSize);
}

// --- virtual operations with a base meaning ----------------------------------------------

int32_t TZDBPageManager::GetTotalPageCount() { return pageCount_; }

bool TZDBPageManager::IsPageCacheValid(int32_t /*session*/, TZDBPage& /*page*/) { return false; }

void TZDBPageManager::MarkPageCacheValid(int32_t /*session*/, TZDBPage& /*page*/) {}

void TZDBPageManager::ChangesApplied(int32_t /*session*/) {}

void TZDBPageManager::ChangesCancelled(int32_t /*session*/) {}

void TZDBPageManager::RevalidateCachedPage(int32_t /*session*/, TZDBPage& /*page*/) {}

// --- sessions ------------------------------------------------------------------------------

TZDBPageManager::SessionEntry* TZDBPageManager::FindSession(int32_t session) const {
  auto it = sessions_.find(session);
  return it != sessions_.end() ? it->second.get() : nullptr;
}

TZDBPageManager::SessionEntry& TZDBPageManager::SessionFor(int32_t session) {
  auto& slot = sessions_[session];
  if (!slot) {
    slot = std::make_unique<SessionEntry>();
    slot->session = session;
  }
  return *slot;
}

bool TZDBPageManager::HasSessionChanges(int32_t session) const {
  const SessionEntry* entry = FindSession(session);
  return entry != nullptr && (!entry->privatePages.Empty() || !entry->newPageNumbers.empty() ||
                              !entry->removedPageNumbers.empty());
}

size_t TZDBPageManager::PrivatePageCount(int32_t session) const {
  const SessionEntry* entry = FindSession(session);
  return entry != nullptr ? entry->privatePages.Count() : 0;
}

std::vector<int32_t> TZDBPageManager::NewPageNumbers(int32_t session) const {
  const SessionEntry* entry = FindSession(session);
  return entry != nullptr ? entry->newPageNumbers : std::vector<int32_t>{};
}

std::vector<int32_t> TZDBPageManager::PrivatePageNumbers(int32_t session) const {
  std::vector<int32_t> numbers;
  if (const SessionEntry* entry = FindSession(session)) {
    numbers.reserve(entry->privatePages.Count());
    for (size_t i = 0; i < entry->privatePages.Count(); ++i) numbers.push_back(entry->privatePages.At(i)->PageNo());
  }
  return numbers;
}

std::vector<int32_t> TZDBPageManager::AllNewPageNumbers() const {
  std::vector<int32_t> numbers;
  for (const auto& [number, entry] : sessions_)
    numbers.insert(numbers.end(), entry->newPageNumbers.begin(), entry->newPageNumbers.end());
  return numbers;
}

void TZDBPageManager::DiscardSessionChanges(int32_t session) {
  SessionEntry* entry = FindSession(session);
  if (entry == nullptr) return;
  while (!entry->privatePages.Empty()) FreeOrDetach(entry->privatePages.Delete(entry->privatePages.At(0)->PageNo()));
  entry->newPageNumbers.clear();
  entry->removedPageNumbers.clear();
}

void TZDBPageManager::DiscardCachedPages() {
  while (!sharedCache_.Empty()) {
    std::unique_ptr<TZDBPage> page = sharedCache_.Delete(sharedCache_.At(0)->PageNo());
    page->InvalidateSessionStamps();
    FreeOrDetach(std::move(page));
  }
}

std::vector<int32_t> TZDBPageManager::RemovedPageNumbers(int32_t session) const {
  const SessionEntry* entry = FindSession(session);
  return entry != nullptr ? entry->removedPageNumbers : std::vector<int32_t>{};
}

void TZDBPageManager::CheckNoUncommittedPages() const {
  for (const auto& [number, entry] : sessions_) {
    if (!entry->privatePages.Empty()) RaiseError(errors::NonCommittedPages);
  }
}

// --- page objects ---------------------------------------------------------------------------

void TZDBPageManager::FreeOrDetach(std::unique_ptr<TZDBPage> page) {
  // A page in use stays until its last put; an idle one goes here.
  if (page->useCount_ > 0) detachedPages_.push_back(std::move(page));
}

void TZDBPageManager::DropPage(TZDBSortedPageList& list, int32_t pageNo) {
  if (list.Contains(pageNo)) FreeOrDetach(list.Delete(pageNo));
}

void TZDBPageManager::EvictIfOverCapacity() {
  if (sharedCache_.Count() <= static_cast<size_t>(cacheCapacity_)) return;
  // Only an idle page may go: a page in use stays, whatever its age.
  if (TZDBPage* victim = sharedCache_.LeastRecentlyUsedIdle()) sharedCache_.Delete(victim->PageNo());
}

void TZDBPageManager::CacheCommittedPage(std::unique_ptr<TZDBPage> page) {
  // A copy read by another session while this one held its changes is stale now.
  DropPage(sharedCache_, page->PageNo());
  // Its content changed, so what any session knew about the old content no longer holds.
  page->InvalidateSessionStamps();
  // Beyond the cache's capacity the page goes.
  if (sharedCache_.Count() < static_cast<size_t>(cacheCapacity_)) sharedCache_.Add(std::move(page));
}

// --- GetPage / AddPage / PutPage / RemovePage ----------------------------------------------

TZDBPage* TZDBPageManager::GetPage(int32_t session, int32_t pageNo, bool checkVersions, uint16_t expectedType) {
  CheckSession(session);

  TZDBPage* page = nullptr;
  if (SessionEntry* entry = FindSession(session)) page = entry->privatePages.Find(pageNo);

  if (page == nullptr) page = sharedCache_.Find(pageNo);
  if (page != nullptr) {
    if (page->useCount_ > 0 && page->sessionID_ != session) {
      RaiseError(errors::PageUsedByOtherSession);
    }
    // A page somebody is using (possibly with unreleased changes) is never re-read.
    if (checkVersions && page->ownerList_ == &sharedCache_ && page->useCount_ == 0 &&
        !IsPageCacheValid(session, *page)) {
      RevalidateCachedPage(session, *page);
      MarkPageCacheValid(session, *page);
    }
  } else {
    auto fresh = std::make_unique<TZDBPage>(*this, pageNo);
    // Read before caching, so a failed read leaves no half-filled page behind.
    if (!InternalReadPage(*fresh)) {
      RaiseError(errors::PageRead, {pageNo, expectedType});
    }
    page = sharedCache_.Add(std::move(fresh));
    if (expectedType == AnyPageType || page->PageType() == expectedType) MarkPageCacheValid(session, *page);
  }

  if (expectedType != AnyPageType && page->PageType() != expectedType) {
    RaiseError(errors::InvalidPageType, {expectedType, page->PageType()});
  }

  page->sessionID_ = session;
  ++page->useCount_;
  return page;
}

TZDBPage* TZDBPageManager::AddPage(int32_t session, uint16_t pageType) {
  CheckSession(session);
  auto page = std::make_unique<TZDBPage>(*this, TZDBPage::NoPage);
  InternalAddPage(*page);
  if (page->PageNo() == TZDBPage::NoPage) RaiseError(errors::InvalidPageNumber);
  // Recorded first: whatever fails below, a rollback still frees the number.
  SessionEntry& entry = SessionFor(session);
  const int32_t pageNo = page->PageNo();
  entry.newPageNumbers.push_back(pageNo);

  if (!page->HasBuffer()) page->InitializeHeader();
  page->useCount_ = 1;
  page->dirty_ = true;
  page->SetPageType(pageType);
  page->SetPageVersion(os::Random(TZDBPage::MaxInitialPageVersion + 1));
  page->sessionID_ = session;

  // The number was free, so any copy still held under it is stale.
  DropPage(sharedCache_, pageNo);
  DropPage(entry.privatePages, pageNo);
  return entry.privatePages.Add(std::move(page));
}

void TZDBPageManager::PutPage(TZDBPage* page) {
  if (page == nullptr || &page->PageManager() != this || page->useCount_ <= 0) {
    RaiseError(errors::InvalidPage);
  }
  if (--page->useCount_ == 0) {
    page->readFromFile_ = false;
    if (page->ownerList_ == nullptr) {
      // Dropped while in use (its number freed or a newer copy committed meanwhile): the
      // last user is gone, and whatever it changed belongs to no page any more.
      auto it = std::find_if(detachedPages_.begin(), detachedPages_.end(),
                             [page](const std::unique_ptr<TZDBPage>& detached) { return detached.get() == page; });
      if (it != detachedPages_.end()) detachedPages_.erase(it);
    } else if (page->ownerList_ == &sharedCache_) {
      if (page->dirty_) {
        SessionEntry& entry = SessionFor(page->sessionID_);
        std::unique_ptr<TZDBPage> changed = sharedCache_.Delete(page->PageNo());
        DropPage(entry.privatePages, changed->PageNo());
        entry.privatePages.Add(std::move(changed));
      } else if (page->transient_) {
        DropPage(sharedCache_, page->PageNo());
      } else {
        sharedCache_.Touch(*page);
      }
    }
  }
  EvictIfOverCapacity();
}

void TZDBPageManager::RemovePage(int32_t session, int32_t pageNo) {
  CheckSession(session);
  if (pageNo < 0) RaiseError(errors::InvalidPageNumber);
  SessionEntry& entry = SessionFor(session);
  // Freeing a number twice at commit would corrupt the free-space map.
  if (std::find(entry.removedPageNumbers.begin(), entry.removedPageNumbers.end(), pageNo) ==
      entry.removedPageNumbers.end()) {
    entry.removedPageNumbers.push_back(pageNo);
  }
}

// --- commit and rollback --------------------------------------------------------------------

void TZDBPageManager::ApplyChanges(int32_t session) {
  WriteSessionChanges(session);
  FinishSessionChanges(session);
}

void TZDBPageManager::WriteSessionChanges(int32_t session) {
  CheckSession(session);
  for (size_t i = 0; i < sharedCache_.Count(); ++i) {
    const TZDBPage* page = sharedCache_.At(i);
    if (page->sessionID_ == session && page->useCount_ > 0) {
      RaiseError(errors::SessionPagesNotReleased);
    }
  }
  SessionEntry* entry = FindSession(session);
  if (entry == nullptr) return;
  for (size_t i = 0; i < entry->privatePages.Count(); ++i) {
    const TZDBPage* page = entry->privatePages.At(i);
    if (page->useCount_ > 0) RaiseError(errors::CannotWriteUsedPage);
    if (!page->dirty_) RaiseError(errors::InvalidPage);
  }

  // Nothing of the session changes here: should a write fail, it holds all of its
  // transaction still, and a retry writes all of it again.
  std::vector<int32_t> removed = entry->removedPageNumbers;
  std::sort(removed.begin(), removed.end());
  for (size_t i = 0; i < entry->privatePages.Count(); ++i) {
    TZDBPage* page = entry->privatePages.At(i);
    // A removed page is never written, even when it was changed first.
    if (!std::binary_search(removed.begin(), removed.end(), page->PageNo())) InternalWritePage(*page);
  }
  // Pages are written before any page is freed, so no page the session removed is freed
  // while the rest of its transaction is not in the file.
  for (const int32_t pageNo : entry->removedPageNumbers) InternalRemovePage(pageNo);
}

void TZDBPageManager::FinishSessionChanges(int32_t session) {
  SessionEntry* entry = FindSession(session);
  if (entry != nullptr) {
    for (const int32_t pageNo : entry->removedPageNumbers) {
      DropPage(entry->privatePages, pageNo);
      DropPage(sharedCache_, pageNo);
    }
    while (!entry->privatePages.Empty()) {
      TZDBPage* page = entry->privatePages.At(0);
      page->dirty_ = false;
      CacheCommittedPage(entry->privatePages.Delete(page->PageNo()));
    }
    entry->removedPageNumbers.clear();
    entry->newPageNumbers.clear();
  }
  ChangesApplied(session);
}

void TZDBPageManager::CancelChanges(int32_t session) {
  CheckSession(session);
  SessionEntry* entry = FindSession(session);
  if (entry == nullptr) {
    ChangesCancelled(session);
    return;
  }
  for (size_t i = 0; i < entry->privatePages.Count(); ++i) {
    const TZDBPage* page = entry->privatePages.At(i);
    if (!page->dirty_) RaiseError(errors::InvalidPrivatePage);
    if (page->useCount_ > 0) RaiseError(errors::CannotRemoveUsedPage);
  }
  entry->privatePages.Clear();

  std::vector<int32_t>& added = entry->newPageNumbers;
  while (!added.empty()) {
    InternalRemovePage(added.front());
    added.erase(added.begin());
  }
  entry->removedPageNumbers.clear();
  ChangesCancelled(session);
}

}  // namespace zdb
