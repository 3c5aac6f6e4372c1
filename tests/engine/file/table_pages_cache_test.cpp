#include <gtest/gtest.h>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBTablePagesCache.h"
#include "tests/engine/file/support/MemoryPageManager.h"

namespace zdb {
namespace {

constexpr uint8_t Read = TZDBDiskTablePagesCacheManager::ReadLockKind;
constexpr uint8_t Write = TZDBDiskTablePagesCacheManager::WriteLockKind;
constexpr int32_t Table = 17;

TEST(TablePagesCache, StampIsTakenOnceWhileLockedAndForgottenWithTheLastLock) {
  TZDBDiskTablePagesCacheManager tracker;
  tracker.TableChangeCountRead(0, Table, 5);  // no lock: not a stamp
  EXPECT_EQ(tracker.TableInfo(0, Table)->StampKnown, false);

  tracker.TableLocked(0, Table, Read);
  tracker.TableLocked(0, Table, Write);
  tracker.TableLocked(0, Table, 5);  // a record lock is not counted
  tracker.TableChangeCountRead(0, Table, 6);
  tracker.TableChangeCountRead(0, Table, 7);  // only the first read counts
  const TZDBDTPCTableInfo* info = tracker.TableInfo(0, Table);
  EXPECT_EQ(info->TableObjectID, Table);
  EXPECT_EQ(info->ReadLockCount, 1);
  EXPECT_EQ(info->WriteLockCount, 1);
  EXPECT_TRUE(info->StampKnown);
  EXPECT_EQ(info->Stamp, 6);

  tracker.TableUnlocked(0, Table, Read);
  EXPECT_TRUE(info->StampKnown);  // the write lock still holds it
  tracker.TableUnlocked(0, Table, Write);
  EXPECT_FALSE(info->StampKnown);
  EXPECT_EQ(info->Stamp, -1);
  tracker.TableUnlocked(0, Table, Write);  // never below zero
  EXPECT_EQ(info->WriteLockCount, 0);
  EXPECT_EQ(tracker.TableInfo(1, Table), nullptr);  // per session
}

TEST(TablePagesCache, CurrentStampIsTheTopTablesWhileItIsLocked) {
  TZDBDiskTablePagesCacheManager tracker;
  int32_t stamp = 0;
  EXPECT_FALSE(tracker.CurrentStamp(-2, stamp));
  tracker.TableLocked(-2, Table, Read);
  tracker.TableChangeCountRead(-2, Table, 40);
  {
    TZDBDTPCTableScope scope(tracker, -2, Table);
    ASSERT_TRUE(tracker.CurrentStamp(-2, stamp));
    EXPECT_EQ(stamp, 40);
    {
      TZDBDTPCTableScope inner(tracker, -2, Table + 1);  // no stamp for this one
      EXPECT_FALSE(tracker.CurrentStamp(-2, stamp));
    }
    EXPECT_TRUE(tracker.CurrentStamp(-2, stamp));
    EXPECT_FALSE(tracker.CurrentStamp(0, stamp));
  }
  EXPECT_FALSE(tracker.CurrentStamp(-2, stamp));  // popped
  tracker.PopTable(-2);                           // nothing to pop: no harm

  tracker.RemoveSession(-2);
  EXPECT_EQ(tracker.TableInfo(-2, Table), nullptr);
  EXPECT_THROW(tracker.PushTable(-1, Table), EZDBException);
  EXPECT_THROW(tracker.TableLocked(-1, Table, Read), EZDBException);
}

TEST(TablePagesCache, PageIsCurrentWhenStampedWithTheSessionsTableStamp) {
  test::MemoryPageManager manager;
  TZDBPage page(manager, 2);
  TZDBDiskTablePagesCacheManager tracker;
  tracker.TableLocked(0, Table, Read);
  tracker.TableChangeCountRead(0, Table, 3);
  TZDBDTPCTableScope scope(tracker, 0, Table);

  EXPECT_FALSE(tracker.IsPageCacheValid(0, page));
  tracker.MarkPageCacheValid(0, page);
  EXPECT_TRUE(tracker.IsPageCacheValid(0, page));
  EXPECT_FALSE(tracker.IsPageCacheValid(1, page));  // another session proves nothing

  // Once the lock is gone another process may have changed the table.
  tracker.TableUnlocked(0, Table, Read);
  EXPECT_FALSE(tracker.IsPageCacheValid(0, page));
  tracker.TableLocked(0, Table, Read);
  tracker.TableChangeCountRead(0, Table, 4);
  EXPECT_FALSE(tracker.IsPageCacheValid(0, page));
  tracker.MarkPageCacheValid(0, page);
  EXPECT_TRUE(tracker.IsPageCacheValid(0, page));
}

}  // namespace
}  // namespace zdb
