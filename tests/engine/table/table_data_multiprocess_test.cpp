// Several processes on one table: writers at the same time lose no row and keep every
// index whole, a reader sees what another process committed, and a writer killed in the
// middle of its work leaves a file that opens with every row it had committed.
#include <gtest/gtest.h>

#include <numeric>
#include <set>
#include <stdexcept>

#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/TableDataTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace zdb::testing {
namespace {

// The peer program (peer/TablePeer.cpp) in a process of its own.
class Peer : public zdbtest::ChildProcess {
 public:
  Peer() : ChildProcess(ZDB_TABLE_PEER_PATH) {}
};

class TableDataMultiProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    Connection connection(path, true);
    CreateMaximo(connection);
  }

  // The years of the table in index order, read by this process.
  std::vector<int32_t> StoredYears(Connection& connection) {
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    cursor.SetIndexID(IndexIDOf(table, "ANY"));
    return Years(table);
  }

  ScratchFolder folder;
  std::string path = folder.File("shared.zdb");
};

TEST_F(TableDataMultiProcess, TwoWritersAtOnceStoreEveryRowOnce) {
  constexpr int32_t RowsEach = 2000;
  {
    Peer first;
    Peer second;
    ASSERT_EQ(first.Run("open " + path), 0);
    ASSERT_EQ(second.Run("open " + path), 0);
    // A pause between rows, as users leave, gives the other writer its turns.
    first.Send("insert 0 " + std::to_string(RowsEach) + " 1");
    second.Send("insert 100000 " + std::to_string(RowsEach) + " 1");
    EXPECT_EQ(first.Reply(), 0);
    EXPECT_EQ(second.Reply(), 0);
    EXPECT_EQ(first.Run("count"), 2 * RowsEach);
  }
  Connection connection(path, true);
  std::vector<int32_t> expected(RowsEach);
  std::iota(expected.begin(), expected.end(), 0);
  for (int32_t year = 100000; year < 100000 + RowsEach; ++year) expected.push_back(year);
  EXPECT_EQ(StoredYears(connection), expected);

  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  const TZDBTableCheckReport report = CheckTable(table.Data(), cursor.SessionID());
  EXPECT_TRUE(report.Ok()) << ::testing::PrintToString(report.Problems);
  EXPECT_EQ(report.Rows, 2 * RowsEach);
  // In physical order the rows of the two writers alternate: they took turns.
  cursor.SetIndexID(TZDBTableCursor::NoIndex);
  const std::vector<int32_t> physical = Years(table);
  int32_t turns = 0;
  for (size_t i = 1; i < physical.size(); ++i) turns += (physical[i] >= 100000) != (physical[i - 1] >= 100000);
  EXPECT_GT(turns, 1);
}

TEST_F(TableDataMultiProcess, EachProcessSeesWhatTheOtherCommitted) {
  Connection connection(path, true);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  Peer reader;
  ASSERT_EQ(reader.Run("open " + path), 0);
  EXPECT_EQ(reader.Run("count"), 0);

  for (int32_t year : {2022, 2023, 2024}) InsertYear(table, year);
  EXPECT_EQ(reader.Run("count"), 3);
  EXPECT_EQ(reader.Run("find 2023"), 1);
  EXPECT_EQ(reader.Run("find 2025"), 0);
  EXPECT_EQ(reader.Run("sum"), 2022 + 2023 + 2024);

  // Pages the reader has cached change under it: it must read them again.
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  cursor.SetToBegin();
  ASSERT_EQ(table.Data().GetRecord(cursor, grmNext), grOK);
  PostDelete(table.Data(), cursor);
  InsertYear(table, 2030);
  EXPECT_EQ(reader.Run("find 2022"), 0);
  EXPECT_EQ(reader.Run("sum"), 2023 + 2024 + 2030);

  // And the other way round, with this process's table kept open.
  ASSERT_EQ(reader.Run("insert 1990 200"), 0);
  EXPECT_EQ(table.Data().GetRecordCount(cursor), 203);
  SearchKey key(table);
  cursor.SetSearchKey(key.Year(2189), key.Size(), 1);
  EXPECT_TRUE(table.Data().FindKey(cursor, TZDBSearchOperator::Equal));
  EXPECT_EQ(Years(table).front(), 1990);
  EXPECT_TRUE(CheckTable(table.Data(), cursor.SessionID()).Ok());
}

TEST_F(TableDataMultiProcess, WhileAnotherProcessHasTheTableOpenNobodyHasItAlone) {
  Peer user;
  ASSERT_EQ(user.Run("open " + path), 0);
  Peer remover;
  Connection connection(path, true);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  InsertYear(table, 2024);
  // Both wait out the exclusive lock at the same time: deleting opens the table
  // exclusively first.
  remover.Send("delete " + path);
  TZDBIndexDef byCap;
  byCap.SetName("BYCAP");
  byCap.SetColumns({{"TopeCot"}});
  const RaisedError refused = ErrorOf([&] { table.Data().AddIndex(byCap, cursor); });
  EXPECT_EQ(refused.code, 20208);
  EXPECT_EQ(refused.message, "Cannot access table 'Maximo' in exclusive mode. Table is open by another user");
  EXPECT_EQ(table.Data().IndexManager()->IndexDefs().Count(), 1);
  // A table in use is not deleted from under its users.
  EXPECT_EQ(remover.Reply(), 20208);
  EXPECT_TRUE(connection.Data().TableExists("Maximo"));
  EXPECT_EQ(Years(table), std::vector<int32_t>{2024});

  // Once the other process has closed it, the index is added.
  ASSERT_EQ(user.Run("close"), 0);
  table.Data().AddIndex(byCap, cursor);
  EXPECT_EQ(table.Data().IndexManager()->IndexDefs().Count(), 2);
}

TEST_F(TableDataMultiProcess, AWriterKilledMidWayLosesNoCommittedRow) {
  // The kill lands wherever the writer happens to be: between rows, in a post, in a commit.
  for (const size_t killAfter : {1u, 57u, 300u}) {
    SCOPED_TRACE(::testing::Message() << "killed after " << killAfter << " rows");
    const std::string file = folder.File("killed" + std::to_string(killAfter) + ".zdb");
    CreateDatabaseFile(file);
    {
      Connection connection(file, true);
      CreateMaximo(connection);
    }
    std::vector<int32_t> committed;
    {
      Peer writer;
      ASSERT_EQ(writer.Run("open " + file), 0);
      writer.Send("stream 0 1000000");
      long long year = 0;
      while (committed.size() < killAfter && writer.Next(year)) committed.push_back(static_cast<int32_t>(year));
      writer.Kill();
    }
    ASSERT_EQ(committed.size(), killAfter);
    Connection connection(file, true);  // opens, whatever state the kill left
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    const std::vector<int32_t> physical = Years(table);
    const std::set<int32_t> stored(physical.begin(), physical.end());
    EXPECT_EQ(stored.size(), physical.size()) << "no row twice";
    for (int32_t year : committed) EXPECT_EQ(stored.count(year), 1u) << "year " << year;
    // Rows committed before the kill are found by the index too.
    cursor.SetIndexID(IndexIDOf(table, "ANY"));
    SearchKey key(table);
    for (int32_t year : {committed.front(), committed[committed.size() / 2], committed.back()}) {
      cursor.SetSearchKey(key.Year(year), key.Size(), 1);
      EXPECT_TRUE(table.Data().FindKey(cursor, TZDBSearchOperator::Equal)) << "year " << year;
    }
  }
}

}  // namespace
}  // namespace zdb::testing
