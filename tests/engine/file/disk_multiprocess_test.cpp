// Two processes on one database file: the database lock byte makes one wait for the
// other, and a commit of one is seen by the other's next check of its cached pages.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "engine/file/ZDBDiskPageManager.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::OpenDatabase;
using test::OpenOptions;
using test::PageValue;
using test::Raised;

// The peer program (peer/DatabasePeer.cpp) in a process of its own: one command line in,
// one number back.
class Peer : public zdbtest::ChildProcess {
 public:
  Peer() : ChildProcess(ZDB_FILE_PEER_PATH) {}
};

class MultiProcess : public testing::Test {
 protected:
  MultiProcess() {
    test::CreateDatabase(path_, {10, 20});
    OpenOptions options{true, false, false};
    OpenDatabase(manager_, path_, options);
    EXPECT_TRUE(options.multiUser);
    EXPECT_EQ(peer_.Run("open " + path_), 0);
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("shared.zdb");
  os::FaultInjectingFileSystem counting_{os::FileSystem::Default()};
  TZDBDiskPageManager manager_{counting_};
  Peer peer_;
};

TEST_F(MultiProcess, AllocationWaitsForTheDatabaseLockByteThenGivesUp) {
  ASSERT_EQ(peer_.Run("lockdb"), 0);
  manager_.SetLockRetry({5, 2});
  counting_.Reset();
  EXPECT_EQ(Raised([&] { test::AddValuePage(manager_, 30); }).text, ErrorText("Database is locked", 20231));
  EXPECT_GE(counting_.CallCount(os::FileOperation::Lock), 5u) << "every attempt was made";
  EXPECT_EQ(manager_.DatabaseLock().Count(), 0);
  EXPECT_EQ(Raised([&] { manager_.GetTotalPageCount(); }).code, 20236);

  // Once the other process lets go, the same allocation goes through.
  ASSERT_EQ(peer_.Run("unlockdb"), 0);
  EXPECT_EQ(test::AddValuePage(manager_, 30), 4);
  manager_.ApplyChanges(test::Session);
}

TEST_F(MultiProcess, AnAllocationThatWaitsLongEnoughGetsItsPage) {
  manager_.SetLockRetry({4500, 2});
  ASSERT_EQ(peer_.Run("holddb 300"), 0);  // locked now, released in 300 ms
  counting_.Reset();
  EXPECT_EQ(test::AddValuePage(manager_, 30), 4);
  EXPECT_GT(counting_.CallCount(os::FileOperation::Lock), 2u) << "it had to wait";
  manager_.ApplyChanges(test::Session);
  EXPECT_EQ(peer_.Run("read 4"), 30);
}

TEST_F(MultiProcess, AnotherProcessCommitIsSeenWhenVersionsAreChecked) {
  EXPECT_EQ(PageValue(manager_, 2), 10u);  // now cached
  ASSERT_EQ(peer_.Run("write 2 11"), 0);
  EXPECT_EQ(PageValue(manager_, 2, false), 10u) << "without the check the cached copy is used";
  EXPECT_EQ(PageValue(manager_, 2, true), 11u);
  // Proven current under the new commit, the copy serves again until the next commit.
  EXPECT_EQ(PageValue(manager_, 2, true), 11u);
  ASSERT_EQ(peer_.Run("write 2 12"), 0);
  EXPECT_EQ(PageValue(manager_, 2, true), 12u);
  EXPECT_EQ(PageValue(manager_, 2, true), 12u);

  // A commit of this process is seen by the other one the same way.
  test::SetPageValue(manager_, 3, 21);
  manager_.ApplyChanges(test::Session);
  EXPECT_EQ(peer_.Run("read 3"), 21);
  EXPECT_EQ(manager_.ReadHeader().CommitCounter, 4);
}

// A page read while another process is in the middle of a commit may be that commit's: it
// serves the read that asked for it and is not kept, since a rollback can bring its version
// back. Read once the file is consistent, it is kept as always.
TEST_F(MultiProcess, APageReadDuringAnotherProcesssCommitIsNotKept) {
  TZDBDatabaseFile writer;
  writer.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
  const uint8_t writing = layout::WriteStateWriting;
  const uint8_t consistent = layout::WriteStateConsistent;
  writer.WriteBuffer(&writing, layout::HeaderWriteStateOffset, 1, errors::HeaderWrite);
  EXPECT_EQ(PageValue(manager_, 2, true), 10u);
  EXPECT_FALSE(manager_.IsCached(2));
  writer.WriteBuffer(&consistent, layout::HeaderWriteStateOffset, 1, errors::HeaderWrite);
  EXPECT_EQ(PageValue(manager_, 2, true), 10u);
  EXPECT_TRUE(manager_.IsCached(2));
}

}  // namespace
}  // namespace zdb
