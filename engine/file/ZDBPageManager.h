// The page cache with per-session page-level transactions: the engine's pager.
//
// Contract: every user of pages follows one rule: GetPage or AddPage, read or change the
// data area (MarkDirty when changed), PutPage, always paired (TZDBPageRef does it), and
// only then ApplyChanges (commit) or CancelChanges (rollback) for the session.
//
// Unchanged pages live in one shared cache, readable by every session of the process but
// used by one session at a time. A page released dirty, or created by AddPage, moves into
// its session's private pages, which no other session sees; ApplyChanges writes them and
// hands them to the shared cache, CancelChanges throws them away. Page numbers the
// session added are freed again on rollback; page numbers it removed are freed at commit.
//
// Where the pages come from is the subclass's business (the Internal* operations): the
// disk page manager reads and writes the database file, test fixtures keep pages in
// memory. The manager takes no lock of its own: calls into one manager come one at a
// time (the database data object serialises them).
//
// Sessions: -2 is the system session, -1 is invalid (20186), 0.. are user sessions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBSortedPageList.h"

namespace zdb {

class TZDBPageManager {
 public:
  static constexpr uint16_t AnyPageType = 255;  // expected type that accepts every page
  static constexpr int32_t SystemSession = -2;
  static constexpr int32_t InvalidSession = -1;
  static constexpr uint16_t DefaultPageSize = layout::DefaultPageSize;
  static constexpr uint16_t DefaultPageHeaderSize = layout::PageHeaderSize;
  static constexpr int32_t MaxCacheCapacity = 1000;
  static constexpr uint64_t CacheBytesPerPage = 65536;  // memory allowed per cached page

  // The shared cache's size: min(memory div 65536, 1000) pages, where memory is the
  // available physical memory, or memoryLimit when that is set (non-zero) and smaller.
  static int32_t DefaultCacheCapacity(uint64_t memoryLimit = 0);

  explicit TZDBPageManager(int32_t cacheCapacity = DefaultCacheCapacity());
  // Frees every page object. Uncommitted pages are discarded here without touching the
  // file (a destructor cannot report); owners call CheckNoUncommittedPages first.
  virtual ~TZDBPageManager();
  TZDBPageManager(const TZDBPageManager&) = delete;
  TZDBPageManager& operator=(const TZDBPageManager&) = delete;

  // --- virtual operations, in slot order -----------------------------------------------
  // Base: the page count field.
  virtual int32_t GetTotalPageCount();
  // Whether a cached page is known to be current for the session. Base: false.
  virtual bool IsPageCacheValid(int32_t session, TZDBPage& page);
  // Records that the cached page is current for the session. Base: nothing.
  virtual void MarkPageCacheValid(int32_t session, TZDBPage& page);

 protected:
  // Hooks called at the end of a successful ApplyChanges / CancelChanges of the base.
  // Base: nothing.
  virtual void ChangesApplied(int32_t session);
  virtual void ChangesCancelled(int32_t session);

  // Gives the new page object its number and an initialised buffer (PageNo stays -1
  // when no number could be given: AddPage then raises 20064).
  virtual void InternalAddPage(TZDBPage& page) = 0;
  // Frees the page number in the backing store.
  virtual void InternalRemovePage(int32_t pageNo) = 0;
  // Fills the page (buffer allocated if needed) from the backing store; false on failure.
  virtual bool InternalReadPage(TZDBPage& page) = 0;
  // Stores the page in the backing store.
  virtual void InternalWritePage(TZDBPage& page) = 0;

 public:
  // Notes the page number for freeing at the session's commit.
  virtual void RemovePage(int32_t session, int32_t pageNo);
  // The session's own changed copy of the page, else the shared cached one, else the page
  // read into the shared cache. expectedType AnyPageType accepts every page type.
  // 20186 session -1; 20299 read failure; 20153 wrong type; 20090 page in use by another
  // session.
  virtual TZDBPage* GetPage(int32_t session, int32_t pageNo, bool checkVersions,
                            uint16_t expectedType);
  // Commit: writes the session's private pages in ascending page number, frees removed
  // page numbers and hands the pages to the shared cache. 20152 while a page of the
  // session is still in use. The session changes only once every write is done: after a
  // failure it holds all of its transaction still, for a retry or a rollback.
  virtual void ApplyChanges(int32_t session);

  // --- non-virtual operations ----------------------------------------------------------
  // A new page of the given type, in use by the session and private to it until commit.
  TZDBPage* AddPage(int32_t session, uint16_t pageType);
  // Gives a page back; a page released dirty becomes private to its session. Evicts at
  // most one idle least-recently-used page when the shared cache is over capacity.
  void PutPage(TZDBPage* page);
  // Rollback: drops the session's private pages and frees the page numbers it added.
  void CancelChanges(int32_t session);

  // --- state ---------------------------------------------------------------------------
  uint16_t PageSize() const { return pageSize_; }
  uint16_t PageHeaderSize() const { return pageHeaderSize_; }
  uint16_t PageDataSize() const { return pageDataSize_; }
  bool MultiUser() const { return multiUser_; }
  void SetMultiUser(bool value) { multiUser_ = value; }

  int32_t CacheCapacity() const { return cacheCapacity_; }
  size_t CachedPageCount() const { return sharedCache_.Count(); }
  bool IsCached(int32_t pageNo) const { return sharedCache_.Contains(pageNo); }

  // Whether the session has private pages, or added or removed page numbers.
  bool HasSessionChanges(int32_t session) const;
  size_t PrivatePageCount(int32_t session) const;
  std::vector<int32_t> NewPageNumbers(int32_t session) const;
  // The numbers of the session's private pages, ascending.
  std::vector<int32_t> PrivatePageNumbers(int32_t session) const;
  // Page numbers added and not yet committed or cancelled, by every session.
  std::vector<int32_t> AllNewPageNumbers() const;
  // The session's transaction was undone in the file by other means (a rolled-back
  // file gave its added page numbers back): its pages and numbers go without a trace.
  void DiscardSessionChanges(int32_t session);
  std::vector<int32_t> RemovedPageNumbers(int32_t session) const;
  // 20097 while any session still has private pages.
  void CheckNoUncommittedPages() const;
  // Forgets every unchanged page read so far (the file changed under the cache): idle
  // pages are freed, pages in use lose their stamps and are freed at their last release.
  void DiscardCachedPages();

  // 20186 for -1 and for numbers below the system session.
  static void CheckSession(int32_t session);

 protected:
  // Page geometry; set by the subclass before the first page is handed out.
  void SetPageSize(uint16_t pageSize, uint16_t pageHeaderSize = DefaultPageHeaderSize);
  void SetPageCount(int32_t pageCount) { pageCount_ = pageCount; }
  int32_t PageCount() const { return pageCount_; }

  // The two halves of ApplyChanges, for a subclass that makes the writes durable in
  // between: the writes, which leave the session as it is (20152 and the other refusals
  // come before the first write), and the handing over of its pages to the shared cache.
  void WriteSessionChanges(int32_t session);
  void FinishSessionChanges(int32_t session);

  // Brings a cached page that another process may have changed up to date before the
  // session uses it (called when checkVersions is set and IsPageCacheValid says no, and
  // only for a page nobody is using). Base: nothing, a page store of one process cannot
  // change underneath its cache.
  virtual void RevalidateCachedPage(int32_t session, TZDBPage& page);

 private:
  struct SessionEntry {
    int32_t session;
    TZDBSortedPageList privatePages;
    std::vector<int32_t> newPageNumbers;
    std::vector<int32_t> removedPageNumbers;
  };

  SessionEntry* FindSession(int32_t session) const;
  SessionEntry& SessionFor(int32_t session);
  // Takes the page of that number out of the list and frees it; a page still in use is
  // kept aside until its last PutPage, so no user is left holding a freed page.
  void DropPage(TZDBSortedPageList& list, int32_t pageNo);
  void FreeOrDetach(std::unique_ptr<TZDBPage> page);
  void EvictIfOverCapacity();
  // Moves a committed page into the shared cache (replacing a stale copy) or frees it.
  void CacheCommittedPage(std::unique_ptr<TZDBPage> page);

  int32_t cacheCapacity_;
  TZDBSortedPageList sharedCache_;
  std::map<int32_t, std::unique_ptr<SessionEntry>> sessions_;
  std::vector<std::unique_ptr<TZDBPage>> detachedPages_;  // dropped while in use; freed at their last put
  uint16_t pageSize_ = DefaultPageSize;
  uint16_t pageHeaderSize_ = DefaultPageHeaderSize;
  uint16_t pageDataSize_ = DefaultPageSize - DefaultPageHeaderSize;
  int32_t pageCount_ = 0;
  bool multiUser_ = false;
};

}  // namespace zdb
