// Record locks and the locks of a transaction: one user's locked record keeps the
// others off it (across real processes), a record noted under a stronger lock reaches
// the file when that lock goes, and commit turns transaction locks into write locks and
// back into the edit lock that a record still being edited needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

class RecordLocks : public testing::Test {
 protected:
  std::string Table(size_t index) const { return std::to_string(layout_.regions.at(index)); }

  test::TempFolder folder_;
  std::string path_ = folder_.File("locking.zdb");
  test::LockingLayout layout_ = test::CreateLockingDatabase(path_, 8, {8, 8});
};

TEST_F(RecordLocks, ARecordLockedByAnotherProcessIsRefusedAfterTheWait) {
  LockingPeer other;
  other.Open(path_, layout_);
  ASSERT_EQ(other.Run("lockrecord 0 " + Table(TableA) + " 70000 3 0 1"), 1);
  OpenedDatabase self(path_, layout_);
  EXPECT_FALSE(self.LockRecord(1, TableA, 70000, 3, 5, 3));
  // Records differ by page and by slot; the same record in another table is another one.
  EXPECT_TRUE(self.LockRecord(1, TableA, 70000, 4));
  EXPECT_TRUE(self.LockRecord(1, TableB, 70000, 3));
  EXPECT_TRUE(self.LockRecord(2, TableA, 70001, 3));
  // One record per session and table.
  EXPECT_FALSE(self.LockRecord(1, TableA, 5, 5));

  // Once given back, the identifier left in the region no longer counts.
  ASSERT_EQ(other.Run("unlockrecord 0 " + Table(TableA)), 1);
  EXPECT_TRUE(self.LockRecord(3, TableA, 70000, 3));
}

TEST_F(RecordLocks, AWaitingRecordLockIsGrantedOnceTheHolderLetsGo) {
  LockingPeer other;
  other.Open(path_, layout_);
  other.Send("holdrecord 0 " + Table(TableA) + " 9 1 100");
  ASSERT_EQ(other.Reply(), 1);
  OpenedDatabase self(path_, layout_);
  EXPECT_TRUE(self.LockRecord(1, TableA, 9, 1, 10, 500));
}

TEST_F(RecordLocks, RecordNotedUnderAnExclusiveLockReachesTheFileWhenItGoes) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.Lock(0, TableLockExclusive, TableA));
  ASSERT_TRUE(db.LockRecord(0, TableA, 44, 2));
  EXPECT_FALSE(db.Region(TableA).IsKindLocked(TableLockRecord, 0));

  EXPECT_TRUE(db.Unlock(0, TableLockExclusive, TableA));
  EXPECT_FALSE(other.LockRecord(1, TableA, 44, 2));
  EXPECT_TRUE(other.LockRecord(1, TableA, 44, 1));

  EXPECT_TRUE(db.Locks().UnlockRecord(0, db.Region(TableA), test::RecordID(44, 2)));
  EXPECT_FALSE(db.Locks().UnlockRecord(0, db.Region(TableA), test::RecordID(44, 2)));
  EXPECT_TRUE(other.LockRecord(2, TableA, 44, 2));
}

TEST_F(RecordLocks, UnlockThatCannotGetTheGuardKeepsTheRecordLocked) {
  OpenedDatabase db(path_, layout_), other(path_, layout_);
  ASSERT_TRUE(db.LockRecord(0, TableA, 8, 8));
  ASSERT_TRUE(other.Region(TableA).LockGuard());
  const test::RaisedError error = Raised([&] { db.Locks().UnlockRecord(0, db.Region(TableA), {}); });
  EXPECT_EQ(error.text, ErrorText("Cannot unlock record", 20206));
  ASSERT_TRUE(other.Region(TableA).UnlockGuard());
  EXPECT_FALSE(other.LockRecord(1, TableA, 8, 8));
  EXPECT_TRUE(db.Locks().UnlockRecord(0, db.Region(TableA), {}));
  EXPECT_TRUE(other.LockRecord(1, TableA, 8, 8));
}

// A session in a transaction that changed tables A and B and still edits a record of A.
class TransactionLocks : public RecordLocks {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Lock(0, TableLockTransaction, TableA, true));
    ASSERT_TRUE(db_.Lock(0, TableLockTransaction, TableB, true));
    ASSERT_TRUE(db_.LockRecord(0, TableA, 100, 7));
  }
  bool Holds(TZDBTableLockKind kind, size_t table) {
    const auto& entries = db_.Locks().SessionLocks(0).Entries();
    return std::any_of(entries.begin(), entries.end(), [&](const TZDBTableLockEntry& entry) {
      return entry.Kind == kind && entry.Table == layout_.regions.at(table);
    });
  }

  OpenedDatabase db_{path_, layout_};
  OpenedDatabase other_{path_, layout_};
};

TEST_F(TransactionLocks, CommitWritesThenKeepsOnlyTheEditOfTheRecordStillLocked) {
  ASSERT_TRUE(db_.Locks().LockModifiedTables(0));
  EXPECT_FALSE(other_.Lock(1, TableLockRead, TableA));
  EXPECT_FALSE(other_.Lock(1, TableLockRead, TableB));

  ASSERT_TRUE(db_.Locks().ReleaseTransactionLocks(0));
  EXPECT_FALSE(Holds(TableLockTransaction, TableA));
  EXPECT_FALSE(Holds(TableLockWrite, TableB));
  EXPECT_TRUE(Holds(TableLockEdit, TableA));
  EXPECT_TRUE(other_.Lock(1, TableLockRead, TableA));
  EXPECT_TRUE(other_.Lock(1, TableLockExclusive, TableB));
  // The edit lock and the record lock are in the file now.
  EXPECT_FALSE(other_.Lock(2, TableLockTransaction, TableA));
  EXPECT_FALSE(other_.LockRecord(2, TableA, 100, 7));
}

TEST_F(TransactionLocks, CommitThatCannotLockEveryTableGivesBackItsWriteLocks) {
  ASSERT_TRUE(other_.Lock(1, TableLockRead, TableB));
  EXPECT_FALSE(db_.Locks().LockModifiedTables(0));
  EXPECT_FALSE(Holds(TableLockWrite, TableA));
  EXPECT_FALSE(Holds(TableLockWrite, TableB));
  EXPECT_TRUE(other_.Lock(1, TableLockRead, TableA));
  // The transaction's own locks stay until it ends.
  EXPECT_TRUE(Holds(TableLockTransaction, TableA));
  EXPECT_FALSE(other_.Lock(1, TableLockTransaction, TableA));
}

TEST_F(TransactionLocks, RecordLockedUnderATransactionLockWithoutTheFlagSurvivesTheCommit) {
  ASSERT_TRUE(db_.Locks().ReleaseTransactionLocks(0));
  // Taken without the flag, the transaction lock keeps every editor out: the record is
  // only noted, and must reach the file when the transaction's locks go.
  ASSERT_TRUE(db_.Lock(0, TableLockTransaction, TableB, false));
  ASSERT_TRUE(db_.LockRecord(0, TableB, 5, 5));
  EXPECT_FALSE(db_.Region(TableB).IsKindLocked(TableLockRecord, 0));
  ASSERT_TRUE(db_.Locks().ReleaseTransactionLocks(0));
  EXPECT_TRUE(db_.Region(TableB).IsKindLocked(TableLockRecord, 0));
  EXPECT_FALSE(other_.LockRecord(1, TableB, 5, 5));
  EXPECT_FALSE(other_.Lock(1, TableLockTransaction, TableB));
}

}  // namespace
}  // namespace zdb
