// Table locks: which kinds two users may hold side by side on one table (across real
// processes), nesting, locks covered by a stronger lock of the same session, and the
// errors of the lock manager.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "engine/file/ZDBTableLockManager.h"
#include "support/DiskTestSupport.h"
#include "support/LockingDatabase.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::LockingPeer;
using test::OpenedDatabase;
using test::Raised;

constexpr size_t TableA = 0;
constexpr size_t TableB = 1;
constexpr size_t SmallTable = 2;  // its region was made for 2 slots only

class TableLocks : public testing::Test {
 protected:
  test::TempFolder folder_;
  std::string path_ = folder_.File("locking.zdb");
  test::LockingLayout layout_ = test::CreateLockingDatabase(path_, 8, {8, 8, 2});
};

struct CompatibilityCase {
  int held;
  int requested;
  bool flag;  // the requester's flag
  bool granted;
};

// Written out by hand rather than taken from the engine, so that a wrong entry there
// shows here.
constexpr CompatibilityCase CompatibilityCases[] = {
    {0, 0, false, true},  {0, 1, false, true},  {0, 2, false, true},  {0, 3, false, true},
    {0, 4, false, true},  {0, 5, false, true},  {0, 6, false, false}, {1, 0, false, true},
    {1, 1, false, true},  {1, 2, false, true},  {1, 3, false, true},  {1, 4, false, false},
    {1, 5, false, true},  {1, 6, false, false}, {2, 0, false, true},  {2, 1, false, true},
    {2, 2, false, true},  {2, 3, false, false}, {2, 4, false, true},  {2, 5, false, true},
    {2, 6, false, false}, {3, 0, false, true},  {3, 1, false, true},  {3, 2, false, false},
    {3, 3, false, false}, {3, 4, false, false}, {3, 5, false, true},  {3, 6, false, false},
    {4, 0, false, true},  {4, 1, false, false}, {4, 2, false, true},  {4, 3, false, false},
    {4, 4, false, false}, {4, 5, false, true},  {4, 6, false, false}, {5, 0, false, true},
    {5, 1, false, true},  {5, 2, false, true},  {5, 3, false, true},  {5, 4, false, true},
    {5, 5, false, true},  {5, 6, false, false}, {6, 0, false, false}, {6, 1, false, false},
    {6, 2, false, false}, {6, 3, false, false}, {6, 4, false, false}, {6, 5, false, false},
    {6, 6, false, false},
    // A transaction lock taken with the flag does not wait for other users' edit locks,
    // and only for those.
    {2, 3, true, true},   {4, 3, true, false},  {3, 3, true, false},
};

TEST_F(TableLocks, KindsHeldByAnotherProcessAdmitOnlyCompatibleKinds) {
  LockingPeer other;
  other.Open(path_, layout_);
  ASSERT_EQ(other.Run("connect"), 0);
  OpenedDatabase self(path_, layout_);
  const int32_t session = 1;  // the other process has session 0
  const std::string table = std::to_string(layout_.regions[TableA]);

  for (const CompatibilityCase& c : CompatibilityCases) {
    SCOPED_TRACE("held " + std::to_string(c.held) + ", requested " + std::to_string(c.requested) +
                 (c.flag ? " with the flag" : ""));
    ASSERT_EQ(other.Run("lock 0 " + std::to_string(c.held) + " 0 " + table + " 0 1"), 1);
    const auto requested = static_cast<TZDBTableLockKind>(c.requested);
    const bool granted = self.Lock(session, requested, TableA, c.flag);
    EXPECT_EQ(granted, c.granted);
    if (granted) {
      EXPECT_TRUE(self.Unlock(session, requested, TableA));
    }
    ASSERT_EQ(other.Run("unlock 0 " + std::to_string(c.held) + " " + table), 1);
  }
}

TEST_F(TableLocks, AWaitingLockIsGrantedOnceTheHolderLetsGo) {
  LockingPeer other;
  other.Open(path_, layout_);
  const std::string table = std::to_string(layout_.regions[TableA]);
  ASSERT_EQ(other.Run("lock 0 4 0 " + table + " 0 1"), 1);
  OpenedDatabase self(path_, layout_);
  EXPECT_FALSE(self.Lock(1, TableLockRead, TableA));
  // The holder lets go while the reader sleeps between its attempts.
  other.Send("unlock 0 4 " + table);
  EXPECT_TRUE(self.Locks().LockTable(1, TableLockRead, false, false, 20, 500, self.Region(TableA)));
  EXPECT_EQ(other.Reply(), 1);
}

TEST_F(TableLocks, SessionsOfOneProcessExcludeEachOther) {
  OpenedDatabase db(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockWrite, TableA));
  EXPECT_FALSE(db.Lock(1, TableLockRead, TableA));
  EXPECT_TRUE(db.Lock(1, TableLockEdit, TableA));
  // A write lock on a second table is a lock byte of its own.
  ASSERT_TRUE(db.Lock(0, TableLockWrite, TableB));
  EXPECT_FALSE(db.Lock(1, TableLockRead, TableB));
}

TEST_F(TableLocks, ASessionWaitingInOneThreadLetsAnotherThreadRelease) {
  OpenedDatabase db(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockRead, TableA));
  bool granted = false;
  std::thread writer([&] {
    granted = db.Locks().LockTable(1, TableLockWrite, false, false, 20, 500, db.Region(TableA));
  });
  os::SleepMs(50);  // let the writer start waiting; the release below needs the section it sleeps outside
  EXPECT_TRUE(db.Unlock(0, TableLockRead, TableA));
  writer.join();
  EXPECT_TRUE(granted);
}

TEST_F(TableLocks, NestedLocksCountAndASecondEditLockIsRefused) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockOpen, TableA));
  ASSERT_TRUE(db.Lock(0, TableLockOpen, TableA));
  EXPECT_TRUE(db.Unlock(0, TableLockOpen, TableA));
  EXPECT_FALSE(other.Lock(1, TableLockExclusive, TableA));
  EXPECT_TRUE(db.Unlock(0, TableLockOpen, TableA));
  EXPECT_TRUE(other.Lock(1, TableLockExclusive, TableA));
  EXPECT_TRUE(other.Unlock(1, TableLockExclusive, TableA));

  ASSERT_TRUE(db.Lock(0, TableLockEdit, TableA));
  EXPECT_FALSE(db.Lock(0, TableLockEdit, TableA));
  EXPECT_TRUE(db.Unlock(0, TableLockEdit, TableA));
  EXPECT_TRUE(db.Locks().SessionLocks(0).IsEmpty());
  db.Locks().CheckNoLocksLeft();
}

TEST_F(TableLocks, ForceReleasesEveryNestedTake) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockRead, TableA));
  ASSERT_TRUE(db.Lock(0, TableLockRead, TableA));
  EXPECT_TRUE(db.Locks().UnlockTable(0, TableLockRead, true, false, db.Region(TableA)));
  EXPECT_TRUE(other.Lock(1, TableLockWrite, TableA));
}

TEST_F(TableLocks, ACoveredLockIsPutInTheFileWhenTheCoveringLockGoes) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockExclusive, TableA));
  ASSERT_TRUE(db.Lock(0, TableLockOpen, TableA));
  const TZDBTableLockEntry* open = db.Locks().SessionLocks(0).Entries().data() + 1;
  EXPECT_EQ(open->Kind, TableLockOpen);
  EXPECT_FALSE(open->Applied);

  EXPECT_TRUE(db.Unlock(0, TableLockExclusive, TableA));
  // The open lock now stands on its own byte.
  EXPECT_FALSE(other.Lock(1, TableLockExclusive, TableA));
  EXPECT_TRUE(other.Lock(1, TableLockOpen, TableA));
  EXPECT_TRUE(other.Unlock(1, TableLockOpen, TableA));
  EXPECT_TRUE(db.Unlock(0, TableLockOpen, TableA));
  EXPECT_TRUE(other.Lock(1, TableLockExclusive, TableA));
}

TEST_F(TableLocks, ReleasingUnderOwnExclusiveLockDoesNotWaitForItsOwnGuard) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockOpen, TableA));
  ASSERT_TRUE(db.Lock(0, TableLockExclusive, TableA));  // only other users' locks stand in the way
  EXPECT_TRUE(db.Unlock(0, TableLockOpen, TableA));
  EXPECT_FALSE(other.Lock(1, TableLockOpen, TableA));
  EXPECT_TRUE(db.Unlock(0, TableLockExclusive, TableA));
  EXPECT_TRUE(other.Lock(1, TableLockExclusive, TableA));
}

TEST_F(TableLocks, ReleaseThatCannotGetTheGuardKeepsTheLock) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockEdit, TableA));
  ASSERT_TRUE(other.Region(TableA).LockGuard());
  EXPECT_FALSE(db.Unlock(0, TableLockEdit, TableA));
  ASSERT_TRUE(other.Region(TableA).UnlockGuard());
  EXPECT_FALSE(other.Lock(1, TableLockTransaction, TableA));
  EXPECT_TRUE(db.Unlock(0, TableLockEdit, TableA));
  EXPECT_TRUE(other.Lock(1, TableLockTransaction, TableA));
}

TEST_F(TableLocks, Errors) {
  OpenedDatabase db(path_, layout_);
  const test::RaisedError notFound = Raised([&] { db.Unlock(0, TableLockRead, TableA); });
  EXPECT_EQ(notFound.text, ErrorText("Cannot remove table lock. Lock not found", 20202));
  EXPECT_TRUE(db.Locks().UnlockTable(0, TableLockRead, false, true, db.Region(TableA)));

  // A session beyond the slots the table's region was made for.
  const test::RaisedError beyond = Raised([&] { db.Lock(3, TableLockOpen, SmallTable); });
  EXPECT_EQ(beyond.text,
            ErrorText("Cannot set table lock. Try to repair database or to increase number of allowed connections",
                      20200));
  EXPECT_TRUE(db.Lock(3, TableLockExclusive, SmallTable));

  const test::RaisedError left = Raised([&] { db.Locks().CheckNoLocksLeft(); });
  EXPECT_EQ(left.text, ErrorText("Some table locks still exist", 20201));
  EXPECT_TRUE(db.Unlock(3, TableLockExclusive, SmallTable));
  db.Locks().CheckNoLocksLeft();
}

TEST_F(TableLocks, ExclusiveDatabaseGrantsEveryLockWithoutTouchingTheFile) {
  TZDBDiskPageManager manager;
  bool multiUser = true;
  bool readOnly = false;
  manager.OpenDatabaseFile(path_, TZDBPassword{}, multiUser, true, readOnly);
  TZDBTableLocksFile region(manager);
  region.Open(layout_.regions[TableA]);
  TZDBDatabaseTableLockManager locks(manager, 8);
  EXPECT_TRUE(locks.LockTable(0, TableLockExclusive, false, false, 0, 1, region));
  EXPECT_TRUE(locks.LockTable(1, TableLockExclusive, false, false, 0, 1, region));
  EXPECT_FALSE(region.IsKindLocked(TableLockOpen, 0));
  EXPECT_TRUE(region.LockGuard());
  EXPECT_TRUE(region.UnlockGuard());
  locks.CheckNoLocksLeft();
}

}  // namespace
}  // namespace zdb
