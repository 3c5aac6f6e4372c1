// A reader that may not write the file or its journal, on a file whose last commit was cut
// short: it reads the committed state through the journal's old images, in memory, and
// writes nothing; a change it asks for is refused before anything is touched. Once a
// process that may write rolls the file back, the file itself serves again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBRollbackJournal.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace zdb {
namespace {

using test::OpenDatabase;
using test::OpenOptions;
using test::PageValue;
using test::Raised;

constexpr uint32_t First = 10;
constexpr uint32_t Second = 20;
constexpr uint32_t Uncommitted = 11;
// The commit's journal, its WriteState 1 header and the page reach the file; its commit
// point does not.
constexpr uint64_t WritesBeforeTheCommitPoint = 3;

class Peer : public zdbtest::ChildProcess {
 public:
  Peer() : ChildProcess(ZDB_FILE_PEER_PATH) {}
};

uint8_t WriteState(const std::string& path) {
  return test::ReadBytes(path).at(layout::HeaderWriteStateOffset);
}

int32_t VersionInFile(const std::string& path, int32_t pageNo) {
  const std::vector<uint8_t> bytes = test::ReadBytes(path);
  return le::GetI32(bytes.data() + layout::DefaultPageAreaStart + int64_t{pageNo} * 4096 + TZDBPage::PageVersionOffset);
}

class ReadOnlyReader : public testing::Test {
 protected:
  ReadOnlyReader() { pages_ = test::CreateDatabase(path_, {First, Second}); }

  // A writer of this process dies in the commit that changes the first page.
  void DieInCommit() {
    os::FaultInjectingFileSystem files(os::FileSystem::Default());
    TZDBDiskPageManager writer(files);
    OpenDatabase(writer);
    test::SetPageValue(writer, pages_[0], Uncommitted);
    files.CrashAfterWrites(WritesBeforeTheCommitPoint);
    writer.ApplyChanges(test::Session);
    ASSERT_TRUE(files.Crashed());
  }
  void OpenDatabase(TZDBDiskPageManager& manager) {
    OpenOptions options;
    test::OpenDatabase(manager, path_, options);
  }
  // As a user who may write neither the file nor its journal.
  void DenyWrites(os::FaultInjectingFileSystem& files) {
    files.DenyWriteAccess(path_);
    files.DenyWriteAccess(journalPath_);
  }
  OpenOptions OpenMultiUser(TZDBDiskPageManager& manager) {
    OpenOptions options{true, false, false};
    test::OpenDatabase(manager, path_, options);
    return options;
  }
  bool JournalIsValid() {
    TZDBRollbackJournal journal(os::FileSystem::Default(), path_);
    return journal.ReadValid().has_value();
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("limits.zdb");
  std::string journalPath_ = TZDBRollbackJournal::FileNameFor(path_);
  std::vector<int32_t> pages_;
};

TEST_F(ReadOnlyReader, ReadsTheCommittedStateThroughAJournalItCannotRollBack) {
  struct Case {
    const char* name;
    bool fileWritable;  // only the journal (its folder) is denied
    bool multiUser;
    int32_t changeRefusedWith;
  };
  const Case cases[] = {
      {"no write access, single-user", false, false, 30464},
      {"no write access, multi-user", false, true, 30464},
      {"journal not writable, multi-user", true, true, 30459},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DieInCommit();
    ASSERT_EQ(WriteState(path_), layout::WriteStateWriting);
    ASSERT_TRUE(JournalIsValid());
    const std::vector<uint8_t> fileBefore = test::ReadBytes(path_);
    const std::vector<uint8_t> journalBefore = test::ReadBytes(journalPath_);
    {
      os::FaultInjectingFileSystem denied(os::FileSystem::Default());
      if (!c.fileWritable) denied.DenyWriteAccess(path_);
      denied.DenyWriteAccess(journalPath_);
      TZDBDiskPageManager reader(denied);
      OpenOptions options{c.multiUser, false, false};
      EXPECT_FALSE(test::OpenDatabase(reader, path_, options));
      EXPECT_EQ(options.readOnly, !c.fileWritable);
      EXPECT_EQ(options.multiUser, c.multiUser);
      EXPECT_EQ(PageValue(reader, pages_[0], true), First);
      EXPECT_EQ(PageValue(reader, pages_[1], true), Second);
      EXPECT_EQ(reader.Header().WriteState, layout::WriteStateConsistent);
      EXPECT_EQ(Raised([&] { test::AddValuePage(reader, 30); }).code, c.changeRefusedWith);
      reader.CancelChanges(test::Session);
      reader.CloseDatabaseFile();
    }
    EXPECT_EQ(test::ReadBytes(path_), fileBefore) << "nothing written";
    EXPECT_EQ(test::ReadBytes(journalPath_), journalBefore);

    // Whoever may write rolls it back as always.
    TZDBDiskPageManager writer;
    OpenDatabase(writer);
    EXPECT_EQ(PageValue(writer, pages_[0]), First);
    EXPECT_FALSE(JournalIsValid());
    writer.CloseDatabaseFile();
  }
}

TEST_F(ReadOnlyReader, IgnoresAJournalThatProtectsNothingAndThatItCannotWrite) {
  {
    TZDBDiskPageManager writer;
    OpenDatabase(writer);
    test::SetPageValue(writer, pages_[0], 12);
    writer.ApplyChanges(test::Session);
    writer.CloseDatabaseFile();
  }
  // An invalidated journal left beside the file, which this reader may not open for writing.
  test::WriteBytes(journalPath_, std::vector<uint8_t>(4096, 0));
  os::FaultInjectingFileSystem denied(os::FileSystem::Default());
  DenyWrites(denied);
  TZDBDiskPageManager reader(denied);
  OpenMultiUser(reader);
  EXPECT_EQ(PageValue(reader, pages_[0], true), 12u);
}

// The same with real processes: the reader (no write access, multi-user) has the file open
// when a writer dies in its commit, reads on through the journal, and follows the file again
// once another process has rolled it back and committed more.
TEST_F(ReadOnlyReader, FollowsADeadWritersRecoveryByAnotherProcess) {
  os::FaultInjectingFileSystem denied(os::FileSystem::Default());
  DenyWrites(denied);
  TZDBDiskPageManager reader(denied);
  const OpenOptions options = OpenMultiUser(reader);
  ASSERT_TRUE(options.readOnly && options.multiUser);
  EXPECT_EQ(PageValue(reader, pages_[0], true), First);
  const int32_t committedVersion = VersionInFile(path_, pages_[0]);

  {
    Peer writer;
    ASSERT_EQ(writer.Run("open " + path_), 0);
    ASSERT_EQ(writer.Run("die-in-commit " + std::to_string(pages_[0]) + " " + std::to_string(Uncommitted) + " " +
                         std::to_string(WritesBeforeTheCommitPoint)),
              0);
  }
  ASSERT_EQ(WriteState(path_), layout::WriteStateWriting);
  ASSERT_TRUE(JournalIsValid());
  // What a reader does when it meets WriteState 1 before a read.
  reader.RecoverDeadWriter();
  EXPECT_EQ(PageValue(reader, pages_[0], true), First);
  EXPECT_EQ(PageValue(reader, pages_[1], true), Second);
  EXPECT_TRUE(JournalIsValid()) << "the reader rolled nothing back";

  Peer recoverer;
  ASSERT_EQ(recoverer.Run("open " + path_), 0);
  EXPECT_FALSE(JournalIsValid());
  // Restored under a version that neither the committed page nor the interrupted one had.
  EXPECT_EQ(VersionInFile(path_, pages_[0]), committedVersion + 2);
  EXPECT_EQ(PageValue(reader, pages_[0], true), First);
  ASSERT_EQ(recoverer.Run("write " + std::to_string(pages_[0]) + " 13"), 0);
  EXPECT_EQ(PageValue(reader, pages_[0], true), 13u);
  EXPECT_EQ(PageValue(reader, pages_[1], true), Second);
}

}  // namespace
}  // namespace zdb
