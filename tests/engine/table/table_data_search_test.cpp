// Searching and positioning: key searches with each operator, Locate, filtered and
// ranged cursors with their record bitmaps, and record numbers in physical and index
// order.
#include <gtest/gtest.h>

#include <functional>

#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

class Expression : public TZDBRowExpression {
 public:
  explicit Expression(std::function<bool(const uint8_t*)> test) : test_(std::move(test)) {}
  bool Evaluate(const uint8_t* recordBuffer) const override { return test_(recordBuffer); }

 private:
  std::function<bool(const uint8_t*)> test_;
};

class TableDataSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    connection = std::make_unique<Connection>(path, false);
    CreateMaximo(*connection);
    cursor = std::make_unique<TZDBTableCursor>(connection->session, "Maximo");
    table = std::make_unique<TZDBOpenTable>(connection->Data(), *cursor);
  }
  void TearDown() override {
    table.reset();
    cursor.reset();
    connection.reset();
  }

  void Insert(std::initializer_list<int32_t> years) {
    for (int32_t year : years) InsertYear(*table, year);
  }
  TZDBDiskTableData& Data() const { return table->Data(); }
  int32_t CurrentYear() const {
    EXPECT_EQ(Data().GetRecord(*cursor, grmCurrent), grOK);
    return Row(*table).Integer(0);
  }
  // The years whose PenMax (year + 0.25) is at least the bound.
  std::shared_ptr<const TZDBRowExpression> YearsFrom(int32_t bound) const {
    const int32_t offset = table->Data().FieldManager()->FieldDefs().Items(0).MemoryOffset();
    return std::make_shared<Expression>(
        [offset, bound](const uint8_t* row) { return le::GetI32(row + offset) >= bound; });
  }

  ScratchFolder folder;
  std::string path = folder.File("search.zdb");
  std::unique_ptr<Connection> connection;
  std::unique_ptr<TZDBTableCursor> cursor;
  std::unique_ptr<TZDBOpenTable> table;
};

TEST_F(TableDataSearch, FindKeyNeedsAnActiveIndex) {
  Insert({2024});
  SearchKey key(*table);
  cursor->SetSearchKey(key.Year(2024), key.Size(), 1);
  const RaisedError error = ErrorOf([&] { Data().FindKey(*cursor, TZDBSearchOperator::Equal); });
  EXPECT_EQ(error.code, 20258);
  EXPECT_EQ(error.message, "No active index is set for Key search. Set Table.IndexName to the index on search fields.");
}

TEST_F(TableDataSearch, FindKeyWithEachOperator) {
  struct Case {
    TZDBSearchOperator op;
    int32_t key;
    int32_t found;  // 0: nothing, the cursor stays on 2023
  };
  const Case cases[] = {
      {TZDBSearchOperator::Equal, 2024, 2024},          {TZDBSearchOperator::Equal, 2025, 0},
      {TZDBSearchOperator::GreaterOrEqual, 2025, 2026}, {TZDBSearchOperator::GreaterOrEqual, 2024, 2024},
      {TZDBSearchOperator::Greater, 2024, 2026},        {TZDBSearchOperator::Greater, 2026, 0},
      {TZDBSearchOperator::Less, 2024, 2022},           {TZDBSearchOperator::Less, 2022, 0},
      {TZDBSearchOperator::LessOrEqual, 2022, 2022},    {TZDBSearchOperator::GreaterOrEqual, 2027, 0},
  };
  Insert({2026, 2022, 2024, 2023});
  for (const bool unique : {false, true}) {
    if (unique) {
      TZDBIndexDef byYear;
      byYear.SetName("UYEAR");
      byYear.SetColumns({{"any"}});
      byYear.SetUnique(true);
      cursor->SetIndexID(Data().AddIndex(byYear, *cursor));
    } else {
      cursor->SetIndexID(IndexIDOf(*table, "ANY"));
    }
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "unique " << unique << " op " << int(c.op) << " key " << c.key);
      SearchKey key(*table);
      cursor->SetSearchKey(key.Year(2023), key.Size(), 1);
      ASSERT_TRUE(Data().FindKey(*cursor, TZDBSearchOperator::Equal));
      cursor->SetSearchKey(key.Year(c.key), key.Size(), 1);
      EXPECT_EQ(Data().FindKey(*cursor, c.op), c.found != 0);
      EXPECT_TRUE(cursor->OnRow());
      EXPECT_EQ(CurrentYear(), c.found != 0 ? c.found : 2023);
    }
  }
}

TEST_F(TableDataSearch, LocateFindsTheFirstRowInTheCursorsOrder) {
  Insert({2030, 2010, 2025, 2015});
  EXPECT_TRUE(Data().Locate(*cursor, YearsFrom(2020)));
  EXPECT_EQ(Row(*table).Integer(0), 2030);  // physical order
  cursor->SetIndexID(IndexIDOf(*table, "ANY"));
  EXPECT_TRUE(Data().Locate(*cursor, YearsFrom(2020)));
  EXPECT_EQ(Row(*table).Integer(0), 2025);
  EXPECT_FALSE(Data().Locate(*cursor, YearsFrom(2031)));
  EXPECT_EQ(CurrentYear(), 2025);
}

TEST_F(TableDataSearch, RecordNumbersInPhysicalAndIndexOrder) {
  EXPECT_EQ(Data().GetRecNo(*cursor), -1);  // empty table
  std::vector<int32_t> years;
  for (int32_t i = 0; i < 400; ++i) years.push_back((i * 37) % 400);
  for (int32_t year : years) InsertYear(*table, year);

  for (const bool indexed : {false, true}) {
    SCOPED_TRACE(indexed ? "index order" : "physical order");
    cursor->SetIndexID(indexed ? IndexIDOf(*table, "ANY") : TZDBTableCursor::NoIndex);
    cursor->SetToBegin();
    EXPECT_EQ(Data().GetRecNo(*cursor), -1);
    ASSERT_EQ(Data().GetRecord(*cursor, grmNext), grOK);
    EXPECT_EQ(Data().GetRecNo(*cursor), 1);
    for (const int64_t recNo : {2, 191, 192, 250, 400}) {
      Data().SetRecNo(*cursor, recNo);
      EXPECT_EQ(Data().GetRecNo(*cursor), recNo);
      EXPECT_EQ(CurrentYear(), indexed ? recNo - 1 : years[static_cast<size_t>(recNo - 1)]);
    }
    Data().SetRecNo(*cursor, 1000);  // beyond the count: the last row
    EXPECT_EQ(Data().GetRecNo(*cursor), 400);
    EXPECT_EQ(Data().GetRecord(*cursor, grmNext), grEOF);
  }
}

TEST_F(TableDataSearch, ARowDeletedUnderTheCursorHasNoNumber) {
  Insert({2020, 2021, 2022});
  Data().SetRecNo(*cursor, 2);
  ASSERT_EQ(CurrentYear(), 2021);  // the buffer holds the row, as a dataset's does
  TZDBTableCursor other(connection->session, "Maximo");
  TZDBOpenTable second(connection->Data(), other);
  Data().SetRecNo(other, 2);
  PostDelete(Data(), other);
  for (const bool indexed : {false, true}) {
    cursor->SetIndexID(indexed ? IndexIDOf(*table, "ANY") : TZDBTableCursor::NoIndex);
    EXPECT_EQ(Data().GetRecNo(*cursor), -1) << (indexed ? "index order" : "physical order");
  }
  // Moving on from the row that is gone reaches its neighbour.
  ASSERT_EQ(Data().GetRecord(*cursor, grmNext), grOK);
  EXPECT_EQ(Row(*table).Integer(0), 2022);
}

TEST_F(TableDataSearch, FilteredCursorStepsCountsAndNumbersOnlyItsRows) {
  Insert({2026, 2021, 2024});
  const TZDBRecordID filteredOut = cursor->RecordID();
  Insert({2020, 2023, 2022, 2025});
  cursor->AddFilter(YearsFrom(2022));
  cursor->SetFilterCallback([this](const uint8_t* row) {
    return le::GetI32(row + table->Data().FieldManager()->FieldDefs().Items(0).MemoryOffset()) != 2024;
  });
  for (const bool indexed : {false, true}) {
    SCOPED_TRACE(indexed ? "index order" : "physical order");
    cursor->SetIndexID(indexed ? IndexIDOf(*table, "ANY") : TZDBTableCursor::NoIndex);
    const std::vector<int32_t> expected =
        indexed ? std::vector<int32_t>{2022, 2023, 2025, 2026} : std::vector<int32_t>{2026, 2023, 2022, 2025};
    EXPECT_EQ(Years(*table), expected);
    std::vector<int32_t> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(Years(*table, true), reversed);
    EXPECT_EQ(Data().GetRecordCount(*cursor), 4);
    Data().SetRecNo(*cursor, 3);
    EXPECT_EQ(CurrentYear(), expected[2]);
    EXPECT_EQ(Data().GetRecNo(*cursor), 3);
    // A row outside the filter is not found where the cursor reads it.
    cursor->SetPosition(filteredOut);
    EXPECT_EQ(Data().GetRecord(*cursor, grmCurrent), grNotFound);
  }
}

TEST_F(TableDataSearch, RangeLimitsTheCursorToItsKeys) {
  Insert({2026, 2021, 2024, 2020, 2023, 2022, 2025});
  cursor->SetIndexID(IndexIDOf(*table, "ANY"));
  SearchKey from(*table);
  SearchKey to(*table);
  struct Case {
    bool startExclusive;
    bool endExclusive;
    std::vector<int32_t> years;
  };
  for (const Case& c : {Case{false, false, {2022, 2023, 2024}}, Case{true, false, {2023, 2024}},
                        Case{false, true, {2022, 2023}}, Case{true, true, {2023}}}) {
    cursor->SetRange({from.Year(2022), 1, c.startExclusive}, {to.Year(2024), 1, c.endExclusive});
    EXPECT_EQ(Years(*table), c.years);
    EXPECT_EQ(Data().GetRecordCount(*cursor), static_cast<int64_t>(c.years.size()));
  }
  // With a filter beside the range the rows may be found through another way than the
  // index; the cursor still moves in index order.
  cursor->SetRange({from.Year(2021), 1, false}, {to.Year(2025), 1, false});
  cursor->AddFilter(YearsFrom(2023));
  EXPECT_EQ(Years(*table), (std::vector<int32_t>{2023, 2024, 2025}));
  EXPECT_EQ(Years(*table, true), (std::vector<int32_t>{2025, 2024, 2023}));
}

TEST_F(TableDataSearch, DeleteKeepsACurrentBitmapAndInsertMakesItStale) {
  Insert({2020, 2021, 2022, 2023});
  cursor->AddFilter(YearsFrom(2021));
  for (const bool indexed : {false, true}) {
    SCOPED_TRACE(indexed ? "index order" : "physical order");
    cursor->SetIndexID(indexed ? IndexIDOf(*table, "ANY") : TZDBTableCursor::NoIndex);
    const int64_t count = Data().GetRecordCount(*cursor);
    ASSERT_FALSE(cursor->Bitmap().IsStale(Data().RecordManager()->ChangeCount()));

    Data().SetRecNo(*cursor, 1);
    const int32_t deleted = CurrentYear();
    PostDelete(Data(), *cursor);
    EXPECT_FALSE(cursor->Bitmap().IsStale(Data().RecordManager()->ChangeCount()));
    EXPECT_EQ(Data().GetRecordCount(*cursor), count - 1);
    EXPECT_EQ(Data().GetRecNo(*cursor), 1);

    InsertYear(*table, deleted);
    EXPECT_TRUE(cursor->Bitmap().IsStale(Data().RecordManager()->ChangeCount()));
    EXPECT_EQ(Data().GetRecordCount(*cursor), count);
  }
}

TEST_F(TableDataSearch, KeyPrefixStepVisitsEachKeyOnce) {
  Insert({2021, 2020, 2021, 2022, 2020, 2022});
  cursor->SetIndexID(IndexIDOf(*table, "ANY"));
  cursor->SetKeyPrefixStep(1);
  EXPECT_EQ(Years(*table), (std::vector<int32_t>{2020, 2021, 2022}));
}

}  // namespace
}  // namespace zdb::testing
