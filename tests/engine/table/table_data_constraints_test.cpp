// Constraints checked when rows are posted: every violation raises its own code and
// text and leaves the table exactly as it was.
#include <gtest/gtest.h>

#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

void NotNullPenMax(TZDBConstraintDefs& constraints) { constraints.AddNotNull().SetTargetName("PenMax"); }

void TopeCotBetween100And5000(TZDBConstraintDefs& constraints) {
  TZDBConstraintDefCheck& check = constraints.AddCheck();
  check.SetName("CapRange");
  check.SetTargetName("TopeCot");
  check.SetMinValue(FloatValue(100));
  check.SetMaxValue(FloatValue(5000));
}

void PenMaxAtMost3000(TZDBConstraintDefs& constraints) {
  TZDBConstraintDefCheck& check = constraints.AddCheck();
  check.SetTargetName("PenMax");
  check.SetMaxValue(FloatValue(3000));
}

void AnyIsPrimaryKey(TZDBIndexDefs& indexes) {
  auto key = std::make_unique<TZDBIndexDef>();
  key->SetName("PK");
  key->SetColumns({{"any"}});
  key->SetPrimary(true);
  indexes.Add(std::move(key));
}

void PrimaryKeyOnPK(TZDBConstraintDefs& constraints) {
  TZDBConstraintDefPrimary& key = constraints.AddPrimary();
  key.SetName("PK_any");
  key.SetTargetName("PK");
  key.SetColumns({{"any"}});
}

void AnyIsUnique(TZDBIndexDefs& indexes) { AddAnyIndex(indexes, true); }

void UniqueOnANY(TZDBConstraintDefs& constraints) {
  TZDBConstraintDefUnique& unique = constraints.AddUnique();
  unique.SetName("U_any");
  unique.SetTargetName("ANY");
  unique.SetColumns({{"any"}});
}

struct Case {
  const char* name;
  IndexList indexes;
  ConstraintList constraints;
  std::function<void(const Row&)> change;  // applied to a valid row of 2021
  int32_t code;                            // 0: the row is accepted
  const char* message;                     // checked when given
};

class TableDataConstraints : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { CreateDatabaseFile(path); }

  ScratchFolder folder;
  std::string path = folder.File("constraints.zdb");
};

TEST_P(TableDataConstraints, InsertIsCheckedAndAFailureChangesNothing) {
  const Case& c = GetParam();
  Connection connection(path, false);
  CreateMaximo(connection, "Maximo", c.indexes, c.constraints);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  InsertYear(table, 2020);

  const Row row(table);
  row.SetMaximo(2021);
  c.change(row);
  const RaisedError error = ErrorOf([&] { PostInsert(table.Data(), cursor); });
  EXPECT_EQ(error.code, c.code) << error.message;
  if (c.message != nullptr) {
    EXPECT_EQ(error.message, c.message);
  }

  const int64_t expectedRows = c.code == 0 ? 2 : 1;
  EXPECT_EQ(table.Data().GetRecordCount(cursor), expectedRows);
  EXPECT_EQ(Years(table).size(), static_cast<size_t>(expectedRows));
  EXPECT_TRUE(CheckTable(table.Data(), cursor.SessionID()).Ok());
}

const auto AnyIndexOnly = [](TZDBIndexDefs& indexes) { AddAnyIndex(indexes); };

INSTANTIATE_TEST_SUITE_P(
    Cases, TableDataConstraints,
    ::testing::Values(
        Case{"NotNullViolated", AnyIndexOnly, NotNullPenMax, [](const Row& row) { row.SetNull(1); }, 30026,
             "Constraint '$C_NotNull$Maximo$PenMax' violated. Value in field 'PenMax' cannot be null"},
        Case{"NotNullKept", AnyIndexOnly, NotNullPenMax, [](const Row& row) { row.SetNull(2); }, 0, nullptr},
        Case{"CheckBelowMinimum", AnyIndexOnly, TopeCotBetween100And5000, [](const Row& row) { row.SetFloat(2, 99.5); },
             30029, "Constraint 'CapRange' violated. Value in field 'TopeCot' cannot be lower than '100'"},
        Case{"CheckAboveMaximum", AnyIndexOnly, TopeCotBetween100And5000,
             [](const Row& row) { row.SetFloat(2, 5000.01); }, 30030,
             "Constraint 'CapRange' violated. Value in field 'TopeCot' cannot be greater than '5000'"},
        Case{"CheckAtBothBounds", AnyIndexOnly, TopeCotBetween100And5000, [](const Row& row) { row.SetFloat(2, 5000); },
             0, nullptr},
        Case{"CheckOnlyMaximumTakesNull", AnyIndexOnly, PenMaxAtMost3000, [](const Row& row) { row.SetNull(1); }, 0,
             nullptr},
        Case{"CheckOnlyMaximumTakesLowValues", AnyIndexOnly, PenMaxAtMost3000,
             [](const Row& row) { row.SetFloat(1, -1e9); }, 0, nullptr},
        Case{"CheckOnlyMaximumRefusesMore", AnyIndexOnly, PenMaxAtMost3000,
             [](const Row& row) { row.SetFloat(1, 3000.5); }, 30030, nullptr},
        Case{"UniqueDuplicate", AnyIsUnique, UniqueOnANY, [](const Row& row) { row.SetInteger(0, 2020); }, 30320,
             "Constraint unique 'U_any' violated. Duplicate found."},
        Case{"UniqueIndexWithoutConstraint",
             AnyIsUnique,
             {},
             [](const Row& row) { row.SetInteger(0, 2020); },
             30320,
             "Constraint unique 'ANY' violated. Duplicate found."},
        Case{"PrimaryKeyNull", AnyIsPrimaryKey, PrimaryKeyOnPK, [](const Row& row) { row.SetNull(0); }, 30330,
             "Constraint 'PK_any' violated. Value in field 'any' cannot be null"},
        Case{"PrimaryKeyDuplicate", AnyIsPrimaryKey, PrimaryKeyOnPK, [](const Row& row) { row.SetInteger(0, 2020); },
             30319, "Primary Key constraint 'PK_any' violated. Duplicate found."}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

class TableDataKeyChanges : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabaseFile(path); }

  ScratchFolder folder;
  std::string path = folder.File("keys.zdb");
};

// The constraint check's search stands for the check before storing only while nothing
// changed in between: a key another cursor took meanwhile is still refused.
TEST_F(TableDataKeyChanges, AKeyTakenAfterTheConstraintCheckIsStillRefused) {
  Connection connection(path, false);
  CreateMaximo(connection, "Maximo", AnyIsUnique, UniqueOnANY);
  TZDBTableCursor first(connection.session, "Maximo");
  TZDBOpenTable firstTable(connection.Data(), first);
  TZDBTableCursor second(connection.session, "Maximo");
  TZDBOpenTable secondTable(connection.Data(), second);
  InsertYear(firstTable, 2020);

  Row(firstTable).SetMaximo(2021);
  PrepareInsert(firstTable.Data(), first);  // 2021 is free now
  InsertYear(secondTable, 2021);
  EXPECT_EQ(ErrorOf([&] { StoreInsert(firstTable.Data(), first); }).code, 30320);

  second.SetIndexID(IndexIDOf(secondTable, "ANY"));
  EXPECT_EQ(Years(secondTable), (std::vector<int32_t>{2020, 2021}));
  EXPECT_TRUE(CheckTable(secondTable.Data(), second.SessionID()).Ok());

  // With nothing in between, the checked row goes in.
  Row(firstTable).SetMaximo(2022);
  PrepareInsert(firstTable.Data(), first);
  StoreInsert(firstTable.Data(), first);
  EXPECT_EQ(Years(secondTable), (std::vector<int32_t>{2020, 2021, 2022}));
}

TEST_F(TableDataKeyChanges, UpdateToATakenKeyFailsAndKeepingItsOwnKeyPasses) {
  Connection connection(path, false);
  CreateMaximo(connection, "Maximo", AnyIsUnique, UniqueOnANY);
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  InsertYear(table, 2020);
  InsertYear(table, 2021);

  std::vector<uint8_t> original(cursor.RecordBuffer(), cursor.RecordBuffer() + table.Data().RecordBufferSize());
  cursor.SetOriginalRecordBuffer(original.data());
  Row(table).SetInteger(0, 2020);
  EXPECT_EQ(ErrorOf([&] { PostUpdate(table.Data(), cursor); }).code, 30320);
  cursor.SetIndexID(IndexIDOf(table, "ANY"));
  EXPECT_EQ(Years(table), (std::vector<int32_t>{2020, 2021}));

  // The row keeps its key and changes an amount: its own entry is no duplicate.
  SearchKey key(table);
  cursor.SetSearchKey(key.Year(2021), key.Size(), 1);
  ASSERT_TRUE(table.Data().FindKey(cursor, TZDBSearchOperator::Equal));
  ASSERT_EQ(table.Data().GetRecord(cursor, grmCurrent), grOK);
  original.assign(cursor.RecordBuffer(), cursor.RecordBuffer() + table.Data().RecordBufferSize());
  Row(table).SetFloat(1, 1.5);
  PostUpdate(table.Data(), cursor);
  EXPECT_EQ(Row(table).Float(1), 1.5);
  EXPECT_TRUE(CheckTable(table.Data(), cursor.SessionID()).Ok());
}

TEST_F(TableDataKeyChanges, AddedUniqueIndexBringsItsConstraintAndDroppingTakesItAway) {
  Connection connection(path, false);
  CreateMaximo(connection, "Maximo", {});
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  InsertYear(table, 2020);

  TZDBIndexDef unique;
  unique.SetName("UYEAR");
  unique.SetColumns({{"any"}});
  unique.SetUnique(true);
  const int32_t indexID = table.Data().AddIndex(unique, cursor);
  const TZDBConstraintDefs& constraints = table.Data().ConstraintManager()->ConstraintDefs();
  ASSERT_EQ(constraints.Count(), 1);
  EXPECT_EQ(constraints.Items(0).Name(), "C_Unique$any");
  EXPECT_EQ(constraints.Items(0).TargetObjectID(), indexID);

  Row(table).SetMaximo(2020);
  EXPECT_EQ(ErrorOf([&] { PostInsert(table.Data(), cursor); }).message,
            "Constraint unique 'C_Unique$any' violated. Duplicate found.");

  table.Data().DropIndex(indexID, cursor);
  EXPECT_EQ(constraints.Count(), 0);
  InsertYear(table, 2020);
  EXPECT_EQ(table.Data().GetRecordCount(cursor), 2);
  EXPECT_EQ(ErrorOf([&] { table.Data().DropIndex(indexID, cursor); }).code, 20018);
}

TEST_F(TableDataKeyChanges, ConstraintsThatCannotHoldRefuseTheTable) {
  const struct {
    const char* name;
    ConstraintList constraints;
    int32_t code;
  } cases[] = {
      {"field missing", [](TZDBConstraintDefs& constraints) { constraints.AddNotNull().SetTargetName("Nothing"); },
       30027},
      {"type 1", [](TZDBConstraintDefs& constraints) { constraints.Add(std::make_unique<TZDBConstraintDef>(1)); },
       30040},
      {"type 5", [](TZDBConstraintDefs& constraints) { constraints.Add(std::make_unique<TZDBConstraintDef>(5)); },
       30040},
  };
  Connection connection(path, false);
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { CreateMaximo(connection, "Maximo", AnyIndexOnly, c.constraints); }).code, c.code) << c.name;
    EXPECT_FALSE(connection.Data().TableExists("Maximo")) << c.name;
  }
  // Nothing of the failed creations is left behind: the table can be made now.
  CreateMaximo(connection);
  EXPECT_TRUE(connection.Data().TableExists("Maximo"));
}

}  // namespace
}  // namespace zdb::testing
