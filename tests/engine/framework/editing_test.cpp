// The editing cycle: edit, insert, append, post, cancel, delete, their events and the
// error events' answers.
#include <gtest/gtest.h>

#include "engine/framework/DataSource.h"
#include "tests/engine/framework/support/MemoryDataSet.h"
#include "tests/engine/framework/support/TestLink.h"

namespace data::testing {
namespace {

using zdb::PlatformVariant;
using zdb::TVarType;

PlatformVariant Int(int64_t v) { return PlatformVariant::Integral(TVarType::Integer, v); }
PlatformVariant Real(double v) { return PlatformVariant::Real(TVarType::Double, v); }

// Years with an amount, as the yearly limits table has them; the year is required.
void FillYears(TMemoryDataSet& years, std::initializer_list<int> list) {
  years.DefineField("any", TFieldType::ftInteger, 0, true);
  years.DefineField("PenMax", TFieldType::ftFloat);
  for (int year : list) years.AddRow({Int(year), Real(year * 10.0)});
}

std::vector<int> StoredYears(const TMemoryDataSet& years) {
  std::vector<int> stored;
  for (size_t i = 0; i < years.Rows().size(); ++i)
    stored.push_back(static_cast<int>(years.StoredValue(i, 0).AsInt64()));
  return stored;
}

int Year(TDataSet& years) { return years.FieldByName("any").AsInteger(); }

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Editing, EditPostStoresAndCancelRestores) {
  std::vector<std::string> log;
  TMemoryDataSet years;
  FillYears(years, {2022, 2023, 2024});
  years.Open();
  years.Next();
  RecordEvents(years, log);

  years.Edit();
  EXPECT_EQ(years.State(), TDataSetState::dsEdit);
  EXPECT_FALSE(years.Modified());
  years.FieldByName("PenMax").SetAsFloat(1.5);
  EXPECT_TRUE(years.Modified());
  EXPECT_DOUBLE_EQ(years.FieldByName("PenMax").OldValue().AsDouble(), 20230.0);
  years.Post();
  EXPECT_EQ(years.State(), TDataSetState::dsBrowse);
  EXPECT_DOUBLE_EQ(years.StoredValue(1, 1).AsDouble(), 1.5);
  EXPECT_EQ(Year(years), 2023);  // still on the edited row
  EXPECT_EQ((std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}), log);

  log.clear();
  years.Edit();
  years.FieldByName("PenMax").SetAsFloat(9);
  years.Cancel();
  EXPECT_DOUBLE_EQ(years.FieldByName("PenMax").AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(years.StoredValue(1, 1).AsDouble(), 1.5);
  EXPECT_EQ((std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}), log);

  // Edit while editing does nothing more.
  years.Edit();
  log.clear();
  years.Edit();
  EXPECT_TRUE(log.empty());
  years.Cancel();
}

TEST(Editing, InsertGoesBeforeTheActiveRowAndAppendAfterTheLast) {
  std::vector<std::string> log;
  TMemoryDataSet years;
  FillYears(years, {2022, 2023, 2024});
  TDataSource source(&years);
  TTestLink grid;
  grid.SetBufferCount(3);
  grid.SetDataSource(&source);
  years.Open();
  years.Next();
  RecordEvents(years, log);

  years.Insert();
  EXPECT_EQ(years.State(), TDataSetState::dsInsert);
  EXPECT_TRUE(years.FieldByName("any").IsNull());
  EXPECT_EQ(grid.Column("PenMax"), (std::vector<std::string>{"20220", "", "20230"}));
  years.FieldByName("any").SetAsInteger(2030);
  years.Post();
  EXPECT_EQ(StoredYears(years), (std::vector<int>{2022, 2030, 2023, 2024}));
  EXPECT_EQ(Year(years), 2030);
  EXPECT_EQ(grid.Column("any"), (std::vector<std::string>{"2022", "2030", "2023"}));
  EXPECT_EQ((std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                                      "BeforePost", "AfterPost"}),
            log);

  years.First();
  years.Append();
  EXPECT_EQ(grid.Column("any"), (std::vector<std::string>{"2023", "2024", ""}));
  years.FieldByName("any").SetAsInteger(2031);
  years.Post();
  EXPECT_EQ(StoredYears(years), (std::vector<int>{2022, 2030, 2023, 2024, 2031}));
  EXPECT_EQ(Year(years), 2031);
  years.Prior();
  EXPECT_EQ(Year(years), 2024);

  // A cancelled insert leaves the window as it was.
  years.First();
  years.Next();
  years.Insert();
  years.Cancel();
  EXPECT_EQ(Year(years), 2030);
  EXPECT_EQ(grid.Column("any"), (std::vector<std::string>{"2022", "2030", "2023"}));
  EXPECT_EQ(years.Rows().size(), 5u);
}

// The new row stands where the cursor must go back to; full windows push a row out.
TEST(Editing, InsertInWindowsOfEverySize) {
  for (int window : {1, 2, 3}) {
    for (int active : {0, 2}) {
      for (bool post : {false, true}) {
        SCOPED_TRACE("window " + std::to_string(window) + ", row " + std::to_string(active) +
                     (post ? ", post" : ", cancel"));
        TMemoryDataSet years;
        FillYears(years, {2022, 2023, 2024});
        TDataSource source(&years);
        TTestLink grid;
        grid.SetBufferCount(window);
        grid.SetDataSource(&source);
        years.Open();
        years.MoveBy(active);
        const std::vector<std::string> before = grid.Column("any");
        const int activeBefore = grid.ActiveRecord();
        years.Insert();
        EXPECT_EQ(grid.ActiveRecord(), activeBefore);
        EXPECT_TRUE(years.FieldByName("any").IsNull());
        years.FieldByName("any").SetAsInteger(2030);
        if (post) {
          years.Post();
          EXPECT_EQ(Year(years), 2030);
          std::vector<int> expected{2022, 2023, 2024};
          expected.insert(expected.begin() + active, 2030);
          EXPECT_EQ(StoredYears(years), expected);
          years.Next();
          EXPECT_EQ(Year(years), 2022 + active);  // the row it was inserted before
        } else {
          years.Cancel();
          EXPECT_EQ(Year(years), 2022 + active);
          EXPECT_EQ(grid.Column("any"), before);
        }
      }
    }
  }
}

TEST(Editing, AGridGrowingWhileInsertingShowsTheRowsAroundTheNewOne) {
  TMemoryDataSet years;
  FillYears(years, {2022, 2023, 2024});
  TDataSource source(&years);
  TTestLink grid;
  grid.SetDataSource(&source);
  years.Open();
  years.Next();
  years.Insert();
  grid.SetBufferCount(5);
  EXPECT_EQ(grid.Column("any"), (std::vector<std::string>{"2022", "", "2023", "2024"}));
  EXPECT_EQ(grid.ActiveRecord(), 1);
  years.FieldByName("any").SetAsInteger(2030);
  years.Post();
  EXPECT_EQ(grid.Column("any"), (std::vector<std::string>{"2022", "2030", "2023", "2024"}));

  years.Append();
  EXPECT_EQ(grid.Column("any"), (std::vector<std::string>{"2022", "2030", "2023", "2024", ""}));
  years.Cancel();
  EXPECT_EQ(Year(years), 2024);
}

TEST(Editing, EmptyDatasetEditInsertsAndDeleteRefuses) {
  TMemoryDataSet years;
  FillYears(years, {});
  years.Open();
  EXPECT_EQ(ErrorOf([&] { years.Delete(); }), "Cannot perform this operation on an empty dataset");
  years.Edit();
  EXPECT_EQ(years.State(), TDataSetState::dsInsert);
  years.FieldByName("any").SetAsInteger(2025);
  years.Post();
  EXPECT_EQ(StoredYears(years), (std::vector<int>{2025}));
  EXPECT_FALSE(years.IsEmpty());
  EXPECT_EQ(Year(years), 2025);
}

TEST(Editing, DeleteMovesToTheRowThatTakesItsPlace) {
  struct Case {
    int active;  // 0-based row deleted
    int after;   // the year then active
  };
  for (const Case c : {Case{0, 2023}, Case{1, 2024}, Case{2, 2023}}) {
    SCOPED_TRACE(c.active);
    std::vector<std::string> log;
    TMemoryDataSet years;
    FillYears(years, {2022, 2023, 2024});
    years.Open();
    years.MoveBy(c.active);
    RecordEvents(years, log);
    years.Delete();
    EXPECT_EQ(Year(years), c.after);
    EXPECT_EQ(years.RecordCount(), 2);
    EXPECT_EQ((std::vector<std::string>{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}), log);
  }
  TMemoryDataSet one;
  FillYears(one, {2022});
  one.Open();
  one.Delete();
  EXPECT_TRUE(one.IsEmpty());
  EXPECT_TRUE(one.Bof() && one.Eof());
  EXPECT_TRUE(one.FieldByName("any").IsNull());

  // Delete while inserting cancels the insert; while editing it drops the edit first.
  TMemoryDataSet years;
  FillYears(years, {2022, 2023});
  years.Open();
  years.Insert();
  years.Delete();
  EXPECT_EQ(years.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(StoredYears(years), (std::vector<int>{2022, 2023}));
  years.Edit();
  years.FieldByName("any").SetAsInteger(2099);
  years.Delete();
  EXPECT_EQ(StoredYears(years), (std::vector<int>{2023}));
  EXPECT_EQ(years.InternalCancels(), 2);
  EXPECT_EQ(Year(years), 2023);
}

TEST(Editing, WritesOutsideEditStatesAreRefused) {
  TMemoryDataSet years;
  FillYears(years, {2022});
  years.Open();
  EXPECT_EQ(ErrorOf([&] { years.Post(); }), "Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { years.FieldByName("any").SetAsInteger(1); }), "Dataset not in edit or insert mode");
  years.Cancel();  // nothing to cancel: no error
  EXPECT_EQ(years.State(), TDataSetState::dsBrowse);
}

TEST(Editing, ReadOnlyDatasetRefusesBeforeAnyHook) {
  std::vector<std::string> log;
  TMemoryDataSet years;
  FillYears(years, {2022});
  years.SetReadOnly(true);
  years.Open();
  RecordEvents(years, log);
  const std::function<void()> writes[] = {[&] { years.Edit(); }, [&] { years.Insert(); }, [&] { years.Append(); },
                                          [&] { years.Delete(); }};
  for (const auto& write : writes) EXPECT_EQ(ErrorOf(write), "Cannot modify a read-only dataset");
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(years.State(), TDataSetState::dsBrowse);
}

TEST(Editing, RequiredFieldKeepsTheInsertOpen) {
  TMemoryDataSet years;
  FillYears(years, {});
  years.Open();
  years.Insert();
  years.FieldByName("PenMax").SetAsFloat(5);
  EXPECT_EQ(ErrorOf([&] { years.Post(); }), "Field 'any' must have a value");
  EXPECT_EQ(years.State(), TDataSetState::dsInsert);
  EXPECT_DOUBLE_EQ(years.FieldByName("PenMax").AsFloat(), 5);
  years.FieldByName("any").SetAsInteger(2022);
  years.Post();
  EXPECT_EQ(StoredYears(years), (std::vector<int>{2022}));
}

// The error events see the hook's failure and answer fail, abort or retry.
TEST(Editing, ErrorEventsFailAbortOrRetry) {
  enum class Operation { Edit, Post, Delete };
  struct Case {
    Operation operation;
    TDataAction answer;
    int failures;
    bool succeeds;
  };
  const Case cases[] = {
      {Operation::Edit, TDataAction::daFail, 1, false},   {Operation::Edit, TDataAction::daRetry, 2, true},
      {Operation::Edit, TDataAction::daAbort, 1, false},  {Operation::Post, TDataAction::daFail, 1, false},
      {Operation::Post, TDataAction::daRetry, 3, true},   {Operation::Post, TDataAction::daAbort, 1, false},
      {Operation::Delete, TDataAction::daFail, 1, false}, {Operation::Delete, TDataAction::daRetry, 1, true},
      {Operation::Delete, TDataAction::daAbort, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.operation)) + "/" + std::to_string(static_cast<int>(c.answer)));
    TMemoryDataSet years;
    FillYears(years, {2022, 2023});
    years.Open();
    std::vector<std::string> seen;
    TDataSet::TDataSetErrorEvent handler = [&](TDataSet&, EDatabaseError& e, TDataAction& action) {
      seen.push_back(e.what());
      action = c.answer;
    };
    std::function<void()> run;
    switch (c.operation) {
      case Operation::Edit:
        years.FailEdits(c.failures);
        years.OnEditError = handler;
        run = [&] { years.Edit(); };
        break;
      case Operation::Post:
        years.Edit();
        years.FieldByName("PenMax").SetAsFloat(7);
        years.FailPosts(c.failures);
        years.OnPostError = handler;
        run = [&] { years.Post(); };
        break;
      case Operation::Delete:
        years.FailDeletes(c.failures);
        years.OnDeleteError = handler;
        run = [&] { years.Delete(); };
        break;
    }
    const TDataSetState before = years.State();
    bool aborted = false;
    std::string failure;
    try {
      run();
    } catch (const EAbort&) {
      aborted = true;
    } catch (const EDatabaseError& e) {
      failure = e.what();
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(c.failures));
    EXPECT_EQ(aborted, c.answer == TDataAction::daAbort);
    EXPECT_EQ(!failure.empty(), c.answer == TDataAction::daFail);
    if (!failure.empty()) {
      EXPECT_EQ(failure, seen.front());  // the hook's own error passes on
    }
    if (c.succeeds) {
      switch (c.operation) {
        case Operation::Edit: EXPECT_EQ(years.State(), TDataSetState::dsEdit); break;
        case Operation::Post: EXPECT_DOUBLE_EQ(years.StoredValue(0, 1).AsDouble(), 7); break;
        case Operation::Delete: EXPECT_EQ(StoredYears(years), (std::vector<int>{2023})); break;
      }
    } else {
      EXPECT_EQ(years.State(), before);  // a failed step leaves the state as it was
      EXPECT_EQ(years.Rows().size(), 2u);
      EXPECT_DOUBLE_EQ(years.StoredValue(0, 1).AsDouble(), 20220);
    }
  }
}

TEST(Editing, BeforeEventsCanAbortTheStep) {
  TMemoryDataSet years;
  FillYears(years, {2022});
  years.Open();
  years.BeforePost = [](TDataSet&) { Abort(); };
  years.Edit();
  years.FieldByName("PenMax").SetAsFloat(3);
  EXPECT_THROW(years.Post(), EAbort);
  EXPECT_EQ(years.State(), TDataSetState::dsEdit);
  years.Cancel();
  EXPECT_DOUBLE_EQ(years.StoredValue(0, 1).AsDouble(), 20220);
}

TEST(Editing, NewRecordDefaultsAndItsFailureUndoesTheInsert) {
  TMemoryDataSet years;
  FillYears(years, {2022, 2023});
  years.Open();
  years.OnNewRecord = [](TDataSet& d) { d.FieldByName("PenMax").SetAsFloat(1); };
  years.Insert();
  EXPECT_FALSE(years.Modified());  // defaults are not the user's changes
  EXPECT_DOUBLE_EQ(years.FieldByName("PenMax").AsFloat(), 1);
  years.Cancel();

  years.Next();
  years.OnNewRecord = [](TDataSet&) { throw EDatabaseError("no defaults"); };
  EXPECT_EQ(ErrorOf([&] { years.Insert(); }), "no defaults");
  EXPECT_EQ(years.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Year(years), 2023);
  EXPECT_EQ(years.InternalCancels(), 2);
}

TEST(Editing, MovingAwayPostsChangesOrDropsAnUntouchedEdit) {
  TMemoryDataSet years;
  FillYears(years, {2022, 2023});
  years.Open();
  years.Edit();
  years.FieldByName("PenMax").SetAsFloat(2);
  years.Next();  // the browse-mode check posts
  EXPECT_DOUBLE_EQ(years.StoredValue(0, 1).AsDouble(), 2);
  EXPECT_EQ(Year(years), 2023);

  years.Insert();
  years.First();  // nothing typed: the insert is dropped
  EXPECT_EQ(years.Rows().size(), 2u);
  EXPECT_EQ(years.State(), TDataSetState::dsBrowse);
}

TEST(Editing, ClosingWhileEditingDiscardsTheEdit) {
  std::vector<std::string> log;
  TMemoryDataSet years;
  FillYears(years, {2022});
  years.Open();
  years.Edit();
  years.FieldByName("PenMax").SetAsFloat(4);
  RecordEvents(years, log);
  years.Close();
  EXPECT_EQ(years.InternalCancels(), 1);
  EXPECT_EQ((std::vector<std::string>{"BeforeClose", "AfterClose"}), log);
  EXPECT_DOUBLE_EQ(years.StoredValue(0, 1).AsDouble(), 20220);
  EXPECT_EQ(years.LiveBuffers(), 0);
  years.Open();
  EXPECT_DOUBLE_EQ(years.FieldByName("PenMax").AsFloat(), 20220);
}

TEST(Editing, LinksHandOverPendingEditsOnPost) {
  TMemoryDataSet years;
  FillYears(years, {2022});
  TDataSource source(&years);
  TTestLink editor;
  editor.SetDataSource(&source);
  years.Open();
  editor.PendingEdit = [&] { years.FieldByName("PenMax").SetAsFloat(8); };
  years.Edit();
  years.Post();
  EXPECT_DOUBLE_EQ(years.StoredValue(0, 1).AsDouble(), 8);
}

}  // namespace
}  // namespace data::testing
