// Whole-table operations of the disk table data: opening in exclusive mode, deleting,
// emptying and renaming a table, renaming a field, taking over another table's automatic
// increment counters.
#include <gtest/gtest.h>

#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

int32_t UsedPages(const Connection& connection) {
  TZDBDatabaseFreeSpaceManager& space = connection.Data().DiskPageManager()->FreeSpaceManager();
  int32_t used = 0;
  for (int32_t pageNo = 0; pageNo < space.TotalPageCount(); ++pageNo) used += space.IsPageUsed(pageNo) ? 1 : 0;
  return used;
}

class TableDataTables : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabaseFile(path); }

  ScratchFolder folder;
  std::string path = folder.File("tables.zdb");
};

TEST_F(TableDataTables, ASecondCursorCannotHaveTheTableExclusively) {
  Connection connection(path, false);
  CreateMaximo(connection);
  TZDBTableCursor shared(connection.session, "Maximo");
  TZDBOpenTable first(connection.Data(), shared);
  TZDBTableCursor exclusive(connection.session, "Maximo");
  exclusive.SetExclusive(true);
  const RaisedError error = ErrorOf([&] { TZDBOpenTable second(connection.Data(), exclusive); });
  EXPECT_EQ(error.code, 20242);
  EXPECT_EQ(error.message, "Cannot access table 'Maximo' in exclusive mode. Table is open by another cursors");
  EXPECT_EQ(first.Data().CursorCount(), 1u);
  TZDBTableCursor another(connection.session, "Maximo");
  TZDBOpenTable third(connection.Data(), another);
  EXPECT_EQ(first.Data().CursorCount(), 2u);
  // Creating the open table again leaves it as it is.
  TZDBFieldDefs fields;
  AddControlFields(fields);
  const RaisedError exists = ErrorOf([&] { first.Data().CreateTable(another, fields, {}, {}); });
  EXPECT_EQ(exists.code, 30395);
  EXPECT_EQ(exists.message, "Cannot create table. Table 'Maximo' already exists");
  InsertYear(first, 2024);
  EXPECT_EQ(Years(first), std::vector<int32_t>{2024});
}

TEST_F(TableDataTables, OpeningATableThatDoesNotExistFails) {
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Nowhere");
  EXPECT_NE(ErrorOf([&] { TZDBOpenTable table(connection.Data(), cursor); }).code, 0);
  EXPECT_EQ(connection.Data().TableDataCount(), 0u);
}

TEST_F(TableDataTables, DeletingATableGivesEveryPageBack) {
  Connection connection(path, false);
  const int32_t before = UsedPages(connection);
  CreateMaximo(connection);
  TZDBTableCursor cursor(connection.session, "Maximo");
  {
    TZDBOpenTable table(connection.Data(), cursor);
    for (int32_t year = 0; year < 400; ++year) InsertYear(table, year);
    EXPECT_EQ(ErrorOf([&] { table.Data().DeleteTable(cursor, false); }).code, 20017);
  }
  TZDBDiskTableData& data = DiskTableDataOf(connection.Data(), "Maximo");
  data.DeleteTable(cursor, false);
  ReleaseDiskTableData(data);
  EXPECT_FALSE(connection.Data().TableExists("Maximo"));
  EXPECT_EQ(UsedPages(connection), before);
  CreateMaximo(connection);  // the name is free again
}

TEST_F(TableDataTables, EmptyingATableRemovesEveryRowAndKeepsItUsable) {
  Connection connection(path, false);
  CreateMaximo(connection);
  TZDBTableCursor cursor(connection.session, "Maximo");
  const int32_t empty = UsedPages(connection);
  {
    TZDBOpenTable table(connection.Data(), cursor);
    for (int32_t year = 0; year < 400; ++year) InsertYear(table, year);
  }
  TZDBDiskTableData& data = DiskTableDataOf(connection.Data(), "Maximo");
  data.EmptyTable(cursor);
  ReleaseDiskTableData(data);
  EXPECT_EQ(UsedPages(connection), empty);

  TZDBOpenTable table(connection.Data(), cursor);
  EXPECT_EQ(table.Data().GetRecordCount(cursor), 0);
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  EXPECT_TRUE(Years(table).empty());
  InsertYear(table, 2024);
  EXPECT_EQ(Years(table), std::vector<int32_t>{2024});
  EXPECT_TRUE(CheckTable(table.Data(), cursor.SessionID()).Ok());
}

TEST_F(TableDataTables, RenamingATable) {
  Connection connection(path, false);
  CreateMaximo(connection);
  CreateMaximo(connection, "Control");
  TZDBTableCursor cursor(connection.session, "Maximo");
  {
    TZDBOpenTable table(connection.Data(), cursor);
    InsertYear(table, 2024);
    const RaisedError error = ErrorOf([&] { table.Data().RenameTable("Years", cursor); });
    EXPECT_EQ(error.code, 10150);
    EXPECT_EQ(error.message, "Cannot rename table 'Maximo'. Table is open by another dataset");
  }
  TZDBDiskTableData& data = DiskTableDataOf(connection.Data(), "Maximo");
  EXPECT_NE(ErrorOf([&] { data.RenameTable("CONTROL", cursor); }).code, 0);
  data.RenameTable("Years", cursor);
  ReleaseDiskTableData(data);
  EXPECT_FALSE(connection.Data().TableExists("Maximo"));
  TZDBTableCursor renamed(connection.session, "years");
  TZDBOpenTable table(connection.Data(), renamed);
  EXPECT_EQ(Years(table), std::vector<int32_t>{2024});
}

TEST_F(TableDataTables, RenamingAFieldCarriesItsIndexAndConstraintsAlong) {
  {
    Connection connection(path, false);
    CreateMaximo(
        connection, "Maximo", [](TZDBIndexDefs& indexes) { AddAnyIndex(indexes); },
        [](TZDBConstraintDefs& constraints) { constraints.AddNotNull().SetTargetName("any"); });
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    InsertYear(table, 2024);
    const RaisedError missing = ErrorOf([&] { table.Data().RenameField("year", "Anyo"); });
    EXPECT_EQ(missing.code, 30343);
    EXPECT_EQ(missing.message, "Field 'year' not found");
    const RaisedError taken = ErrorOf([&] { table.Data().RenameField("any", "penmax"); });
    EXPECT_EQ(taken.code, 30344);
    EXPECT_EQ(taken.message, "Cannot rename field 'any'. Field 'penmax' already exists");
    table.Data().RenameField("any", "Anyo");
  }
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  EXPECT_EQ(table.Data().FieldManager()->FieldDefs().Items(0).Name(), "Anyo");
  EXPECT_EQ(table.Data().IndexManager()->IndexDefs().Items(0).Columns()[0].FieldName, "Anyo");
  EXPECT_EQ(table.Data().ConstraintManager()->ConstraintDefs().Items(0).TargetName(), "Anyo");
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  InsertYear(table, 2020);
  EXPECT_EQ(Years(table), (std::vector<int32_t>{2020, 2024}));
  Row(table).SetMaximo(2030);
  Row(table).SetNull(0);
  EXPECT_EQ(ErrorOf([&] { PostInsert(table.Data(), cursor); }).code, 30026);
}

TEST_F(TableDataTables, CountersTakenFromAnotherTableAreStoredAndTheCountsStay) {
  Connection connection(path, false);
  TZDBFieldDefs fields;
  AddMaximoFields(fields);
  fields.Add(Field("id", TZDBLogicalType::AutoInc));
  CreateDiskTable(connection.Data(), connection.session, "Contador", fields, {}, {});
  TZDBBaseFieldManager source;
  source.SetFieldDefs(fields);
  source.SetAutoincValues({0, 0, 0, 41});
  {
    TZDBTableCursor cursor(connection.session, "Contador");
    TZDBOpenTable table(connection.Data(), cursor);
    InsertYear(table, 2024);
    const int32_t changes = table.Data().RecordManager()->ChangeCount();
    table.Data().SetAutoincValues(cursor, source);
    EXPECT_EQ(table.Data().FieldManager()->AutoincValues(), source.AutoincValues());
    EXPECT_EQ(table.Data().RecordManager()->RecordCount(), 1);
    EXPECT_EQ(table.Data().RecordManager()->ChangeCount(), changes);

    // Counters of another table layout are refused and change nothing.
    TZDBFieldDefs one;
    one.Add(Field("id", TZDBLogicalType::AutoInc));
    TZDBBaseFieldManager other;
    other.SetFieldDefs(one);
    const RaisedError error = ErrorOf([&] { table.Data().SetAutoincValues(cursor, other); });
    EXPECT_EQ(error.code, 20164);
    EXPECT_EQ(error.message, "Invalid table header data");
    EXPECT_EQ(table.Data().FieldManager()->AutoincValues(), source.AutoincValues());
  }
  // Committed: another connection reads them, and the next row continues from them.
  Connection reader(path, false);
  TZDBTableCursor cursor(reader.session, "Contador");
  TZDBOpenTable table(reader.Data(), cursor);
  EXPECT_EQ(table.Data().FieldManager()->AutoincValues(), source.AutoincValues());
  EXPECT_EQ(table.Data().RecordManager()->RecordCount(), 1);
  InsertYear(table, 2025);
  EXPECT_EQ(Row(table).Integer(3), 42);
}

}  // namespace
}  // namespace zdb::testing
