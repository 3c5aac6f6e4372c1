// A commit cut short at every single write, by a process dying or by a power cut, leaves a
// file that the next open brings back to the state before or after the commit, whole,
// and that `zdb check` finds clean.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <chrono>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/table/ZDBDiskTableData.h"
#include "engine/file/ZDBDatabaseFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBRollbackJournal.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/table/ZDBFileCheckOfFile.h"
#include "engine/file/ZDBPageRef.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/table/support/TableDataTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace zdb::testing {
namespace {

using YearList = std::vector<int32_t>;
using Operation = std::function<void(Connection&, TZDBOpenTable&)>;

constexpr int32_t BaseRows = 150;

YearList SortedYears(TZDBOpenTable& table) {
  YearList years = Years(table);
  std::sort(years.begin(), years.end());
  return years;
}

void InsertYears(Connection& connection, TZDBOpenTable& table, int32_t first, int32_t count) {
  connection.session.SetInTransaction(true);
  for (int32_t year = first; year < first + count; ++year) InsertYear(table, year);
  connection.session.SetInTransaction(false);
  connection.Data().Commit(connection.session.SessionID(), true);
}

void DeleteYearsBelow(Connection& connection, TZDBOpenTable& table, int32_t limit) {
  connection.session.SetInTransaction(true);
  TZDBTableCursor& cursor = table.Cursor();
  cursor.SetToBegin();
  while (table.Data().GetRecord(cursor, grmNext) == grOK) {
    if (Row(table).Integer(0) < limit) PostDelete(table.Data(), cursor);
  }
  connection.session.SetInTransaction(false);
  connection.Data().Commit(connection.session.SessionID(), true);
}

struct CommitCase {
  const char* name;
  Operation operation;
};

const CommitCase Cases[] = {
    {"OneRow", [](Connection&, TZDBOpenTable& table) { InsertYear(table, 5000); }},
    // Many rows: new record pages, index page splits and a file that grows.
    {"ManyRowsInOneTransaction",
     [](Connection& connection, TZDBOpenTable& table) { InsertYears(connection, table, 3000, 250); }},
    // Rows deleted: record pages freed, bitmap pages changed, the file's tail cut.
    {"DeleteFreesPages",
     [](Connection& connection, TZDBOpenTable& table) { DeleteYearsBelow(connection, table, 130); }},
};

struct Crash {
  size_t tornBytes;
  bool powerCut;
};

class CommitCrash : public ::testing::TestWithParam<CommitCase> {
 protected:
  void SetUp() override {
    CreateDatabaseFile(base);
    Connection connection(base, false);
    CreateMaximo(connection);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    InsertYears(connection, table, 1, BaseRows);
    before = SortedYears(table);
  }

  // Runs the operation on a fresh copy of the base file through the file system given;
  // answers how many writes it made.
  uint64_t Run(os::FaultInjectingFileSystem& fileSystem, bool multiUser) {
    std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(TZDBRollbackJournal::FileNameFor(path));
    fileSystem.Reset();
    Connection connection(path, multiUser, fileSystem);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    const uint64_t start = fileSystem.CallCount(os::FileOperation::Write);
    if (armed) fileSystem.CrashAfterWrites(crashAfter, crash.tornBytes, crash.powerCut);
    try {
      GetParam().operation(connection, table);
    } catch (const EZDBException&) {
      // A dead process reading back what never reached the file fails; what matters is
      // what the file holds.
      connection.session.SetInTransaction(false);
      try {
        connection.Data().Rollback(connection.session.SessionID());
      } catch (const EZDBException&) {
      }
    }
    return fileSystem.CallCount(os::FileOperation::Write) - start;
  }

  YearList Reopened(bool multiUser) {
    Connection connection(path, multiUser);
    EXPECT_FALSE(connection.NeedsRepair());
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    return SortedYears(table);
  }

  zdbtool::test::ToolRun Check() { return zdbtool::test::RunTool({"check", path}, folder.File("check")); }

  ScratchFolder folder;
  std::string base = folder.File("base.zdb");
  std::string path = folder.File("crash.zdb");
  YearList before;
  bool armed = false;
  uint64_t crashAfter = 0;
  Crash crash{0, false};
};

TEST_P(CommitCrash, EveryCutLeavesTheStateBeforeOrAfterAndACleanFile) {
  os::FaultInjectingFileSystem fileSystem(os::FileSystem::Default());
  const uint64_t writes = Run(fileSystem, false);
  const YearList after = Reopened(false);
  ASSERT_NE(after, before);
  ASSERT_GT(writes, 0u);

  const Crash crashes[] = {{0, false}, {100, false}, {0, true}, {100, true}};
  for (const Crash& each : crashes) {
    for (uint64_t cut = 0; cut < writes; ++cut) {
      SCOPED_TRACE(::testing::Message() << "crash after " << cut << " of " << writes << " writes, torn "
                                        << each.tornBytes << (each.powerCut ? ", power cut" : ", process killed"));
      armed = true;
      crashAfter = cut;
      crash = each;
      const bool multiUser = cut % 2 == 1;
      Run(fileSystem, multiUser);
      ASSERT_TRUE(fileSystem.Crashed());
      const YearList found = Reopened(multiUser);
      EXPECT_TRUE(found == before || found == after) << found.size() << " rows";
      const zdbtool::test::ToolRun check = Check();
      ASSERT_EQ(check.exitCode, 0) << check.out << check.err;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Commits, CommitCrash, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<CommitCase>& each) { return each.param.name; });

// Another process's own open of the file, reading meanwhile: not through the process's
// registry, so that it has its own handle and its own locks, as a second process has.
class OtherProcess {
 public:
  explicit OtherProcess(const std::string& path) : data_(path), session(true) {
    connection_.MultiUser = true;
    data_.AddSession(connection_);
    session.SetSessionID(connection_.SessionID);
  }
  ~OtherProcess() { data_.RemoveSession(connection_); }
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;

  YearList Years() {
    TZDBTableCursor cursor(session, "Maximo");
    TZDBOpenTable table(data_, cursor);
    return SortedYears(table);
  }

 private:
  TZDBDiskDatabaseData data_;
  TZDBSessionConnection connection_;

 public:
  TestSession session;
};

// A reader that had the file open while a writer died in its commit never reads the
// half-written pages: its next read rolls the dead writer's commit back first.
TEST(ReaderDuringCrash, TheNextReadSeesTheStateBeforeOrAfterNeverAMixture) {
  ScratchFolder folder;
  const std::string base = folder.File("base.zdb");
  const std::string path = folder.File("crash.zdb");
  CreateDatabaseFile(base);
  {
    Connection connection(base, true);
    CreateMaximo(connection);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    InsertYears(connection, table, 1, BaseRows);
  }
  os::FaultInjectingFileSystem fileSystem(os::FileSystem::Default());
  // Runs the commit of many rows as a writer of its own that dies after cut writes
  // (never, without a cut); answers the writes it made.
  const auto write = [&](std::optional<uint64_t> cut) {
    fileSystem.Reset();
    Connection writer(path, true, fileSystem);
    TZDBTableCursor cursor(writer.session, "Maximo");
    TZDBOpenTable table(writer.Data(), cursor);
    const uint64_t start = fileSystem.CallCount(os::FileOperation::Write);
    if (cut) fileSystem.CrashAfterWrites(*cut);
    try {
      InsertYears(writer, table, 3000, 250);
    } catch (const EZDBException&) {
      // The dead writer reads back what never reached the file; its pages go with it.
      writer.session.SetInTransaction(false);
      try {
        writer.Data().Rollback(writer.session.SessionID());
      } catch (const EZDBException&) {
      }
    }
    return fileSystem.CallCount(os::FileOperation::Write) - start;
  };

  std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
  const YearList before = OtherProcess(path).Years();
  const uint64_t writes = write(std::nullopt);
  const YearList after = OtherProcess(path).Years();
  ASSERT_NE(before, after);

  for (uint64_t cut = 1; cut < writes; ++cut) {
    SCOPED_TRACE(::testing::Message() << "writer killed after " << cut << " of " << writes << " writes");
    std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(TZDBRollbackJournal::FileNameFor(path));
    {
      OtherProcess reader(path);
      ASSERT_EQ(reader.Years(), before);
      write(cut);  // the writer's handle and locks are gone with it
      ASSERT_TRUE(fileSystem.Crashed());
      const YearList found = reader.Years();
      EXPECT_TRUE(found == before || found == after) << found.size() << " rows";
    }
    const zdbtool::test::ToolRun check = zdbtool::test::RunTool({"check", path}, folder.File("check"));
    ASSERT_EQ(check.exitCode, 0) << check.out << check.err;
  }
}

// A commit that fails on a write, the process living on, is undone at once.
TEST(CommitFailure, AFailedWriteRollsTheCommitBackInThisProcess) {
  ScratchFolder folder;
  const std::string path = folder.File("fail.zdb");
  CreateDatabaseFile(path);
  os::FaultInjectingFileSystem fileSystem(os::FileSystem::Default());
  {
    Connection connection(path, false, fileSystem);
    CreateMaximo(connection);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    InsertYears(connection, table, 1, 100);
    connection.session.SetInTransaction(true);
    for (int32_t year = 500; year < 700; ++year) InsertYear(table, year);
    connection.session.SetInTransaction(false);
    // The journal and the header's mark pass; the first page write fails, and so does
    // the file's own retry of it.
    fileSystem.FailCall(os::FileOperation::Write, 3, os::win32::WriteFault);
    fileSystem.FailCall(os::FileOperation::Write, 4, os::win32::WriteFault);
    EXPECT_THROW(connection.Data().Commit(connection.session.SessionID(), true), EZDBException);
    connection.Data().Rollback(connection.session.SessionID());
    table.Data().AfterRollback(connection.session.SessionID());
    EXPECT_EQ(SortedYears(table).size(), 100u);
    // The file goes on working.
    InsertYear(table, 900);
    EXPECT_EQ(SortedYears(table).size(), 101u);
  }
  EXPECT_EQ(zdbtool::test::RunTool({"check", path}, folder.File("check")).exitCode, 0);
}

// A transaction whose commit meets a full disk keeps its rows: once there is room, the
// same commit stores every one of them. One whose flush fails loses them all, says so by
// ending the transaction, and the table goes on counting from the file.
TEST(CommitFailure, ATransactionSurvivesAFullDiskAndIsLostWholeToAFailedFlush) {
  ScratchFolder folder;
  const std::string path = folder.File("full.zdb");
  CreateDatabaseFile(path);
  os::FaultInjectingFileSystem fileSystem(os::FileSystem::Default());
  for (const bool multiUser : {false, true}) {
    SCOPED_TRACE(multiUser ? "multi-user" : "single-user");
    Connection connection(path, multiUser, fileSystem);
    if (!multiUser) CreateMaximo(connection);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    const size_t before = SortedYears(table).size();
    const int32_t session = connection.session.SessionID();
    const int32_t first = multiUser ? 2000 : 1000;

    connection.session.SetInTransaction(true);
    for (int32_t year = first; year < first + 300; ++year) InsertYear(table, year);
    fileSystem.FillDiskAfterWrites(3);
    EXPECT_THROW(connection.Data().Commit(session, true), EZDBException);
    EXPECT_TRUE(connection.Data().HasSessionChanges(session));
    fileSystem.ClearFaults();
    connection.Data().Commit(session, true);
    connection.session.SetInTransaction(false);
    EXPECT_EQ(SortedYears(table).size(), before + 300);

    connection.session.SetInTransaction(true);
    for (int32_t year = first + 500; year < first + 600; ++year) InsertYear(table, year);
    fileSystem.FailCall(os::FileOperation::Flush, 2, os::win32::GenFailure);  // the pages' flush
    EXPECT_THROW(connection.Data().Commit(session, true), EZDBException);
    EXPECT_FALSE(connection.Data().HasSessionChanges(session));
    fileSystem.Reset();
    connection.session.SetInTransaction(false);
    EXPECT_EQ(SortedYears(table).size(), before + 300);
    InsertYear(table, first + 900);
    EXPECT_EQ(SortedYears(table).size(), before + 301);
  }
  EXPECT_EQ(zdbtool::test::RunTool({"check", path}, folder.File("check")).exitCode, 0);
}

}  // namespace
}  // namespace zdb::testing

namespace zdb::testing {
namespace {

// A file whose commit was cut short and whose journal awaits recovery.
class InterruptedCommit : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      CreateMaximo(connection);
      TZDBTableCursor cursor(connection.session, "Maximo");
      TZDBOpenTable table(connection.Data(), cursor);
      InsertYears(connection, table, 1, 50);
    }
    os::FaultInjectingFileSystem fileSystem(os::FileSystem::Default());
    Connection connection(path, false, fileSystem);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    // The journal and the first page reach the file, nothing after them.
    connection.session.SetInTransaction(true);
    for (int32_t year = 100; year < 300; ++year) InsertYear(table, year);
    connection.session.SetInTransaction(false);
    fileSystem.CrashAfterWrites(3);
    connection.Data().Commit(connection.session.SessionID(), true);
    ASSERT_TRUE(fileSystem.Crashed());
  }

  bool JournalIsValid() {
    TZDBRollbackJournal journal(os::FileSystem::Default(), path);
    return journal.ReadValid().has_value();
  }

  ScratchFolder folder;
  std::string path = folder.File("interrupted.zdb");
};

TEST_F(InterruptedCommit, TheInspectionOpenRecoversAFileItMayWrite) {
  ASSERT_TRUE(JournalIsValid());
  const zdbtool::test::ToolRun check = zdbtool::test::RunTool({"check", path}, folder.File("check"));
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_FALSE(JournalIsValid());
  Connection connection(path, true);
  EXPECT_FALSE(connection.NeedsRepair());
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  EXPECT_EQ(SortedYears(table).size(), 50u);
}

// A user who may not write the file reads what was committed; the rollback waits for one
// who may, and nothing is written before.
TEST_F(InterruptedCommit, AReadOnlyFileIsReadAsCommittedAndRecoveredByAUserWhoCanWriteIt) {
  std::filesystem::permissions(path, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  const std::vector<uint8_t> before = test::ReadBytes(path);
  for (const bool multiUser : {false, true}) {
    Connection connection(path, multiUser);
    EXPECT_FALSE(connection.NeedsRepair());
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    EXPECT_EQ(SortedYears(table).size(), 50u);
  }
  EXPECT_EQ(test::ReadBytes(path), before);
  EXPECT_TRUE(JournalIsValid());
  // Writable again, the next open recovers it.
  std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  EXPECT_EQ(SortedYears(table).size(), 50u);
  EXPECT_FALSE(JournalIsValid());
}

// A commit in flight (WriteState 1, the database lock byte held by its writer) is waited
// for: the read that meets it returns only once the commit is complete.
TEST_F(InterruptedCommit, AReadWaitsForACommitInFlight) {
  {
    Connection writer(path, false);  // rolls the interrupted commit back
  }
  Connection connection(path, true);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  TZDBDatabaseFile other;  // the writer: another handle, so its lock is another holder's
  other.OpenFile(path, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
  const int64_t lockByte = layout::DefaultLockAreaPosition + layout::DatabaseLockByteOffset;
  ASSERT_TRUE(other.LockByte(1, lockByte));
  const uint8_t writing = layout::WriteStateWriting;
  const uint8_t consistent = layout::WriteStateConsistent;
  other.WriteBuffer(&writing, layout::HeaderWriteStateOffset, 1, errors::HeaderWrite);
  std::atomic<bool> finished{false};
  std::thread commit([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    other.WriteBuffer(&consistent, layout::HeaderWriteStateOffset, 1, errors::HeaderWrite);
    finished = true;
    other.UnlockByte(1, lockByte);
  });
  const size_t rows = SortedYears(table).size();
  const bool waited = finished;
  commit.join();
  EXPECT_TRUE(waited) << "read during the commit";
  EXPECT_EQ(rows, 50u);
}

// The check of a file in use waits for the writer's transaction: a page it has taken but
// not committed is never reported as unreachable.
TEST_F(InterruptedCommit, TheCheckOfAFileInUseWaitsForTheWritersTransaction) {
  {
    Connection recovering(path, false);
  }
  TZDBDiskPageManager writer;
  bool multiUser = true;
  bool readOnly = false;
  writer.OpenDatabaseFile(path, TZDBPassword{}, multiUser, false, readOnly);
  {
    TZDBPageRef page = TZDBPageRef::Add(writer, 0, PageTypeCode(TZDBPageType::TableRecord));
  }
  std::atomic<bool> cancelled{false};
  std::thread transaction([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cancelled = true;
    writer.CancelChanges(0);
  });
  const TZDBFileCheckReport report = CheckDatabaseFile(path, TZDBPassword{});
  const bool waited = cancelled;
  transaction.join();
  writer.CloseDatabaseFile();
  EXPECT_TRUE(waited) << "checked during the transaction";
  EXPECT_TRUE(report.Clean()) << report.Summary();
}

// A user without write permission on the file, its journal and its folder (a program
// installed by an administrator), in a process of its own: the committed rows are read,
// and a change fails without a byte or a file written.
TEST_F(InterruptedCommit, AUserWithoutWriteAccessReadsTheCommittedRowsAndWritesNothing) {
  namespace fs = std::filesystem;
  const fs::path folderPath = fs::path(path).parent_path();
  const std::string journal = TZDBRollbackJournal::FileNameFor(path);
  const std::string outputs = (fs::temp_directory_path() / ("zdb-nobody-" + std::to_string(::getpid()))).string();
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(journal, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::vector<uint8_t> fileBefore = test::ReadBytes(path);
  const std::vector<uint8_t> journalBefore = test::ReadBytes(journal);
  std::vector<std::string> namesBefore;
  for (const auto& entry : fs::directory_iterator(folderPath)) namesBefore.push_back(entry.path().string());
  fs::permissions(folderPath, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);

  const zdbtool::test::ToolRun dump = zdbtool::test::RunToolAsAnotherUser({"dump", path, "Maximo"}, outputs + "-dump");
  const zdbtool::test::ToolRun empty = zdbtool::test::RunToolAsAnotherUser({"empty", path, "Maximo"}, outputs + "-empty");
  fs::permissions(folderPath, fs::perms::owner_all);
  for (const char* run : {"-dump", "-empty"})
    for (const char* stream : {".out", ".err"}) fs::remove(outputs + run + stream);

  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 51) << "a heading and the 50 committed rows";
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_NE(empty.err.find("read-only"), std::string::npos) << empty.err;
  EXPECT_EQ(test::ReadBytes(path), fileBefore);
  EXPECT_EQ(test::ReadBytes(journal), journalBefore);
  std::vector<std::string> namesAfter;
  for (const auto& entry : fs::directory_iterator(folderPath)) namesAfter.push_back(entry.path().string());
  std::sort(namesBefore.begin(), namesBefore.end());
  std::sort(namesAfter.begin(), namesAfter.end());
  EXPECT_EQ(namesAfter, namesBefore);
}

}  // namespace
}  // namespace zdb::testing
