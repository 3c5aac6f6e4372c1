#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBSortedPageList.h"
#include "tests/engine/file/support/MemoryPageManager.h"

namespace zdb {
namespace {

using test::MemoryPageManager;
using test::SetValue;
using test::ValueOf;

constexpr uint16_t RecordPage = 10;
constexpr uint16_t IndexPage = 12;
constexpr uint16_t Any = TZDBPageManager::AnyPageType;

void ExpectError(const std::function<void()>& action, int32_t code, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "expected error " << code << " \"" << message << "\"";
  } catch (const EZDBException& e) {
    EXPECT_EQ(e.NativeError(), code);
    EXPECT_EQ(e.Message(), message);
  }
}

// --- sorted page list ----------------------------------------------------------------------

TEST(SortedPageList, KeepsPagesInPageOrderAndReportsMissingOnes) {
  MemoryPageManager manager;
  TZDBSortedPageList list;
  ExpectError([&] { list.Delete(3); }, 20165, "TSortedPageList.Delete - no elements in array!");

  TZDBPage* p7 = list.Add(std::make_unique<TZDBPage>(manager, 7));
  TZDBPage* p2 = list.Add(std::make_unique<TZDBPage>(manager, 2));
  TZDBPage* p5 = list.Add(std::make_unique<TZDBPage>(manager, 5));
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.At(0), p2);
  EXPECT_EQ(list.At(1), p5);
  EXPECT_EQ(list.At(2), p7);
  EXPECT_EQ(list.Find(5), p5);
  EXPECT_EQ(list.Find(6), nullptr);
  EXPECT_EQ(p5->OwnerList(), &list);

  ExpectError([&] { list.Delete(6); }, 20166,
              "TSortedPageList.Delete - element not found, key = 6, itemCount = 3");
  ExpectError([&] { list.Touch(6); }, 20167, "Page not found");

  // The page taken out is the caller's now.
  const std::unique_ptr<TZDBPage> taken = list.Delete(5);
  EXPECT_EQ(taken.get(), p5);
  EXPECT_EQ(taken->OwnerList(), nullptr);
  EXPECT_EQ(list.Count(), 2u);
  list.Clear();
  EXPECT_TRUE(list.Empty());
}

// Finds remember where they last hit, and use order is kept apart from page order: both
// must survive pages being added and removed around them.
TEST(SortedPageList, FindAndUseOrderStayRightWhilePagesComeAndGo) {
  MemoryPageManager manager;
  TZDBSortedPageList list;
  const auto add = [&](int32_t pageNo) { return list.Add(std::make_unique<TZDBPage>(manager, pageNo)); };
  TZDBPage* p2 = add(2);
  TZDBPage* p4 = add(4);
  TZDBPage* p6 = add(6);
  EXPECT_EQ(list.Find(4), p4);
  EXPECT_EQ(list.Find(6), p6);

  TZDBPage* p3 = add(3);  // shifts 4 and 6 to later positions
  EXPECT_EQ(list.Find(4), p4);
  EXPECT_EQ(list.Find(6), p6);
  EXPECT_EQ(list.Find(3), p3);
  EXPECT_EQ(list.Delete(4).get(), p4);
  EXPECT_EQ(list.Find(4), nullptr);
  EXPECT_EQ(list.Find(6), p6);
  EXPECT_EQ(list.Find(5), nullptr);

  // Use order now: 2, 6, 3. Touching the oldest, and taking out and putting back the next,
  // leaves 3 the least recently used.
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), p2);
  list.Touch(*p2);
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), p6);
  p6 = list.Add(list.Delete(6));
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), p3);
  list.Delete(3);
  list.Delete(2);
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), p6);
  const std::unique_ptr<TZDBPage> last = list.Delete(6);
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), nullptr);
  ExpectError([&] { list.Touch(*last); }, 20167, "Page not found");
}

TEST(SortedPageList, LeastRecentlyUsedFollowsAddsAndTouchesAndSkipsPagesInUse) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 0);
  manager.Store(3, RecordPage, 0);
  manager.Store(4, RecordPage, 0);
  TZDBSortedPageList list;
  TZDBPage* p3 = list.Add(std::make_unique<TZDBPage>(manager, 3));
  TZDBPage* p2 = list.Add(std::make_unique<TZDBPage>(manager, 2));
  list.Add(std::make_unique<TZDBPage>(manager, 4));
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), p3);
  list.Touch(3);
  EXPECT_EQ(list.LeastRecentlyUsedIdle(), p2);
  EXPECT_LT(list.UseClock(4), list.UseClock(3));
  list.Clear();

  // A page in use is never the victim, however old.
  TZDBPageRef inUse(manager, 0, 2, false, Any);
  TZDBPageRef other(manager, 0, 3, false, Any);
  other.Release();
  TZDBPageRef third(manager, 0, 4, false, Any);
  third.Release();
  ASSERT_EQ(manager.CachedPageCount(), 3u);
  ASSERT_EQ(inUse->OwnerList()->LeastRecentlyUsedIdle()->PageNo(), 3);
}

// --- page --------------------------------------------------------------------------------

TEST(Page, FreshHeaderAndBufferRules) {
  MemoryPageManager manager(10, 128);
  TZDBPage page(manager, 4);
  EXPECT_FALSE(page.HasBuffer());
  ExpectError([&] { page.PageVersion(); }, 20038, "Invalid page buffer. Buffer is Nil");
  ExpectError([&] { page.EnlargeBuffer(200); }, 20038, "Invalid page buffer. Buffer is Nil");

  page.InitializeHeader();
  EXPECT_EQ(page.BufferSize(), 128u);
  EXPECT_EQ(page.PageTag(), 0x5042445Au);
  EXPECT_EQ(page.Buffer()[0], 'Z');
  EXPECT_EQ(page.Buffer()[3], 'P');
  EXPECT_EQ(page.PageVersion(), 0);
  EXPECT_EQ(page.PageType(), 0);
  EXPECT_EQ(page.NextPageNo(), -1);
  EXPECT_EQ(page.DataCRC(), 0u);
  EXPECT_EQ(page.PageCipherCode(), 0);
  EXPECT_EQ(page.OwnerObjectID(), -1);
  EXPECT_EQ(page.Data(), page.Buffer() + 40);
  EXPECT_EQ(page.DataSize(), 88u);
  EXPECT_TRUE(page.OwnsBuffer());
  EXPECT_TRUE(page.EncryptOnWrite());

  // Header fields are little-endian at their offsets.
  page.SetNextPageNo(0x01020304);
  EXPECT_EQ(page.Buffer()[10], 0x04);
  EXPECT_EQ(page.Buffer()[13], 0x01);

  page.Data()[0] = 0xAB;
  ExpectError([&] { page.EnlargeBuffer(127); }, 20039, "Invalid page modification");
  page.EnlargeBuffer(140);
  EXPECT_EQ(page.BufferSize(), 140u);
  EXPECT_EQ(page.Data()[0], 0xAB);
  EXPECT_EQ(page.Buffer()[139], 0);
  EXPECT_EQ(page.NextPageNo(), 0x01020304);
}

TEST(Page, SessionStampsAreKeptPerSession) {
  MemoryPageManager manager;
  TZDBPage page(manager, 2);
  int32_t stamp = 0;
  EXPECT_FALSE(page.SessionStamp(0, stamp));
  page.SetSessionStamp(-2, 7);
  page.SetSessionStamp(3, 9);
  ASSERT_TRUE(page.SessionStamp(-2, stamp));
  EXPECT_EQ(stamp, 7);
  ASSERT_TRUE(page.SessionStamp(3, stamp));
  EXPECT_EQ(stamp, 9);
  EXPECT_FALSE(page.SessionStamp(1, stamp));
  EXPECT_FALSE(page.SessionStamp(-1, stamp));
  ExpectError([&] { page.SetSessionStamp(-1, 1); }, 20186, "Invalid Session ID");
  page.InvalidateSessionStamps();
  EXPECT_FALSE(page.SessionStamp(3, stamp));
}

// --- page manager ------------------------------------------------------------------------

TEST(PageManager, CacheCapacityFollowsMemory) {
  const uint64_t page = TZDBPageManager::CacheBytesPerPage;
  EXPECT_EQ(TZDBPageManager::DefaultCacheCapacity(10 * page), 10);
  EXPECT_EQ(TZDBPageManager::DefaultCacheCapacity(10 * page + page - 1), 10);
  EXPECT_EQ(TZDBPageManager::DefaultCacheCapacity(page - 1), 0);
  EXPECT_LE(TZDBPageManager::DefaultCacheCapacity(), 1000);
  EXPECT_LE(TZDBPageManager::DefaultCacheCapacity(uint64_t{1} << 40), 1000);
}

TEST(PageManager, InvalidSessionIsRefusedEverywhere) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  const std::function<void()> calls[] = {
      [&] { manager.GetPage(-1, 2, false, Any); },
      [&] { manager.GetPage(-3, 2, false, Any); },
      [&] { manager.AddPage(-1, RecordPage); },
      [&] { manager.RemovePage(-1, 2); },
      [&] { manager.ApplyChanges(-1); },
      [&] { manager.CancelChanges(-1); },
  };
  for (const auto& call : calls) ExpectError(call, 20186, "Invalid Session ID");
  EXPECT_EQ(manager.CachedPageCount(), 0u);
  EXPECT_TRUE(manager.reads.empty());
}

TEST(PageManager, ReadsOnceThenServesFromTheSharedCache) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 41);
  for (int32_t session : {0, 1, -2}) {
    TZDBPageRef page(manager, session, 2, false, RecordPage);
    EXPECT_EQ(ValueOf(*page), 41u);
    EXPECT_EQ(page->SessionID(), session);
    EXPECT_EQ(page->UseCount(), 1);
  }
  EXPECT_EQ(manager.reads, std::vector<int32_t>{2});
  EXPECT_TRUE(manager.IsCached(2));
}

TEST(PageManager, ReadFailureAndWrongTypeAreReported) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  manager.Store(3, RecordPage, 1);
  manager.failReadOf = 3;
  ExpectError([&] { manager.GetPage(0, 3, false, RecordPage); }, 20299,
              "Error reading database file page. Page No: 3, type 10");
  ExpectError([&] { manager.GetPage(0, 9, false, Any); }, 20299,
              "Error reading database file page. Page No: 9, type 255");
  EXPECT_FALSE(manager.IsCached(3));  // a failed read leaves nothing behind
  manager.failReadOf = -1;
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 0, 3, false, RecordPage)), 1u);

  // The wrong type is refused whether the page comes from the store or the cache.
  for (int attempt = 0; attempt < 2; ++attempt) {
    ExpectError([&] { manager.GetPage(0, 2, false, IndexPage); }, 20153,
                "Invalid page type. Possible data corruption. Expecting type 12, but found 10");
  }
  EXPECT_EQ(TZDBPageRef(manager, 1, 2, false, RecordPage)->UseCount(), 1);  // not left in use
}

TEST(PageManager, PageInUseBelongsToOneSessionAtATime) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  TZDBPageRef first(manager, 0, 2, false, Any);
  {
    TZDBPageRef again(manager, 0, 2, false, Any);  // the same session may nest
    EXPECT_EQ(again.Get(), first.Get());
    EXPECT_EQ(first->UseCount(), 2);
  }
  ExpectError([&] { manager.GetPage(1, 2, false, Any); }, 20090, "Page is used by other session");
  first.Release();
  TZDBPageRef second(manager, 1, 2, false, Any);
  EXPECT_EQ(second->SessionID(), 1);
}

TEST(PageManager, RollbackShowsTheStoredPageAgain) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 100);
  {
    TZDBPageRef page(manager, 0, 2, false, RecordPage);
    SetValue(*page, 200);
  }
  EXPECT_EQ(manager.PrivatePageCount(0), 1u);
  EXPECT_FALSE(manager.IsCached(2));
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 0, 2, false, RecordPage)), 200u);
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 1, 2, false, RecordPage)), 100u);  // private to session 0

  manager.CancelChanges(0);
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 0, 2, false, RecordPage)), 100u);
  EXPECT_TRUE(manager.writes.empty());
  EXPECT_FALSE(manager.HasSessionChanges(0));
}

TEST(PageManager, CommitWritesPrivatePagesInOrderAndSharesThem) {
  MemoryPageManager manager;
  for (int32_t n : {2, 3, 4}) manager.Store(n, RecordPage, 1, 500);
  for (int32_t n : {4, 2}) {
    TZDBPageRef page(manager, 0, n, false, RecordPage);
    SetValue(*page, 10 + static_cast<uint32_t>(n));
  }
  TZDBPageRef added = TZDBPageRef::Add(manager, 0, IndexPage);
  const int32_t addedNo = added->PageNo();
  SetValue(*added, 99);
  added.Release();

  manager.ApplyChanges(0);
  EXPECT_EQ(manager.writes, (std::vector<int32_t>{2, 4, addedNo}));
  EXPECT_EQ(manager.StoredValue(4), 14u);
  EXPECT_EQ(manager.StoredVersion(4), 501);
  EXPECT_FALSE(manager.HasSessionChanges(0));
  EXPECT_TRUE(manager.IsCached(4));
  EXPECT_TRUE(manager.IsCached(addedNo));

  const size_t readsBefore = manager.reads.size();
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 1, 2, false, RecordPage)), 12u);
  TZDBPageRef fromCache(manager, 1, addedNo, false, IndexPage);
  EXPECT_EQ(ValueOf(*fromCache), 99u);
  EXPECT_FALSE(fromCache->Dirty());
  EXPECT_EQ(manager.reads.size(), readsBefore);
}

TEST(PageManager, EmptyCommitWritesAndFreesNothing) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  { TZDBPageRef read(manager, 0, 2, false, Any); }  // read without a change
  EXPECT_FALSE(manager.HasSessionChanges(0));
  manager.ApplyChanges(0);
  manager.ApplyChanges(5);  // a session never seen
  EXPECT_TRUE(manager.writes.empty());
  EXPECT_TRUE(manager.frees.empty());
}

TEST(PageManager, PageAddedAndRemovedBeforeCommitIsFreedNeverWritten) {
  MemoryPageManager manager;
  int32_t pageNo = 0;
  {
    TZDBPageRef page = TZDBPageRef::Add(manager, 0, RecordPage);
    pageNo = page->PageNo();
    SetValue(*page, 5);
  }
  manager.RemovePage(0, pageNo);
  manager.RemovePage(0, pageNo);  // counted once
  manager.ApplyChanges(0);
  EXPECT_TRUE(manager.writes.empty());
  EXPECT_EQ(manager.frees, std::vector<int32_t>{pageNo});
  EXPECT_FALSE(manager.IsCached(pageNo));
  EXPECT_EQ(manager.PrivatePageCount(0), 0u);
}

TEST(PageManager, AddedPageIsNewDirtyAndPrivate) {
  MemoryPageManager manager;
  TZDBPageRef page = TZDBPageRef::Add(manager, 3, IndexPage);
  EXPECT_EQ(page->PageType(), IndexPage);
  EXPECT_GE(page->PageVersion(), 0);
  EXPECT_LE(page->PageVersion(), 0x3FFFFFFE);
  EXPECT_TRUE(page->Dirty());
  EXPECT_EQ(page->UseCount(), 1);
  EXPECT_EQ(page->SessionID(), 3);
  EXPECT_EQ(page->NextPageNo(), -1);
  EXPECT_EQ(manager.NewPageNumbers(3), std::vector<int32_t>{page->PageNo()});
  EXPECT_EQ(manager.PrivatePageCount(3), 1u);
  // Another session cannot see it: the number is not in the store yet.
  ExpectError([&] { manager.GetPage(4, page->PageNo(), false, Any); }, 20299,
              "Error reading database file page. Page No: " + std::to_string(page->PageNo()) + ", type 255");

  manager.refuseNumbers = true;
  ExpectError([&] { manager.AddPage(3, IndexPage); }, 20064, "Invalid page number");
}

TEST(PageManager, RollbackFreesAddedPagesAndKeepsRemovedOnes) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 7);
  int32_t added = 0;
  {
    TZDBPageRef page = TZDBPageRef::Add(manager, 0, RecordPage);
    added = page->PageNo();
  }
  manager.RemovePage(0, 2);
  manager.CancelChanges(0);
  EXPECT_EQ(manager.frees, std::vector<int32_t>{added});
  EXPECT_TRUE(manager.allocated.count(2));
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 0, 2, false, RecordPage)), 7u);
  manager.ApplyChanges(0);  // the removal went with the rollback
  EXPECT_TRUE(manager.frees.size() == 1 && manager.writes.empty());
}

TEST(PageManager, CommitWithPagesInUseIsRefusedAndChangesNothing) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  manager.Store(3, RecordPage, 1);
  manager.RemovePage(0, 3);
  {
    TZDBPageRef held(manager, 0, 2, false, Any);
    ExpectError([&] { manager.ApplyChanges(0); }, 20152, "Some session pages not released");
    SetValue(*held, 2);
  }
  {
    TZDBPageRef heldPrivate(manager, 0, 2, false, Any);
    ExpectError([&] { manager.ApplyChanges(0); }, 20086, "Cannot write used page");
    ExpectError([&] { manager.CancelChanges(0); }, 20088, "Cannot remove used page");
  }
  EXPECT_TRUE(manager.frees.empty());
  EXPECT_TRUE(manager.writes.empty());

  // Another session's page in use blocks that session's commit, not this one.
  TZDBPageRef othersCopy(manager, 1, 2, false, Any);  // reads the stored version
  ExpectError([&] { manager.ApplyChanges(1); }, 20152, "Some session pages not released");
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.frees, std::vector<int32_t>{3});
  EXPECT_EQ(manager.writes, std::vector<int32_t>{2});
  EXPECT_EQ(ValueOf(*othersCopy), 1u);
  othersCopy.Release();
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 1, 2, false, Any)), 2u);
}

TEST(PageManager, PrivatePageThatIsNoLongerDirtyIsRefused) {
  MemoryPageManager manager;
  TZDBPageRef page = TZDBPageRef::Add(manager, 0, RecordPage);
  page->SetDirty(false);
  page.Release();
  ExpectError([&] { manager.ApplyChanges(0); }, 20085, "Invalid page");
  ExpectError([&] { manager.CancelChanges(0); }, 20087, "Invalid index page");
  ExpectError([&] { manager.CheckNoUncommittedPages(); }, 20097, "Cannot free non-commited pages");
}

TEST(PageManager, PutWithoutMatchingGetIsRefused) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  TZDBPage* page = manager.GetPage(0, 2, false, Any);
  manager.PutPage(page);
  ExpectError([&] { manager.PutPage(page); }, 20085, "Invalid page");
  ExpectError([&] { manager.PutPage(nullptr); }, 20085, "Invalid page");
  MemoryPageManager other;
  TZDBPage foreign(other, 2);
  ExpectError([&] { manager.PutPage(&foreign); }, 20085, "Invalid page");
}

TEST(PageManager, EvictionTakesTheLeastRecentlyUsedIdlePage) {
  MemoryPageManager manager(3);
  for (int32_t n = 2; n <= 7; ++n) manager.Store(n, RecordPage, static_cast<uint32_t>(n));
  TZDBPageRef pinned(manager, 0, 2, false, Any);  // oldest, but in use throughout
  for (int32_t n : {3, 4}) TZDBPageRef(manager, 0, n, false, Any);
  TZDBPageRef(manager, 0, 3, false, Any);  // 3 is now more recent than 4
  TZDBPageRef(manager, 0, 5, false, Any);
  EXPECT_EQ(manager.CachedPageCount(), 3u);
  EXPECT_TRUE(manager.IsCached(2));
  EXPECT_FALSE(manager.IsCached(4));
  EXPECT_TRUE(manager.IsCached(3));
  EXPECT_TRUE(manager.IsCached(5));

  // Every page in use: the cache may grow past its capacity rather than lose one.
  std::vector<TZDBPageRef> held;
  for (int32_t n : {3, 5, 6, 7}) held.emplace_back(manager, 0, n, false, Any);
  EXPECT_EQ(manager.CachedPageCount(), 5u);
  EXPECT_EQ(ValueOf(*pinned), 2u);
  held.clear();  // one page leaves per release
  EXPECT_EQ(manager.CachedPageCount(), 3u);
  EXPECT_TRUE(manager.IsCached(2));
}

TEST(PageManager, CommittedPagesOnlyFillTheCacheUpToItsCapacity) {
  MemoryPageManager manager(1);
  for (int i = 0; i < 3; ++i) TZDBPageRef::Add(manager, 0, RecordPage);
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.writes.size(), 3u);
  EXPECT_EQ(manager.CachedPageCount(), 1u);
}

TEST(PageManager, CommitReplacesACopyAnotherSessionReadMeanwhile) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  {
    TZDBPageRef page(manager, 0, 2, false, Any);
    SetValue(*page, 2);
  }
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 1, 2, false, Any)), 1u);  // re-read into the cache
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.CachedPageCount(), 1u);
  EXPECT_EQ(ValueOf(*TZDBPageRef(manager, 1, 2, false, Any)), 2u);
}

TEST(PageManager, PageFreedByACommitStaysUsableUntilItsHolderPutsItBack) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 8);
  TZDBPageRef reader(manager, 1, 2, false, Any);
  manager.RemovePage(0, 2);
  manager.ApplyChanges(0);
  EXPECT_FALSE(manager.IsCached(2));
  EXPECT_EQ(ValueOf(*reader), 8u);  // still a live object (the sanitizer watches)
  reader.Release();
  EXPECT_EQ(manager.CachedPageCount(), 0u);
}

TEST(PageManager, CheckedGetRevalidatesOnlyIdleCachedPages) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  { TZDBPageRef read(manager, 0, 2, true, Any); }  // read now: nothing to revalidate
  EXPECT_TRUE(manager.revalidations.empty());
  { TZDBPageRef unchecked(manager, 0, 2, false, Any); }
  EXPECT_TRUE(manager.revalidations.empty());
  {
    TZDBPageRef checked(manager, 0, 2, true, Any);
    TZDBPageRef nested(manager, 0, 2, true, Any);  // in use: never re-read under its user
  }
  EXPECT_EQ(manager.revalidations, std::vector<int32_t>{2});
  {
    TZDBPageRef page(manager, 0, 2, false, Any);
    SetValue(*page, 3);
  }
  { TZDBPageRef privateCopy(manager, 0, 2, true, Any); }  // the session's own change
  EXPECT_EQ(manager.revalidations.size(), 1u);
  manager.CancelChanges(0);
}

// A retry after a failed write must write the whole transaction: the pages written before
// the failure may not have reached the store either.
TEST(PageManager, AFailedWriteLeavesTheWholeCommitForARetry) {
  MemoryPageManager manager;
  for (int32_t n : {2, 3}) {
    manager.Store(n, RecordPage, 0);
    TZDBPageRef page(manager, 0, n, false, Any);
    SetValue(*page, 50 + static_cast<uint32_t>(n));
  }
  manager.failWriteOf = 3;
  EXPECT_THROW(manager.ApplyChanges(0), std::runtime_error);
  EXPECT_EQ(manager.writes, std::vector<int32_t>{2});
  EXPECT_EQ(manager.PrivatePageCount(0), 2u);
  manager.failWriteOf = -1;
  manager.ApplyChanges(0);
  EXPECT_EQ(manager.writes, (std::vector<int32_t>{2, 2, 3}));
  EXPECT_EQ(manager.StoredValue(2), 52u);
  EXPECT_EQ(manager.StoredValue(3), 53u);
  EXPECT_EQ(manager.PrivatePageCount(0), 0u);
}

// --- page handle ---------------------------------------------------------------------------

TEST(PageRef, PutsThePageBackOnEveryPath) {
  MemoryPageManager manager;
  manager.Store(2, RecordPage, 1);
  try {
    TZDBPageRef page(manager, 0, 2, false, Any);
    SetValue(*page, 9);
    throw std::runtime_error("caller failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(manager.PrivatePageCount(0), 1u);  // released dirty: kept for the session
  manager.CancelChanges(0);

  TZDBPageRef moved;
  {
    TZDBPageRef original(manager, 0, 2, false, Any);
    moved = std::move(original);
    EXPECT_FALSE(original);
  }
  EXPECT_EQ(moved->UseCount(), 1);
  TZDBPageRef target(manager, 0, 2, false, Any);
  target = std::move(moved);  // the page held before is put back, once
  EXPECT_EQ(target->UseCount(), 1);
  TZDBPage* raw = target.Detach();
  EXPECT_FALSE(target);
  TZDBPageRef adopted(raw);
  adopted.Release();
  EXPECT_EQ(raw->UseCount(), 0);
  manager.ApplyChanges(0);
}

}  // namespace
}  // namespace zdb
