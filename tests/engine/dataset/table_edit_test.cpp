// Editing through the table component: edit, insert, post and delete reach the file and
// keep the year order; a row being edited is locked for other connections, and an edit
// of a row another connection changed meanwhile is refused with the engine's code;
// closing in edit state discards the edit.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBEngineError.h"
#include "engine/dataset/ZDBTable.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

PlatformVariant Year(int32_t year) { return PlatformVariant::Integral(TVarType::Integer, year); }

class TableEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      CreateMaximo(connection);
      CreateMaximo(
          connection, "Estricto", [](TZDBIndexDefs& indexes) { AddAnyIndex(indexes, true); },
          [](TZDBConstraintDefs& constraints) { constraints.AddNotNull().SetTargetName("PenMax"); });
      TZDBTableCursor cursor(connection.session, "Maximo");
      TZDBOpenTable maximo(connection.Data(), cursor);
      for (int32_t year : {2022, 2023, 2024}) InsertYear(maximo, year);
    }
    database = std::make_unique<TZDBDatabase>();
    database->SetDatabaseName("Zelmarot");
    database->SetDatabaseFileName(path);
    database->SetMultiUser(true);
    first = OpenMaximo();
  }
  void TearDown() override {
    second.reset();
    first.reset();
    other.reset();
    database.reset();
  }

  // A second connection to the file, through which `second` is opened.
  std::unique_ptr<TZDBDatabase> OpenOtherConnection() {
    auto connection = std::make_unique<TZDBDatabase>();
    connection->SetDatabaseName("Otro");
    connection->SetDatabaseFileName(path);
    connection->SetMultiUser(true);
    second = OpenMaximo("Maximo", "Otro");
    return connection;
  }

  std::unique_ptr<TZDBTable> OpenMaximo(const std::string& name = "Maximo",
                                        const std::string& databaseName = "Zelmarot") const {
    auto table = std::make_unique<TZDBTable>();
    table->SetDatabaseName(databaseName);
    table->SetTableName(name);
    if (name == "Maximo") table->SetIndexName("ANY");
    table->Open();
    return table;
  }
  static std::vector<int32_t> Years(TZDBTable& table) {
    std::vector<int32_t> years;
    for (table.First(); !table.Eof(); table.Next()) years.push_back(table.FieldByName("any").AsInteger());
    return years;
  }
  static double PenMaxOf(TZDBTable& table, int32_t year) {
    EXPECT_TRUE(table.FindKey({Year(year)}));
    return table.FieldByName("PenMax").AsFloat();
  }

  ScratchFolder folder;
  std::string path = folder.File("Zelmarot.zdb");
  std::unique_ptr<TZDBDatabase> database;
  std::unique_ptr<TZDBDatabase> other;
  std::unique_ptr<TZDBTable> first;
  std::unique_ptr<TZDBTable> second;
};

TEST_F(TableEdit, EditsInsertsAndDeletesReachTheFileInYearOrder) {
  ASSERT_TRUE(first->FindKey({Year(2023)}));
  first->Edit();
  first->FieldByName("PenMax").SetAsFloat(3175.04);
  first->Post();

  first->Insert();
  EXPECT_EQ(first->RecNo(), -1);
  first->FieldByName("any").SetAsInteger(2027);
  first->FieldByName("PenMax").SetAsFloat(3500.5);
  first->FieldByName("TopeCot").SetAsFloat(5000);
  first->Post();
  EXPECT_EQ(first->FieldByName("any").AsInteger(), 2027);
  EXPECT_EQ(first->RecNo(), 4);

  ASSERT_TRUE(first->FindKey({Year(2022)}));
  first->Delete();
  EXPECT_EQ(first->FieldByName("any").AsInteger(), 2023);

  // A table opened afterwards reads what was stored.
  second = OpenMaximo();
  EXPECT_EQ(Years(*second), (std::vector<int32_t>{2023, 2024, 2027}));
  EXPECT_DOUBLE_EQ(PenMaxOf(*second, 2023), 3175.04);
  EXPECT_DOUBLE_EQ(PenMaxOf(*second, 2027), 3500.5);
  EXPECT_EQ(second->RecordCount(), 3);
}

// The engine code of what the call raised (0: nothing was raised).
int32_t EngineCodeOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EZDBEngineError& e) {
    return e.EngineCode();
  }
  return engine_code::Ok;
}

TEST_F(TableEdit, AnEditOfARowChangedSinceItWasReadIsRefused) {
  other = OpenOtherConnection();
  ASSERT_TRUE(first->FindKey({Year(2023)}));
  ASSERT_TRUE(second->FindKey({Year(2023)}));
  second->Edit();
  second->FieldByName("PenMax").SetAsFloat(1);
  second->Post();

  try {
    first->Edit();
    FAIL() << "the edit began";
  } catch (const EZDBEngineError& e) {
    EXPECT_EQ(e.EngineCode(), engine_code::UpdateModifiedByOther);
    EXPECT_STREQ(e.what(), "Engine Error # -4 Error updating record - record was modified by other process");
  }
  EXPECT_EQ(first->State(), data::TDataSetState::dsBrowse);
  // The window still shows what was read; a refresh shows the stored row, which can then
  // be edited.
  EXPECT_DOUBLE_EQ(first->FieldByName("PenMax").AsFloat(), 2023.25);
  first->Refresh();
  EXPECT_DOUBLE_EQ(first->FieldByName("PenMax").AsFloat(), 1);
  first->Edit();
  first->FieldByName("PenMax").SetAsFloat(2);
  first->Post();
  EXPECT_DOUBLE_EQ(PenMaxOf(*second, 2023), 2);

  // A row deleted meanwhile cannot be edited either.
  ASSERT_TRUE(first->FindKey({Year(2024)}));
  ASSERT_TRUE(second->FindKey({Year(2024)}));
  second->Delete();
  EXPECT_EQ(EngineCodeOf([&] { first->Edit(); }), engine_code::UpdateDeletedByOther);
  EXPECT_EQ(first->State(), data::TDataSetState::dsBrowse);
}

TEST_F(TableEdit, ADeleteOfARowChangedOrGoneSinceItWasReadIsRefused) {
  other = OpenOtherConnection();
  ASSERT_TRUE(first->FindKey({Year(2023)}));
  ASSERT_TRUE(second->FindKey({Year(2023)}));
  second->Edit();
  second->FieldByName("PenMax").SetAsFloat(1);
  second->Post();
  EXPECT_EQ(EngineCodeOf([&] { first->Delete(); }), engine_code::DeleteModifiedByOther);

  second->Delete();
  ASSERT_TRUE(first->FindKey({Year(2024)}));
  ASSERT_TRUE(second->FindKey({Year(2024)}));
  second->Delete();
  EXPECT_EQ(EngineCodeOf([&] { first->Delete(); }), engine_code::DeleteDeletedByOther);
  EXPECT_EQ(Years(*second), (std::vector<int32_t>{2022}));
}

TEST_F(TableEdit, ARowBeingEditedIsLockedForOtherConnections) {
  other = OpenOtherConnection();
  ASSERT_TRUE(first->FindKey({Year(2023)}));
  first->Edit();
  ASSERT_TRUE(second->FindKey({Year(2023)}));
  EXPECT_EQ(EngineCodeOf([&] { second->Edit(); }), engine_code::RecordLocked);
  EXPECT_EQ(EngineCodeOf([&] { second->Delete(); }), engine_code::RecordLocked);
  EXPECT_EQ(second->State(), data::TDataSetState::dsBrowse);

  // Other rows stay free; cancelling the edit frees the row.
  ASSERT_TRUE(second->FindKey({Year(2024)}));
  second->Edit();
  second->Cancel();
  first->Cancel();
  ASSERT_TRUE(second->FindKey({Year(2023)}));
  second->Edit();
  second->FieldByName("TopeCot").SetAsFloat(4909.5);
  second->Post();
  EXPECT_DOUBLE_EQ(second->FieldByName("TopeCot").AsFloat(), 4909.5);
}

// Single-user, two windows may edit one row. When the other window changed the row and
// this edit also breaks a constraint, the constraint is what the user hears of (-8), and
// the edit stays for a correction or a cancel.
TEST_F(TableEdit, ABrokenConstraintIsReportedBeforeAChangedRowAndKeepsTheEdit) {
  first.reset();
  database->Close();
  {
    Connection connection(path, false);
    CreateMaximo(
        connection, "Clave", [](TZDBIndexDefs& indexes) { AddAnyIndex(indexes, true); },
        [](TZDBConstraintDefs& constraints) { constraints.AddPrimary().SetTargetName("ANY"); });
  }
  database->SetMultiUser(false);
  std::unique_ptr<TZDBTable> mine = OpenMaximo("Clave");
  std::unique_ptr<TZDBTable> window = OpenMaximo("Clave");
  mine->SetIndexName("ANY");
  window->SetIndexName("ANY");
  for (int32_t year : {2023, 2024}) {
    window->Insert();
    window->FieldByName("any").SetAsInteger(year);
    window->FieldByName("PenMax").SetAsFloat(5);
    window->Post();
  }
  ASSERT_TRUE(mine->FindKey({Year(2023)}));
  ASSERT_TRUE(window->FindKey({Year(2023)}));
  mine->Edit();
  window->Edit();
  window->FieldByName("PenMax").SetAsFloat(1);
  window->Post();

  mine->FieldByName("any").SetAsInteger(2024);  // the primary key's duplicate
  EXPECT_EQ(EngineCodeOf([&] { mine->Post(); }), engine_code::CheckFailed);
  EXPECT_EQ(mine->State(), data::TDataSetState::dsEdit);
  // Corrected, the changed row is what stops it.
  mine->FieldByName("any").SetAsInteger(2023);
  EXPECT_EQ(EngineCodeOf([&] { mine->Post(); }), engine_code::UpdateModifiedByOther);
  mine->Cancel();
  EXPECT_DOUBLE_EQ(PenMaxOf(*window, 2023), 1);
}

TEST_F(TableEdit, ClosingInEditStateDiscardsTheEditAndKeepsTheConnection) {
  ASSERT_TRUE(first->FindKey({Year(2024)}));
  first->Edit();
  first->FieldByName("PenMax").SetAsFloat(9);
  first->Close();
  EXPECT_TRUE(database->Connected());
  first->Open();
  EXPECT_DOUBLE_EQ(PenMaxOf(*first, 2024), 2024.25);
}

TEST_F(TableEdit, AnInsertTheTableRefusesKeepsItsOwnCodeAndTheRowForACorrection) {
  second = OpenMaximo("Estricto");
  second->SetIndexName("ANY");
  const auto insert2025 = [&] {
    second->Insert();
    second->FieldByName("any").SetAsInteger(2025);
    second->FieldByName("PenMax").SetAsFloat(1);
  };
  insert2025();
  second->Post();
  // The unique index (no constraint stands for it) refuses a second 2025 when the row is
  // written, after the checks passed: its own error, not a failed check.
  insert2025();
  try {
    second->Post();
    FAIL() << "the post went through";
  } catch (const EZDBEngineError& e) {
    FAIL() << "an engine error: " << e.what();
  } catch (const EZDBException& e) {
    EXPECT_EQ(e.NativeError(), 30320);
    EXPECT_STREQ(e.what(), "Constraint unique 'ANY' violated. Duplicate found. - Native error: 30320");
  }
  EXPECT_EQ(second->State(), data::TDataSetState::dsInsert);
  second->FieldByName("any").SetAsInteger(2026);
  second->Post();
  EXPECT_EQ(Years(*second), (std::vector<int32_t>{2025, 2026}));
}

TEST_F(TableEdit, AFieldUnderANotNullConstraintMustHaveAValue) {
  second = OpenMaximo("Estricto");
  EXPECT_TRUE(second->FieldDefs().Find("PenMax").Required);
  EXPECT_FALSE(second->FieldDefs().Find("TopeCot").Required);
  second->Insert();
  second->FieldByName("any").SetAsInteger(2025);
  try {
    second->Post();
    FAIL() << "the post went through";
  } catch (const data::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'PenMax' must have a value");
  }
  second->Cancel();
  EXPECT_TRUE(second->IsEmpty());
}

TEST_F(TableEdit, AReadOnlyTableRefusesEdits) {
  first->Close();
  first->SetReadOnly(true);
  first->Open();
  EXPECT_FALSE(first->CanModify());
  EXPECT_THROW(first->Edit(), data::EDatabaseError);
}

}  // namespace
}  // namespace zdb::testing
