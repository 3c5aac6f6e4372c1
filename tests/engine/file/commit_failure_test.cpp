// Commits that fail while the process lives on: a full disk, a flush that fails once, a
// failure after the commit point, a cut-off bitmap page, a cancelled transaction. The
// file must hold the whole transaction or none of it, and the session must be able to
// commit it all again or have lost all of it, never a part.
#include "engine/file/ZDBDiskPageManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBRollbackJournal.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using os::FileOperation;
using test::AddValuePage;
using test::OpenDatabase;
using test::PageValue;
using test::Raised;
using test::Session;
using test::SetPageValue;

constexpr size_t WriteStateOffset = 42;

// The commit of a session that changed pages 2 and 3 and added two more (the second one
// grows the file), with its writes or flushes failing in turn.
class FailedCommit : public testing::Test {
 protected:
  void SetUp() override {
    test::CreateDatabase(path_, {1, 2, 3});
    original_ = test::ReadBytes(path_);
  }

  // Opens the file through the file system given and makes the session's changes.
  void Change(TZDBDiskPageManager& manager) {
    OpenDatabase(manager, path_);
    SetPageValue(manager, 2, 20);
    SetPageValue(manager, 3, 30);
    added_ = {AddValuePage(manager, 40), AddValuePage(manager, 50)};
  }

  void StartAgain() {
    test::WriteBytes(path_, original_);
    std::filesystem::remove(TZDBRollbackJournal::FileNameFor(path_));
    faulty_.Reset();
  }

  // What a new open finds: the session's whole transaction, or none of it.
  void ExpectWholeOrNothing(bool committed) {
    TZDBDiskPageManager reader;
    EXPECT_FALSE(OpenDatabase(reader, path_));
    EXPECT_EQ(test::ReadBytes(path_)[WriteStateOffset], 2);
    EXPECT_EQ(PageValue(reader, 2), committed ? 20u : 1u);
    EXPECT_EQ(PageValue(reader, 3), committed ? 30u : 2u);
    EXPECT_EQ(PageValue(reader, 4), 3u);
    for (size_t i = 0; i < added_.size(); ++i) {
      const bool inFile = added_[i] < reader.FreeSpaceManager().TotalPageCount();
      EXPECT_EQ(inFile && reader.FreeSpaceManager().IsPageUsed(added_[i]), committed) << added_[i];
      if (committed) {
        EXPECT_EQ(PageValue(reader, added_[i]), 40u + 10u * static_cast<uint32_t>(i));
      }
    }
  }

  // How many calls of the operation a commit that goes well makes.
  uint64_t CommitCalls(FileOperation operation) {
    {
      TZDBDiskPageManager manager(faulty_);
      Change(manager);
      faulty_.Reset();
      manager.ApplyChanges(Session);
    }
    const uint64_t calls = faulty_.CallCount(operation);
    StartAgain();
    return calls;
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("commit.zdb");
  std::vector<uint8_t> original_;
  os::FaultInjectingFileSystem faulty_{os::FileSystem::Default()};
  std::vector<int32_t> added_;
};

// A disk that fills up at any write of the commit: the session either keeps its whole
// transaction, and committing it again once there is room writes all of it, or loses all
// of it with the file. Never a part, and never a page written while its bitmap bit is
// clear.
TEST_F(FailedCommit, AFullDiskLeavesTheWholeTransactionForARetryOrNoneOfIt) {
  const uint64_t writes = CommitCalls(FileOperation::Write);
  for (uint64_t full = 0; full < writes; ++full) {
    SCOPED_TRACE(::testing::Message() << "the disk is full after " << full << " of " << writes << " writes");
    StartAgain();
    bool committed = true;
    {
      TZDBDiskPageManager manager(faulty_);
      Change(manager);
      faulty_.FillDiskAfterWrites(full);
      try {
        manager.ApplyChanges(Session);
      } catch (const EZDBException& error) {
        EXPECT_TRUE(error.Is(errors::JournalWriteFailed) || error.Is(errors::PageWrite)) << error.what();
        committed = false;
      }
      // The write transaction holds the lock byte as long as the session has pages added.
      EXPECT_EQ(manager.DatabaseLock().Count(), manager.HasSessionChanges(Session) ? 1 : 0);
      faulty_.ClearFaults();  // room on the disk again
      if (!committed && manager.HasSessionChanges(Session)) {
        manager.ApplyChanges(Session);
        committed = true;
      }
      // Only a journal that could not grow leaves nothing to build on: a failed write to
      // the database is undone from what the commit found, and the session keeps its work.
      if (full > 0) {
        EXPECT_TRUE(committed);
      }
      manager.CloseDatabaseFile();
    }
    ExpectWholeOrNothing(committed);
  }
}

// A failed fsync may have dropped the pages it could not write, and a second one would
// say they are durable: the commit fails, and the file is rolled back from its journal.
TEST_F(FailedCommit, AFlushThatFailsOnceFailsTheCommit) {
  const uint64_t flushes = CommitCalls(FileOperation::Flush);
  ASSERT_EQ(flushes, 3u) << "journal, pages, header";
  for (uint64_t failing = 1; failing <= flushes; ++failing) {
    SCOPED_TRACE(::testing::Message() << "flush " << failing << " fails once");
    StartAgain();
    {
      TZDBDiskPageManager manager(faulty_);
      Change(manager);
      faulty_.FailCall(FileOperation::Flush, failing, os::win32::GenFailure);
      const auto raised = Raised([&] { manager.ApplyChanges(Session); });
      EXPECT_TRUE(raised.code == 30379 || raised.code == 30460) << raised.text;
      EXPECT_FALSE(manager.HasSessionChanges(Session)) << "rolled back whole";
      manager.CloseDatabaseFile();
    }
    ExpectWholeOrNothing(false);
  }
}

// Once the header that makes the commit durable is flushed, the commit has happened: a
// failure after it (the journal's invalidation, the journal another session of the
// process needs next) must not tell the caller otherwise.
TEST_F(FailedCommit, NothingAfterTheCommitPointFailsTheCommit) {
  const uint64_t writes = CommitCalls(FileOperation::Write);
  {
    TZDBDiskPageManager manager(faulty_);
    Change(manager);
    const int32_t otherSession = 1;
    AddValuePage(manager, 60, otherSession);  // its journal is begun anew after the commit
    faulty_.FailCall(FileOperation::Write, writes, os::win32::DiskFull, true);
    manager.ApplyChanges(Session);
    EXPECT_EQ(manager.DatabaseLock().Count(), 0);
    faulty_.ClearFaults();
    manager.CancelChanges(otherSession);
    manager.CloseDatabaseFile();
  }
  ExpectWholeOrNothing(true);
}

// A commit that frees the pages past a bitmap page cuts the file back below it, then
// fails: the journal (the process died) or the commit's own undo (it lives on) brings the
// bitmap page back, never a page of zeros that fails every later free.
TEST(CutFileTail, ABitmapPageCutOffByAFailedCommitComesBack) {
  constexpr uint16_t SmallPages = 64;  // a PFS page covers 8 * 24 = 192 pages
  constexpr int32_t SecondPFS = 192;
  test::TempFolder folder;
  const std::string path = folder.File("tail.zdb");
  std::vector<int32_t> pages;
  {
    TZDBDiskPageManager manager;
    manager.CreateDatabaseFile(path, TZDBPassword{}, 8, SmallPages);
    for (uint32_t value = 0; value < 250; ++value) pages.push_back(AddValuePage(manager, value));
    manager.ApplyChanges(Session);
    manager.CloseDatabaseFile();
  }
  const std::vector<uint8_t> original = test::ReadBytes(path);
  auto pageType = [&](int32_t pageNo) {
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    return le::GetU16(bytes.data() + 380 + static_cast<size_t>(pageNo) * SmallPages + 8);
  };
  ASSERT_EQ(pageType(SecondPFS), 3);
  auto removeTheTail = [&](TZDBDiskPageManager& manager) {
    for (const int32_t pageNo : pages)
      if (pageNo > 100) manager.RemovePage(Session, pageNo);
  };
  os::FaultInjectingFileSystem faulty(os::FileSystem::Default());
  uint64_t writes = 0;
  {
    TZDBDiskPageManager manager(faulty);
    OpenDatabase(manager, path);
    removeTheTail(manager);
    faulty.Reset();
    manager.ApplyChanges(Session);
    writes = faulty.CallCount(FileOperation::Write);
    manager.CloseDatabaseFile();
    ASSERT_LT(test::ReadBytes(path).size(), original.size()) << "the commit cuts the file";
  }

  for (const bool processDies : {true, false}) {
    SCOPED_TRACE(processDies ? "the process dies" : "the write fails");
    test::WriteBytes(path, original);
    std::filesystem::remove(TZDBRollbackJournal::FileNameFor(path));
    faulty.Reset();
    {
      TZDBDiskPageManager manager(faulty);
      OpenDatabase(manager, path);
      removeTheTail(manager);
      faulty.Reset();
      // Up to the header write that would end the commit, after the file was cut; the
      // last write invalidates the journal.
      if (processDies) {
        faulty.CrashAfterWrites(writes - 2);
        manager.ApplyChanges(Session);
      } else {
        faulty.FailCall(FileOperation::Write, writes - 1, os::win32::DiskFull, true);
        EXPECT_EQ(Raised([&] { manager.ApplyChanges(Session); }).code, 10462);
        faulty.ClearFaults();
        manager.CancelChanges(Session);
      }
    }
    TZDBDiskPageManager survivor;
    EXPECT_FALSE(OpenDatabase(survivor, path));
    EXPECT_EQ(pageType(SecondPFS), 3);
    EXPECT_TRUE(survivor.FreeSpaceManager().IsPageUsed(240));
    // Freeing past the bitmap page works, and cuts the file as it should.
    removeTheTail(survivor);
    survivor.ApplyChanges(Session);
    EXPECT_FALSE(survivor.FreeSpaceManager().IsPageUsed(240));
    EXPECT_LT(test::ReadBytes(path).size(), original.size());
  }
}

// A transaction that grew the file and is cancelled wrote bitmap bits, the header and the
// size outside any commit: they are flushed before the journal stops covering them, and
// when that flush fails, the journal rolls the transaction back instead.
TEST(CancelledTransaction, TheDatabaseIsFlushedBeforeItsJournalGoes) {
  test::TempFolder folder;
  const std::string path = folder.File("cancel.zdb");
  test::CreateDatabase(path, {1});
  os::FaultInjectingFileSystem faulty(os::FileSystem::Default());
  TZDBDiskPageManager manager(faulty);
  OpenDatabase(manager, path);
  for (uint32_t value = 0; value < 20; ++value) AddValuePage(manager, value);
  faulty.Reset();
  manager.CancelChanges(Session);
  EXPECT_FALSE(manager.File().HasUnflushedChanges());
  EXPECT_FALSE(TZDBRollbackJournal(os::FileSystem::Default(), path).ReadValid().has_value());
  EXPECT_EQ(manager.DatabaseLock().Count(), 0);
  const uint64_t flushes = faulty.CallCount(FileOperation::Flush);

  for (uint32_t value = 0; value < 20; ++value) AddValuePage(manager, value);
  faulty.Reset();
  faulty.FailCall(FileOperation::Flush, flushes, os::win32::GenFailure);  // the database's, the last
  manager.CancelChanges(Session);
  EXPECT_EQ(faulty.CallCount(FileOperation::Flush), flushes + 2) << "the rollback's: the file's and the journal's";
  EXPECT_EQ(manager.DatabaseLock().Count(), 0);
  manager.CloseDatabaseFile();
  TZDBDiskPageManager reader;
  EXPECT_FALSE(OpenDatabase(reader, path));
  EXPECT_EQ(PageValue(reader, 2), 1u);
  EXPECT_EQ(reader.FreeSpaceManager().TotalPageCount(), 6);
}

// A database opened read-only refuses a change before it makes a journal or writes a byte:
// a journal left behind would stop every later reader that cannot roll it back.
TEST(ReadOnlyDatabase, AChangeIsRefusedBeforeAnythingIsWritten) {
  test::TempFolder folder;
  const std::string path = folder.File("readonly.zdb");
  test::CreateDatabase(path, {1});
  const std::vector<uint8_t> before = test::ReadBytes(path);
  TZDBDiskPageManager manager;
  test::OpenOptions options{false, false, true};
  OpenDatabase(manager, path, options);
  ASSERT_TRUE(manager.ReadOnly());
  const std::string refused = "Database file '" + path + "' is open read-only: it cannot be changed";
  EXPECT_EQ(Raised([&] { AddValuePage(manager, 2); }).text, test::ErrorText(refused, 30464));
  SetPageValue(manager, 2, 9);
  EXPECT_EQ(Raised([&] { manager.ApplyChanges(Session); }).text, test::ErrorText(refused, 30464));
  manager.CancelChanges(Session);
  EXPECT_EQ(PageValue(manager, 2), 1u);
  manager.CloseDatabaseFile();
  EXPECT_EQ(test::ReadBytes(path), before);
  EXPECT_FALSE(std::filesystem::exists(TZDBRollbackJournal::FileNameFor(path)));
}

}  // namespace
}  // namespace zdb
