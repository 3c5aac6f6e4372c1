// Commits and rollbacks against the file: the header marks around the written pages, what
// a crash or a failure in the middle of a commit leaves behind, and the prologue's
// counters and lock bytes.
#include "engine/file/ZDBDiskPageManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using os::FileOperation;
using test::AddValuePage;
using test::ErrorText;
using test::OpenDatabase;
using test::OpenOptions;
using test::PageValue;
using test::Raised;
using test::Session;
using test::SetPageValue;

struct HeaderState {
  int32_t commitCounter;
  uint8_t writeState;
};

class DiskCommit : public testing::Test {
 protected:
  HeaderState OnDisk() {
    const std::vector<uint8_t> bytes = test::ReadBytes(path_);
    return {le::GetI32(bytes.data() + 38), bytes[42]};
  }
  std::vector<uint8_t> FilePage(int32_t pageNo) {
    const std::vector<uint8_t> bytes = test::ReadBytes(path_);
    const size_t start = 380 + static_cast<size_t>(pageNo) * 4096;
    return std::vector<uint8_t>(bytes.begin() + start, bytes.begin() + start + 4096);
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("commit.zdb");
};

TEST_F(DiskCommit, ACommitWritesItsPagesBetweenTheHeaderMarks) {
  TZDBDiskPageManager manager;
  manager.CreateDatabaseFile(path_, TZDBPassword{});
  const int32_t pageNo = AddValuePage(manager, 0xA1B2C3D4);
  EXPECT_EQ(pageNo, 2);
  int32_t version = 0;
  {
    TZDBPageRef page(manager, Session, pageNo, false, TZDBPageManager::AnyPageType);
    version = page->PageVersion();
    EXPECT_GE(version, 0);
    EXPECT_LE(version, 0x3FFFFFFE);
    page->SetOwnerObjectID(0x01020304);
  }
  EXPECT_EQ(OnDisk().commitCounter, 0);
  manager.ApplyChanges(Session);
  EXPECT_EQ(OnDisk().commitCounter, 1);
  EXPECT_EQ(OnDisk().writeState, 2);

  // The page header exactly, with the version advanced by the write.
  std::vector<uint8_t> expected = {'Z', 'D', 'B', 'P'};
  for (int i = 0; i < 4; ++i) expected.push_back(static_cast<uint8_t>((version + 1) >> (8 * i)));
  expected.insert(expected.end(), {10, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  expected.insert(expected.end(), {0xD4, 0xC3, 0xB2, 0xA1});
  expected.resize(4096, 0);
  EXPECT_EQ(FilePage(pageNo), expected);

  manager.CloseDatabaseFile();

  // Committing with nothing to commit touches nothing, and needs no lock.
  OpenOptions shared{true, false, false};
  TZDBDiskPageManager reader;
  TZDBDiskPageManager holder;
  OpenDatabase(reader, path_, shared);
  OpenDatabase(holder, path_, shared);
  TZDBDatabaseLockGuard held(holder.DatabaseLock(), errors::CommitLocked, holder.LockRetry());
  EXPECT_EQ(PageValue(reader, pageNo), 0xA1B2C3D4u);
  reader.ApplyChanges(Session);
  EXPECT_EQ(OnDisk().commitCounter, 1);
}

TEST_F(DiskCommit, VersionsAdvanceAndWrapOnEachWrite) {
  test::CreateDatabase(path_, {1});
  TZDBDiskPageManager manager;
  OpenDatabase(manager, path_);
  const struct {
    int32_t before;
    int32_t after;
  } cases[] = {{0, 1}, {0x7FFFFFFB, 0x7FFFFFFC}, {0x7FFFFFFC, 0}, {0x7FFFFFFF, 0}};
  for (const auto& c : cases) {
    {
      TZDBPageRef page(manager, Session, 2, false, TZDBPageManager::AnyPageType);
      page->SetPageVersion(c.before);
      page->MarkDirty();
    }
    manager.ApplyChanges(Session);
    EXPECT_EQ(le::GetI32(FilePage(2).data() + 4), c.after) << c.before;
  }
}

TEST_F(DiskCommit, RollbackAndPagesRemovedBeforeTheirCommit) {
  test::CreateDatabase(path_, {7});
  TZDBDiskPageManager manager;
  OpenDatabase(manager, path_);
  SetPageValue(manager, 2, 8);
  EXPECT_EQ(PageValue(manager, 2), 8u);
  manager.CancelChanges(Session);
  EXPECT_EQ(PageValue(manager, 2), 7u) << "the file's page again";

  // A page added and removed again before its commit is freed there, never written.
  const int32_t added = AddValuePage(manager, 9);
  manager.RemovePage(Session, added);
  manager.ApplyChanges(Session);
  std::vector<uint8_t> retired(4096, 0);
  le::PutI32(retired.data() + 4, 0x7FFFFFFF);
  EXPECT_EQ(FilePage(added), retired);
  EXPECT_FALSE(manager.FreeSpaceManager().IsPageUsed(added));

  // A rolled-back addition gives its number back at once.
  const int32_t rolledBack = AddValuePage(manager, 10);
  EXPECT_TRUE(manager.FreeSpaceManager().IsPageUsed(rolledBack));
  manager.CancelChanges(Session);
  EXPECT_FALSE(manager.FreeSpaceManager().IsPageUsed(rolledBack));

  // Freeing a page twice, in two commits, is refused by the bitmap.
  manager.RemovePage(Session, 2);
  manager.ApplyChanges(Session);
  manager.RemovePage(Session, 2);
  EXPECT_EQ(Raised([&] { manager.ApplyChanges(Session); }).text, ErrorText("Page: 2 already free", 30427));
}

// A process that dies anywhere inside a commit leaves either the file as it was before the
// commit or a file that opens with NeedsRepair: never changed pages under a header that
// calls the file consistent.
TEST_F(DiskCommit, ACrashInTheMiddleOfACommitIsRolledBackOrFinished) {
  const std::vector<uint32_t> before = {1, 2, 3, 4};
  const std::vector<int32_t> pages = test::CreateDatabase(folder_.File("template.zdb"), before);
  const std::vector<uint8_t> original = test::ReadBytes(folder_.File("template.zdb"));

  auto changeEverything = [&](TZDBDiskPageManager& manager) {
    for (int32_t pageNo : pages) SetPageValue(manager, pageNo, 100 + static_cast<uint32_t>(pageNo));
  };
  // Count the writes of one whole commit.
  test::WriteBytes(path_, original);
  os::FaultInjectingFileSystem counting(os::FileSystem::Default());
  uint64_t commitWrites = 0;
  {
    TZDBDiskPageManager manager(counting);
    OpenDatabase(manager, path_);
    changeEverything(manager);
    counting.Reset();
    manager.ApplyChanges(Session);
    commitWrites = counting.CallCount(FileOperation::Write);
  }
  // The journal, the header's two marks, the pages and the journal's invalidation.
  ASSERT_EQ(commitWrites, pages.size() + 4);

  for (uint64_t writes = 0; writes <= commitWrites; ++writes) {
    for (size_t torn : {size_t{0}, size_t{20}, size_t{42}, size_t{43}, size_t{3000}}) {
      test::WriteBytes(path_, original);
      os::FaultInjectingFileSystem faulty(os::FileSystem::Default());
      {
        TZDBDiskPageManager manager(faulty);
        OpenDatabase(manager, path_);
        changeEverything(manager);
        faulty.CrashAfterWrites(writes, torn);
        manager.ApplyChanges(Session);  // the dead process's writes reach nothing
      }
      TZDBDiskPageManager survivor;
      // The open rolls an unfinished commit back: never a file that needs repair.
      EXPECT_FALSE(OpenDatabase(survivor, path_)) << writes << " writes, torn at " << torn;
      const bool committed = survivor.Header().CommitCounter == 2;
      if (writes >= commitWrites - 1) {
        EXPECT_TRUE(committed) << torn;
      }
      if (writes == 0) {
        EXPECT_FALSE(committed);
      }
      for (int32_t pageNo : pages) {
        EXPECT_EQ(PageValue(survivor, pageNo), committed ? 100 + static_cast<uint32_t>(pageNo) : before[pageNo - 2])
            << "page " << pageNo << " after " << writes << " writes, torn at " << torn;
      }
    }
  }
}

TEST_F(DiskCommit, AFailedCommitIsRolledBackAtTheLatestByTheNextOpen) {
  test::CreateDatabase(path_, {1, 2, 3});
  os::FaultInjectingFileSystem faulty(os::FileSystem::Default());
  {
    TZDBDiskPageManager manager(faulty);
    OpenDatabase(manager, path_);
    SetPageValue(manager, 2, 20);
    SetPageValue(manager, 3, 30);
    // The journal and the header mark go through, the page writes fail for good, and so
    // does the rollback in this process.
    faulty.FailCall(FileOperation::Write, 3, os::win32::DiskFull, true);
    auto raised = Raised([&] { manager.ApplyChanges(Session); });
    EXPECT_EQ(raised.code, 10469);
    EXPECT_EQ(manager.DatabaseLock().Count(), 0);
    faulty.Reset();
    manager.CancelChanges(Session);
  }
  EXPECT_EQ(OnDisk().writeState, 1);
  {
    TZDBDiskPageManager manager;
    EXPECT_FALSE(OpenDatabase(manager, path_));
    EXPECT_EQ(PageValue(manager, 2), 1u);
    EXPECT_EQ(PageValue(manager, 3), 2u);
    // The session's refusal before any page is written leaves the file consistent.
    TZDBPageRef page(manager, Session, 2, false, TZDBPageManager::AnyPageType);
    page->MarkDirty();
    EXPECT_EQ(Raised([&] { manager.ApplyChanges(Session); }).text, ErrorText("Some session pages not released", 20152));
  }
  EXPECT_EQ(OnDisk().writeState, 2);
  // Past both 1 (before) and 2 (the commit that never finished): no reader's stamp of the
  // time in between still matches.
  EXPECT_EQ(OnDisk().commitCounter, 3);
}

TEST_F(DiskCommit, ObjectIDsComeFromTheCounter) {
  TZDBDiskPageManager manager;
  manager.CreateDatabaseFile(path_, TZDBPassword{});
  EXPECT_EQ(manager.TakeObjectID(), 1);
  EXPECT_EQ(manager.TakeObjectID(), 2);
  EXPECT_EQ(le::GetI32(test::ReadBytes(path_).data() + 376), 2);

  // The counter's byte is its lock: while another handle holds it, no ID is given out.
  TZDBDatabaseFile other;
  manager.CloseDatabaseFile();
  TZDBDiskPageManager shared;
  OpenOptions options{true, false, false};
  OpenDatabase(shared, path_, options);
  shared.SetLockRetry({2, 1});
  other.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
  ASSERT_TRUE(other.LockByte(1, 376));
  EXPECT_EQ(Raised([&] { shared.TakeObjectID(); }).text,
            ErrorText("Cannot get NextObjectID. File area is Locked.", 30401));
  other.UnlockByte(1, 376);
  EXPECT_EQ(shared.TakeObjectID(), 3);
}

TEST_F(DiskCommit, TheTablesLockByteAndThePageCountWaitForOthers) {
  test::CreateDatabase(path_, {1});
  OpenOptions options{true, false, false};
  TZDBDiskPageManager first;
  TZDBDiskPageManager second;
  OpenDatabase(first, path_, options);
  OpenDatabase(second, path_, options);
  second.SetLockRetry({2, 1});

  first.LockTables();
  EXPECT_EQ(Raised([&] { second.LockTables(); }).text, ErrorText("Database tables are locked", 20210));
  EXPECT_EQ(Raised([&] { second.UnlockTables(); }).text, ErrorText("Cannot unlock database tables", 20211));
  first.UnlockTables();
  second.LockTables();
  second.UnlockTables();

  EXPECT_EQ(second.GetTotalPageCount(), 6);
  {
    TZDBDatabaseLockGuard held(first.DatabaseLock(), errors::CommitLocked, first.LockRetry());
    EXPECT_EQ(Raised([&] { second.GetTotalPageCount(); }).text, ErrorText("Database is locked", 20236));
    // Nested holders of one manager never wait for themselves.
    EXPECT_EQ(first.GetTotalPageCount(), 6);
    EXPECT_EQ(first.DatabaseLock().Count(), 1);
  }
  EXPECT_EQ(first.DatabaseLock().Count(), 0);
  EXPECT_EQ(second.GetTotalPageCount(), 6);
}

}  // namespace
}  // namespace zdb
