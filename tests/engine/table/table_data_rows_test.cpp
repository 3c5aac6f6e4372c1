// Creating and opening tables of a database file, and rows inserted, read, updated and
// deleted through the disk table data with every index kept in step.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/table/ZDBTableCheck.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

class TableDataRows : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabaseFile(path); }

  void ExpectConsistent(TZDBOpenTable& table) {
    const TZDBTableCheckReport report = CheckTable(table.Data(), table.Cursor().SessionID());
    EXPECT_TRUE(report.Ok()) << ::testing::PrintToString(report.Problems);
  }

  ScratchFolder folder;
  std::string path = folder.File("rows.zdb");
};

TEST_F(TableDataRows, CreatedTableOpensWithItsDefinitionsAndNoRows) {
  Connection connection(path, false);
  CreateMaximo(connection);
  EXPECT_TRUE(connection.Data().TableExists("MAXIMO"));

  TZDBTableCursor cursor(connection.session, "maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  const TZDBFieldDefs& fields = table.Data().FieldManager()->FieldDefs();
  ASSERT_EQ(fields.Count(), 3);
  EXPECT_EQ(fields.Items(1).Name(), "PenMax");
  EXPECT_NE(fields.Items(0).ObjectID(), fields.Items(1).ObjectID());
  const TZDBIndexDef* any = table.Data().IndexManager()->FindIndexDefByName("any", cursor.SessionID());
  ASSERT_NE(any, nullptr);
  EXPECT_NE(any->RootPageNo(), TZDBIndexDef::NoRootPageNo);
  EXPECT_EQ(table.Data().GetRecordCount(cursor), 0);

  // The frequently updated data: 3 counters, the change count and the row count.
  const TZDBTableListEntry entry = connection.Data().GetTableFromList("Maximo");
  TZDBInternalDBTransactedAccessFile mostUpdated(*connection.Data().PageManager(),
                                                 PageTypeCode(TZDBPageType::TableMostUpdated));
  mostUpdated.Open(entry.MostUpdatedStartPageNo);
  EXPECT_EQ(mostUpdated.ReadAll(cursor.SessionID()).size(), 36u);
}

TEST_F(TableDataRows, EmptyTableAnswersEndForEveryMode) {
  Connection connection(path, false);
  CreateMaximo(connection);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  for (const bool indexed : {false, true}) {
    cursor.SetIndexID(indexed ? IndexIDOf(table, "ANY") : TZDBTableCursor::NoIndex);
    for (const uint8_t mode : {grmCurrent, grmNext, grmPrior}) {
      for (const bool atEnd : {false, true}) {
        if (atEnd)
          cursor.SetToEnd();
        else
          cursor.SetToBegin();
        EXPECT_EQ(table.Data().GetRecord(cursor, mode), grEOF) << "indexed " << indexed << " mode " << int{mode};
      }
    }
  }
}

TEST_F(TableDataRows, RowsComeBackInPhysicalAndIndexOrderAfterReopening) {
  const std::vector<int32_t> years = {2024, 2021, 2023, 2019, 2022, 2020};
  {
    Connection connection(path, false);
    CreateMaximo(connection);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    for (int32_t year : years) InsertYear(table, year);
  }
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  EXPECT_EQ(table.Data().GetRecordCount(cursor), 6);
  EXPECT_EQ(Years(table), years);
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  std::vector<int32_t> sorted = years;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(Years(table), sorted);
  std::reverse(sorted.begin(), sorted.end());
  EXPECT_EQ(Years(table, true), sorted);
  EXPECT_EQ(Row(table).Float(1), 2019.25);
  ExpectConsistent(table);
}

TEST_F(TableDataRows, The192ndRowStartsASecondRecordPage) {
  Connection connection(path, false);
  CreateMaximo(connection);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  TZDBDiskRecordManager& records = *table.Data().DiskRecordManager();
  ASSERT_EQ(records.RecordsPerPage(), 191);
  for (int32_t year = 1; year <= 191; ++year) InsertYear(table, year);
  EXPECT_EQ(records.PageIndex().AllPages(cursor.SessionID()).size(), 1u);
  InsertYear(table, 192);
  EXPECT_EQ(records.PageIndex().AllPages(cursor.SessionID()).size(), 2u);
  EXPECT_EQ(cursor.RecordID().RecordNo, 0);
  ExpectConsistent(table);
}

TEST_F(TableDataRows, UpdateMovesTheRowInIndexOrder) {
  Connection connection(path, false);
  CreateMaximo(connection);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  for (int32_t year : {2020, 2021, 2022}) InsertYear(table, year);
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  cursor.SetToBegin();
  ASSERT_EQ(table.Data().GetRecord(cursor, grmNext), grOK);  // 2020
  Row(table).SetInteger(0, 2030);
  Row(table).SetFloat(2, 7.5);
  PostUpdate(table.Data(), cursor);

  EXPECT_EQ(Years(table), (std::vector<int32_t>{2021, 2022, 2030}));
  EXPECT_EQ(Row(table).Float(2), 7.5);
  SearchKey key(table);
  cursor.SetSearchKey(key.Year(2020), key.Size(), 1);
  EXPECT_FALSE(table.Data().FindKey(cursor, TZDBSearchOperator::Equal));
  ExpectConsistent(table);
}

TEST_F(TableDataRows, DeleteLeavesTheCursorOnTheNeighbourInItsOrder) {
  struct Case {
    const char* name;
    std::vector<int32_t> years;  // inserted in this order
    bool indexed;
    int32_t deleted;
    bool beforeFirst;  // where the cursor stands afterwards
    int32_t standsOn;
  };
  const Case cases[] = {
      {"only row", {2020}, false, 2020, true, 0},
      {"last row in index order", {2022, 2020, 2021}, true, 2022, false, 2021},
      {"middle row in index order", {2022, 2020, 2021}, true, 2021, false, 2022},
      {"last physical row", {2022, 2020, 2021}, false, 2021, false, 2020},
      {"first physical row", {2022, 2020, 2021}, false, 2022, false, 2020},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Connection connection(path, false);
    const std::string name = std::string("T") + std::to_string(&c - cases);
    CreateMaximo(connection, name);
    TZDBTableCursor cursor(connection.session, name);
    TZDBOpenTable table(connection.Data(), cursor);
    for (int32_t year : c.years) InsertYear(table, year);
    cursor.SetIndexID(c.indexed ? IndexIDOf(table, "ANY") : TZDBTableCursor::NoIndex);
    cursor.SetToBegin();
    while (table.Data().GetRecord(cursor, grmNext) == grOK && Row(table).Integer(0) != c.deleted) {
    }
    PostDelete(table.Data(), cursor);
    EXPECT_EQ(cursor.BeforeFirst(), c.beforeFirst);
    if (!c.beforeFirst) {
      ASSERT_EQ(table.Data().GetRecord(cursor, grmCurrent), grOK);
      EXPECT_EQ(Row(table).Integer(0), c.standsOn);
    }
    EXPECT_EQ(table.Data().GetRecordCount(cursor), static_cast<int64_t>(c.years.size()) - 1);
    ExpectConsistent(table);
  }
}

TEST_F(TableDataRows, MultiUserReadsTrustCachedPagesWhileTheTableIsUnchanged) {
  os::FaultInjectingFileSystem counting(os::FileSystem::Default());
  Connection connection(path, true, counting);
  CreateMaximo(connection);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  for (int32_t year = 0; year < 400; ++year) InsertYear(table, year);
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  ASSERT_EQ(Years(table).size(), 400u);  // every page cached

  // Each read checks the table's change count in the file, and then trusts the pages it
  // cached under that count instead of checking them one by one.
  counting.Reset();
  table.Data().GetRecordCount(cursor);
  const uint64_t countCheck = counting.CallCount(os::FileOperation::Read);
  ASSERT_GT(countCheck, 0u);
  counting.Reset();
  ASSERT_EQ(Years(table).size(), 400u);
  EXPECT_EQ(counting.CallCount(os::FileOperation::Read), 401 * countCheck);
}

TEST_F(TableDataRows, RandomChangesKeepEveryIndexInStep) {
  Connection connection(path, false);
  CreateMaximo(connection, "Maximo", [](TZDBIndexDefs& indexes) {
    AddAnyIndex(indexes);
    auto byCap = std::make_unique<TZDBIndexDef>();
    byCap->SetName("BYCAP");
    byCap->SetColumns({{"TopeCot", true}, {"any"}});
    indexes.Add(std::move(byCap));
  });
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  std::mt19937 random(7);
  std::vector<int32_t> model;
  for (int32_t step = 0; step < 600; ++step) {
    const int32_t choice = static_cast<int32_t>(random() % 4);
    if (choice < 2 || model.empty()) {
      const int32_t year = static_cast<int32_t>(random() % 500);
      InsertYear(table, year);
      model.push_back(year);
      continue;
    }
    cursor.SetIndexID(TZDBTableCursor::NoIndex);
    table.Data().SetRecNo(cursor, 1 + static_cast<int64_t>(random() % model.size()));
    ASSERT_EQ(table.Data().GetRecord(cursor, grmCurrent), grOK);
    const int32_t year = Row(table).Integer(0);
    model.erase(std::find(model.begin(), model.end(), year));
    if (choice == 2) {
      PostDelete(table.Data(), cursor);
    } else {
      const int32_t newYear = static_cast<int32_t>(random() % 500);
      Row(table).SetMaximo(newYear);
      PostUpdate(table.Data(), cursor);
      model.push_back(newYear);
    }
  }
  ExpectConsistent(table);
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  std::sort(model.begin(), model.end());
  EXPECT_EQ(Years(table), model);
}

}  // namespace
}  // namespace zdb::testing
