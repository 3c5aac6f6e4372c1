// Operations on a table as a whole: the cursor's (delete, clear, rename the table; rename
// a field; add and drop an index) with their errors, and the table component's over
// them, which refuse inside a transaction and while the table is open where they must.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBEngineError.h"
#include "engine/dataset/ZDBLocalCursor.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/framework/DatabaseError.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

PlatformVariant Year(int32_t year) { return PlatformVariant::Integral(TVarType::Integer, year); }

struct Raised {
  int32_t code = 0;
  std::string text;
};

// The engine error the call raised (code 0: none).
Raised EngineErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EZDBException& e) {
    return {e.NativeError(), e.what()};
  }
  return {};
}

class TableOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      CreateMaximo(connection);
      CreateMaximo(connection, "Limites");
      TZDBTableCursor cursor(connection.session, "Maximo");
      TZDBOpenTable maximo(connection.Data(), cursor);
      for (int32_t year : {2022, 2023, 2024}) InsertYear(maximo, year);
    }
    database.SetDatabaseName("Zelmarot");
    database.SetDatabaseFileName(path);
    database.SetMultiUser(true);
    database.Open();
  }

  std::unique_ptr<TZDBLocalCursor> CursorOn(const std::string& name, bool open) {
    auto cursor = std::make_unique<TZDBLocalCursor>(*database.Handle(), name);
    if (open) {
      cursor->OpenTable();
      cursor->InitFieldLayout();
    }
    return cursor;
  }

  std::unique_ptr<TZDBTable> Component(const std::string& name) {
    auto table = std::make_unique<TZDBTable>();
    table->SetDatabaseName("Zelmarot");
    table->SetTableName(name);
    return table;
  }

  std::vector<int32_t> Years(const std::string& name, const std::string& index = "") {
    std::unique_ptr<TZDBTable> table = Component(name);
    table->SetIndexName(index);
    table->Open();
    std::vector<int32_t> years;
    for (table->First(); !table->Eof(); table->Next()) years.push_back(table->FieldByName("any").AsInteger());
    return years;
  }

  std::vector<std::string> Tables() {
    std::vector<std::string> names;
    database.GetTableNames(names);
    return names;
  }

  ScratchFolder folder;
  std::string path = folder.File("Zelmarot.zdb");
  TZDBDatabase database;
};

TEST_F(TableOperations, TheCursorEmptiesRenamesAndDeletesTheTable) {
  std::unique_ptr<TZDBLocalCursor> cursor = CursorOn("Maximo", true);
  cursor->ClearTable();
  EXPECT_FALSE(cursor->IsOpen());
  EXPECT_TRUE(Years("Maximo").empty());

  cursor->RenameTable("Anteriores");
  EXPECT_EQ(cursor->TableName(), "Anteriores");
  EXPECT_FALSE(database.TableExists("Maximo"));
  EXPECT_TRUE(database.TableExists("Anteriores"));

  cursor->DeleteTable();
  EXPECT_EQ(Tables(), std::vector<std::string>{"Limites"});
}

TEST_F(TableOperations, TheCursorsTableOperationsRefuseWithTheirCodes) {
  std::unique_ptr<TZDBLocalCursor> missing = CursorOn("Nada", false);
  std::unique_ptr<TZDBLocalCursor> maximo = CursorOn("Maximo", false);
  TZDBLocalSession disconnected(TZDBConnectionSettings{});
  TZDBLocalCursor unconnected(disconnected, "Maximo");
  struct Case {
    std::function<void()> call;
    int32_t code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[&] { missing->DeleteTable(); }, 20132, "Table 'Nada' not found - Native error: 20132"},
      {[&] { missing->ClearTable(); }, 20133, "Table 'Nada' not found - Native error: 20133"},
      {[&] { missing->RenameTable("Otra"); }, 20134, "Table 'Nada' not found - Native error: 20134"},
      {[&] { maximo->RenameTable("limites"); }, 30451, "Table limites already exists - Native error: 30451"},
      {[&] { maximo->RenameTable("MAXIMO"); }, 30452,
       "Cannot rename table 'Maximo' into itself - Native error: 30452"},
      {[&] { unconnected.DeleteTable(); }, 10027, "Table not found, table name = Maximo - Native error: 10027"},
      {[&] { unconnected.ClearTable(); }, 10073, "Table not found, table name = Maximo - Native error: 10073"},
      {[&] { unconnected.RenameTable("Otra"); }, 10151, "Table not found, table name = Maximo - Native error: 10151"},
  };
  for (const Case& c : cases) {
    const Raised raised = EngineErrorOf(c.call);
    EXPECT_EQ(raised.code, c.code);
    EXPECT_EQ(raised.text, c.text);
  }
  EXPECT_EQ(Years("Maximo"), (std::vector<int32_t>{2022, 2023, 2024}));
  EXPECT_EQ(Tables(), (std::vector<std::string>{"Maximo", "Limites"}));
}

TEST_F(TableOperations, ATableOpenElsewhereInTheProcessIsNotPulledFromUnderIt) {
  std::unique_ptr<TZDBTable> open = Component("Maximo");
  open->Open();
  std::unique_ptr<TZDBLocalCursor> cursor = CursorOn("Maximo", false);
  EXPECT_EQ(EngineErrorOf([&] { cursor->DeleteTable(); }).code, 20017);
  EXPECT_EQ(EngineErrorOf([&] { cursor->RenameTable("Otra"); }).code, 10150);
  EXPECT_EQ(EngineErrorOf([&] { cursor->ClearTable(); }).code, 20242);
  open->First();
  EXPECT_EQ(open->FieldByName("any").AsInteger(), 2022);
  EXPECT_EQ(open->RecordCount(), 3);
}

TEST_F(TableOperations, TheCursorAddsDropsAndRenamesOnItsOpenTable) {
  std::unique_ptr<TZDBLocalCursor> cursor = CursorOn("Maximo", true);
  TZDBIndexDef byAmount;
  byAmount.SetName("PORPENMAX");
  byAmount.SetColumns({{"PenMax", true}});
  cursor->AddIndex(byAmount);
  EXPECT_NE(cursor->IndexDefs().FindByName("porpenmax"), nullptr);
  const Raised exists = EngineErrorOf([&] { cursor->AddIndex(byAmount); });
  EXPECT_EQ(exists.code, 20022);
  EXPECT_EQ(exists.text, "Cannot create index 'PORPENMAX'. Index already exists - Native error: 20022");
  EXPECT_EQ(Years("Maximo", "PorPenMax"), (std::vector<int32_t>{2024, 2023, 2022}));

  cursor->SetIndexName("PORPENMAX");
  cursor->DeleteIndex("porPenMax");
  EXPECT_EQ(cursor->IndexID(), TZDBTableCursor::NoIndex);
  const Raised missing = EngineErrorOf([&] { cursor->DeleteIndex("PORPENMAX"); });
  EXPECT_EQ(missing.code, 20021);
  EXPECT_EQ(missing.text, "Cannot delete index 'PORPENMAX'. Index not found - Native error: 20021");

  cursor->RenameField("TopeCot", "Tope");
  EXPECT_EQ(cursor->TableFields().IndexOfName("Tope"), 2);
  EXPECT_EQ(EngineErrorOf([&] { cursor->RenameField("TopeCot", "Otro"); }).code, 30343);
  EXPECT_EQ(EngineErrorOf([&] { cursor->RenameField("Tope", "PenMax"); }).code, 30344);
  cursor->CloseTable();
  std::unique_ptr<TZDBTable> table = Component("Maximo");
  table->Open();
  EXPECT_DOUBLE_EQ(table->FieldByName("Tope").AsFloat(), 2022 * 2 + 0.5);
}

TEST_F(TableOperations, TheBaseCursorRenamesOnlyItsCopyOfTheFields) {
  std::unique_ptr<TZDBLocalCursor> cursor = CursorOn("Maximo", true);
  TZDBCursor& base = *cursor;
  base.TZDBCursor::RenameField("penmax", "Pension");
  EXPECT_EQ(cursor->TableFields().IndexOfName("Pension"), 1);
  const Raised missing = EngineErrorOf([&] { base.TZDBCursor::RenameField("PenMax", "Otro"); });
  EXPECT_EQ(missing.code, 30345);
  EXPECT_EQ(missing.text, "Field 'PenMax' not found - Native error: 30345");
  const Raised taken = EngineErrorOf([&] { base.TZDBCursor::RenameField("Pension", "ANY"); });
  EXPECT_EQ(taken.code, 30346);
  EXPECT_EQ(taken.text, "Cannot rename field 'Pension'. Field 'ANY' already exists - Native error: 30346");
  base.TZDBCursor::RenameField("Pension", std::string(300, 'P'));
  EXPECT_EQ(cursor->TableFields().Items(1).Name(), std::string(255, 'P'));
  cursor->CloseTable();
  // The table keeps its field names.
  std::unique_ptr<TZDBTable> table = Component("Maximo");
  table->Open();
  EXPECT_NE(table->FindField("PenMax"), nullptr);
}

TEST_F(TableOperations, TheComponentEmptiesAnOpenTableAndReadsItAgain) {
  std::unique_ptr<TZDBTable> table = Component("Maximo");
  table->SetIndexName("ANY");
  table->Open();
  table->EmptyTable();
  EXPECT_TRUE(table->Active());
  EXPECT_TRUE(table->IsEmpty());
  table->Insert();
  table->FieldByName("any").SetAsInteger(2030);
  table->Post();
  EXPECT_TRUE(table->FindKey({Year(2030)}));
  table->Close();
  // Closed, it works the same.
  table->EmptyTable();
  EXPECT_TRUE(Years("Maximo").empty());
}

TEST_F(TableOperations, TheComponentRenamesAndDeletesAClosedTable) {
  std::unique_ptr<TZDBTable> table = Component("Maximo");
  table->Open();
  EXPECT_THROW(table->RenameTable("Anteriores"), data::EDatabaseError);
  EXPECT_THROW(table->DeleteTable(), data::EDatabaseError);
  EXPECT_THROW(table->RenameField("PenMax", "Pension"), data::EDatabaseError);
  table->Close();

  table->RenameTable("Anteriores");
  EXPECT_EQ(table->TableName(), "Anteriores");
  table->RenameField("PenMax", "Pension");
  table->Open();
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_NE(table->FindField("Pension"), nullptr);
  table->Close();
  table->DeleteTable();
  EXPECT_EQ(Tables(), std::vector<std::string>{"Limites"});
  // Nothing is left to delete.
  EXPECT_EQ(EngineErrorOf([&] { table->DeleteTable(); }).code, 20132);
}

TEST_F(TableOperations, TheComponentAddsAndDropsIndexesOpenOrClosed) {
  std::unique_ptr<TZDBTable> table = Component("Maximo");
  table->AddIndex("PORTOPE", "TopeCot; any", {.Descending = true});
  table->SetIndexName("PORTOPE");
  table->Open();
  std::vector<int32_t> years;
  for (table->First(); !table->Eof(); table->Next()) years.push_back(table->FieldByName("any").AsInteger());
  EXPECT_EQ(years, (std::vector<int32_t>{2024, 2023, 2022}));
  // Not the index the open table reads by; another one, yes.
  EXPECT_THROW(table->DeleteIndex("portope"), data::EDatabaseError);
  table->AddIndex("UNICO", "PenMax", {.Unique = true});
  table->DeleteIndex("ANY");
  table->Close();
  table->DeleteIndex("PORTOPE");
  table->SetIndexName("");
  table->Open();
  std::vector<std::string> names;
  for (int32_t i = 0; i < table->Cursor()->IndexDefs().Count(); ++i)
    names.push_back(table->Cursor()->IndexDefs().Items(i).Name());
  EXPECT_EQ(names, std::vector<std::string>{"UNICO"});
  // The unique index came with its constraint.
  table->Insert();
  table->FieldByName("any").SetAsInteger(2030);
  table->FieldByName("PenMax").SetAsFloat(2022.25);
  try {
    table->Post();
    FAIL() << "a duplicate was stored";
  } catch (const EZDBEngineError& e) {
    EXPECT_EQ(e.EngineCode(), engine_code::CheckFailed);
  }
  table->Cancel();

  const Raised blank = EngineErrorOf([&] { table->AddIndex(" ", "any"); });
  EXPECT_EQ(blank.code, 20046);
  EXPECT_EQ(EngineErrorOf([&] { table->AddIndex("X", " ; "); }).code, 20049);
  EXPECT_EQ(EngineErrorOf([&] { table->AddIndex("X", "Nada"); }).code, 20043);
  EXPECT_EQ(EngineErrorOf([&] { table->AddIndex("unico", "any"); }).code, 20022);
  EXPECT_EQ(EngineErrorOf([&] { table->DeleteIndex("Nada"); }).code, 20021);
}

TEST_F(TableOperations, NoTableOperationRunsInsideATransaction) {
  std::unique_ptr<TZDBTable> table = Component("Maximo");
  database.StartTransaction();
  struct Case {
    std::function<void()> call;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[&] { table->EmptyTable(); },
       "Cannot perform 'EmptyTable' operation on a database in transaction - Native error: 20182"},
      {[&] { table->DeleteTable(); },
       "Cannot perform 'DeleteTable' operation on a database in transaction - Native error: 20176"},
      {[&] { table->RenameTable("Otra"); },
       "Cannot perform 'RenameTable' operation on a database in transaction - Native error: 20177"},
      {[&] { table->RenameField("PenMax", "Otro"); },
       "Cannot perform 'RenameField' operation on a database in transaction - Native error: 20179"},
      {[&] { table->AddIndex("OTRO", "PenMax"); },
       "Cannot perform 'AddIndex' operation on a database in transaction - Native error: 20180"},
      {[&] { table->DeleteIndex("ANY"); },
       "Cannot perform 'DeleteIndex' operation on a database in transaction - Native error: 20181"},
  };
  for (const Case& c : cases) EXPECT_EQ(EngineErrorOf(c.call).text, c.text);
  database.Rollback();
  EXPECT_EQ(Years("Maximo", "ANY"), (std::vector<int32_t>{2022, 2023, 2024}));
}

}  // namespace
}  // namespace zdb::testing
