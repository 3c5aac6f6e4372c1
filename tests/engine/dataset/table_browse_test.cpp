// The table component over a "Maximo" table made through the table data: opening by
// names, browsing in year order, exact and nearest key searches, field reads and the
// errors of a table opened without what it needs.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dataset/ZDBSession.h"
#include "engine/dataset/ZDBTable.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

// The text of what the call raised.
std::string Failure(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing was raised";
  return {};
}

PlatformVariant Year(int32_t year) { return PlatformVariant::Integral(TVarType::Integer, year); }

class TableBrowse : public ::testing::Test {
 protected:
  // A database file whose "Maximo" holds the years (inserted in the order given).
  void MakeFile(const std::vector<int32_t>& years, bool withIndex = true) {
    CreateDatabaseFile(path);
    Connection connection(path, false);
    if (withIndex) {
      CreateMaximo(connection);
    } else {
      CreateMaximo(connection, "Maximo", {});
    }
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable maximo(connection.Data(), cursor);
    for (int32_t year : years) InsertYear(maximo, year);
  }

  void SetUp() override {
    database = std::make_unique<TZDBDatabase>();
    database->SetDatabaseName("Zelmarot");
    database->SetDatabaseFileName(path);
    database->SetMultiUser(true);
    table = std::make_unique<TZDBTable>();
    table->SetDatabaseName("Zelmarot");
    table->SetTableName("Maximo");
    table->SetIndexName("ANY");
  }
  void TearDown() override {
    table.reset();
    database.reset();
  }

  int32_t CurrentYear() const { return table->FieldByName("any").AsInteger(); }
  std::vector<int32_t> YearsForward() const {
    std::vector<int32_t> years;
    for (table->First(); !table->Eof(); table->Next()) years.push_back(CurrentYear());
    return years;
  }

  ScratchFolder folder;
  std::string path = folder.File("Zelmarot.zdb");
  std::unique_ptr<TZDBDatabase> database;
  std::unique_ptr<TZDBTable> table;
};

TEST_F(TableBrowse, BrowsesInIndexOrderWithEndsAndRecordNumbers) {
  MakeFile({2024, 2022, 2023});
  table->Open();
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(YearsForward(), (std::vector<int32_t>{2022, 2023, 2024}));
  EXPECT_EQ(CurrentYear(), 2024);
  EXPECT_EQ(table->RecNo(), 3);

  std::vector<int32_t> backwards;
  for (table->Last(); !table->Bof(); table->Prior()) backwards.push_back(CurrentYear());
  EXPECT_EQ(backwards, (std::vector<int32_t>{2024, 2023, 2022}));

  // Prior on the first row sets BOF and stays; a second Prior does nothing.
  table->First();
  table->Prior();
  EXPECT_TRUE(table->Bof());
  EXPECT_EQ(CurrentYear(), 2022);
  EXPECT_EQ(table->MoveBy(-1), 0);
  EXPECT_EQ(CurrentYear(), 2022);
  EXPECT_EQ(table->RecNo(), 1);
}

TEST_F(TableBrowse, BookmarksFollowTheIndexOrderAndLeadBack) {
  MakeFile({2024, 2022, 2023});  // stored order differs from year order
  table->Open();
  ASSERT_TRUE(table->FindKey({Year(2022)}));
  const data::TBookmark early = table->GetBookmark();
  ASSERT_TRUE(table->FindKey({Year(2024)}));
  const data::TBookmark late = table->GetBookmark();
  EXPECT_LT(table->CompareBookmarks(early, late), 0);
  EXPECT_GT(table->CompareBookmarks(late, early), 0);
  EXPECT_EQ(table->CompareBookmarks(late, late), 0);
  EXPECT_GT(table->CompareBookmarks({}, late), 0);
  EXPECT_TRUE(table->BookmarkValid(early));

  table->GotoBookmark(early);
  EXPECT_EQ(CurrentYear(), 2022);
  table->Delete();
  EXPECT_FALSE(table->BookmarkValid(early));
  EXPECT_EQ(CurrentYear(), 2023);
}

TEST_F(TableBrowse, ReadsFieldsByNameWhateverTheLetterCase) {
  MakeFile({2023});
  table->Open();
  EXPECT_DOUBLE_EQ(table->FieldByName("PenMax").AsFloat(), 2023.25);
  EXPECT_DOUBLE_EQ(table->FieldByName("penmax").AsFloat(), 2023.25);
  EXPECT_DOUBLE_EQ(table->FieldByName("topecot").AsFloat(), 2023 * 2 + 0.5);
  EXPECT_EQ(table->FieldByName("ANY").AsInteger(), 2023);
}

TEST_F(TableBrowse, FindKeyFindsOnlyStoredYearsAndKeepsTheRowOnFailure) {
  MakeFile({2022, 2024});
  table->Open();
  table->Last();
  EXPECT_FALSE(table->FindKey({Year(2023)}));
  EXPECT_EQ(CurrentYear(), 2024);
  EXPECT_TRUE(table->FindKey({Year(2022)}));
  EXPECT_EQ(CurrentYear(), 2022);
  EXPECT_FALSE(table->FindKey({Year(2021)}));
  EXPECT_EQ(CurrentYear(), 2022);
  EXPECT_EQ(table->State(), data::TDataSetState::dsBrowse);
}

TEST_F(TableBrowse, FindNearestLandsOnTheFirstYearNotBelowOrOnTheLast) {
  struct Case {
    int32_t sought;
    int32_t landed;
    int32_t afterPrior;  // 0: Prior falls off the beginning
  };
  const Case cases[] = {{2023, 2024, 2022}, {2021, 2022, 0}, {2022, 2022, 0}, {2025, 2024, 2022}};
  MakeFile({2022, 2024});
  table->Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sought);
    table->FindNearest({Year(c.sought)});
    EXPECT_EQ(CurrentYear(), c.landed);
    EXPECT_FALSE(table->Bof());
    EXPECT_FALSE(table->Eof());
    table->Prior();
    if (c.afterPrior == 0) {
      EXPECT_TRUE(table->Bof());
      EXPECT_EQ(CurrentYear(), c.landed);
    } else {
      EXPECT_EQ(CurrentYear(), c.afterPrior);
    }
  }
}

TEST_F(TableBrowse, SearchesOnAnEmptyTableLeaveItEmpty) {
  MakeFile({});
  table->Open();
  table->FindNearest({Year(2023)});
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_TRUE(table->Bof());
  EXPECT_TRUE(table->Eof());
  EXPECT_TRUE(table->FieldByName("PenMax").IsNull());
  EXPECT_FALSE(table->FindKey({Year(2023)}));
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_EQ(table->RecNo(), -1);
}

TEST_F(TableBrowse, SetKeyAndGotoKeySearchThroughTheIndexField) {
  MakeFile({2022, 2023, 2024});
  table->Open();
  table->SetKey();
  table->FieldByName("any").SetAsInteger(2023);
  EXPECT_TRUE(table->GotoKey());
  EXPECT_EQ(CurrentYear(), 2023);
  table->SetKey();
  EXPECT_EQ(Failure([&] { table->FieldByName("PenMax").SetAsFloat(1); }),
            "Field PenMax is not in the current index - Native error: 20019");
  table->Cancel();
  EXPECT_EQ(table->State(), data::TDataSetState::dsBrowse);
}

TEST_F(TableBrowse, ARangeShowsOnlyTheYearsBetweenItsEnds) {
  MakeFile({2025, 2020, 2023, 2021, 2024, 2022});
  table->Open();
  table->FindKey({Year(2024)});
  table->SetRangeStart();
  table->FieldByName("any").SetAsInteger(2021);
  table->SetRangeEnd();
  table->FieldByName("any").SetAsInteger(2023);
  table->ApplyRange();
  EXPECT_EQ(CurrentYear(), 2021);
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(YearsForward(), (std::vector<int32_t>{2021, 2022, 2023}));
  EXPECT_FALSE(table->FindKey({Year(2024)}));

  table->CancelRange();
  EXPECT_EQ(CurrentYear(), 2023);
  EXPECT_EQ(table->RecordCount(), 6);
  EXPECT_TRUE(table->FindKey({Year(2024)}));
}

TEST_F(TableBrowse, RefreshShowsWhatAnotherDatasetStored) {
  MakeFile({2022});
  table->Open();
  TZDBTable other;
  other.SetDatabaseName("Zelmarot");
  other.SetTableName("Maximo");
  other.Open();
  other.Insert();
  other.FieldByName("any").SetAsInteger(2021);
  other.Post();
  EXPECT_EQ(CurrentYear(), 2022);
  table->Refresh();
  EXPECT_EQ(YearsForward(), (std::vector<int32_t>{2021, 2022}));
}

TEST_F(TableBrowse, OpeningWithoutWhatItNeedsFailsAndLeavesTheTableClosed) {
  MakeFile({2022});
  table->SetTableName("  ");
  EXPECT_EQ(Failure([&] { table->Open(); }), "Missing TableName property");
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->Database(), nullptr);

  table->SetTableName("Maximo");
  table->SetIndexName("YEAR");
  EXPECT_EQ(Failure([&] { table->Open(); }), "Cannot find index YEAR - Native error: 10325");
  EXPECT_FALSE(table->Active());

  table->SetIndexName("");
  table->Open();
  EXPECT_EQ(Failure([&] { table->FindKey({Year(2022)}); }), "No index currently active");
  // Without an index the rows still come, in the order they were stored.
  EXPECT_EQ(YearsForward(), (std::vector<int32_t>{2022}));
  // Choosing the index while open keeps the row and makes the searches work.
  table->SetIndexName("ANY");
  EXPECT_TRUE(table->FindKey({Year(2022)}));
}

TEST_F(TableBrowse, AnOwnersTableTakesItsSessionsAutomaticName) {
  MakeFile({2022});
  int form = 0;
  TZDBSession session(&form);
  session.SetName("Ventana");
  TZDBDatabase placed(nullptr, &form);
  placed.SetDatabaseName("Limites");
  placed.SetDatabaseFileName(path);
  TZDBTable owned(&form);
  owned.SetDatabaseName("Limites");
  owned.SetTableName("Maximo");
  session.SetAutoSessionName(true);
  EXPECT_EQ(owned.SessionName(), "Ventana_1");
  owned.Open();
  EXPECT_EQ(owned.Database(), &placed);
  EXPECT_EQ(owned.FieldByName("any").AsInteger(), 2022);
}

TEST_F(TableBrowse, BlankDatabaseNameIsRefused) {
  MakeFile({});
  table->SetDatabaseName("");
  EXPECT_EQ(Failure([&] { table->Open(); }), "DatabaseName property is blank");
  EXPECT_FALSE(table->Active());
}

}  // namespace
}  // namespace zdb::testing
