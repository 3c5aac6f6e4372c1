// Moving through a dataset: the ends, the window of buffers, re-reading the window,
// record numbers and bookmarks.
#include <gtest/gtest.h>

#include "engine/framework/DataSource.h"
#include "tests/engine/framework/support/MemoryDataSet.h"
#include "tests/engine/framework/support/TestLink.h"

namespace data::testing {
namespace {

using zdb::PlatformVariant;
using zdb::TVarType;

int N(TDataSet& dataSet) { return dataSet.FieldByName("N").AsInteger(); }

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Navigation, OpenShowsTheFirstRowOrAnEmptyDataset) {
  std::vector<std::string> log;  // outlives the dataset, whose close it hears
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 3);
  rows.Open();
  EXPECT_EQ(N(rows), 1);
  EXPECT_TRUE(rows.Bof());
  EXPECT_FALSE(rows.Eof());
  EXPECT_EQ(rows.RecordCount(), 3);
  EXPECT_EQ(rows.RecNo(), 1);

  TMemoryDataSet empty;
  TMemoryDataSet::FillNumbers(empty, 0);
  empty.Open();
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(empty.Bof());
  EXPECT_TRUE(empty.Eof());
  EXPECT_EQ(empty.RecNo(), -1);
  EXPECT_TRUE(empty.FieldByName("N").IsNull());
  // Moving an empty dataset does nothing, not even its scroll events.
  RecordEvents(empty, log);
  EXPECT_EQ(empty.MoveBy(1), 0);
  EXPECT_EQ(empty.MoveBy(-1), 0);
  EXPECT_TRUE(log.empty());
  empty.First();
  empty.Last();
  EXPECT_TRUE(empty.Bof() && empty.Eof());
}

TEST(Navigation, EndsSetTheirFlagAndStayOnTheEndRow) {
  std::vector<std::string> log;  // outlives the dataset, whose close it hears
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 3);
  rows.Open();
  RecordEvents(rows, log);

  rows.Prior();  // already BOF after open: nothing
  EXPECT_TRUE(log.empty());
  rows.Next();
  rows.Prior();
  EXPECT_EQ(N(rows), 1);
  EXPECT_FALSE(rows.Bof());
  rows.Prior();  // the read before the first row fails: BOF, same row
  EXPECT_TRUE(rows.Bof());
  EXPECT_EQ(N(rows), 1);
  log.clear();
  rows.Prior();
  EXPECT_TRUE(log.empty());

  rows.Last();
  EXPECT_TRUE(rows.Eof());
  EXPECT_FALSE(rows.Bof());
  EXPECT_EQ(N(rows), 3);
  log.clear();
  rows.Next();
  EXPECT_TRUE(log.empty());
  rows.First();
  EXPECT_EQ((std::vector<std::string>{"BeforeScroll", "AfterScroll"}), log);
  EXPECT_TRUE(rows.Bof());
}

TEST(Navigation, MoveByAnswersTheRowsMoved) {
  struct Case {
    int start;  // row made active first
    int distance;
    int moved;
    int row;
    bool bof, eof;
  };
  const Case cases[] = {
      {1, 3, 3, 4, false, false}, {1, 10, 4, 5, false, true}, {5, -10, -4, 1, true, false},
      {3, -2, -2, 1, false, false}, {3, 0, 0, 3, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + " by " + std::to_string(c.distance));
    TMemoryDataSet rows;
    TMemoryDataSet::FillNumbers(rows, 5);
    rows.Open();
    rows.MoveBy(c.start - 1);
    EXPECT_EQ(rows.MoveBy(c.distance), c.moved);
    EXPECT_EQ(N(rows), c.row);
    EXPECT_EQ(rows.Bof(), c.bof);
    EXPECT_EQ(rows.Eof(), c.eof);
  }
}

// Walking both ways must visit every row once in order, whatever the window holds.
TEST(Navigation, WindowsSmallerAndLargerThanTheRows) {
  for (int window : {1, 2, 3, 5, 8}) {
    SCOPED_TRACE("window " + std::to_string(window));
    TMemoryDataSet rows;
    TMemoryDataSet::FillNumbers(rows, 5);
    TDataSource source(&rows);
    TTestLink grid;
    grid.SetBufferCount(window);
    grid.SetDataSource(&source);
    rows.Open();
    EXPECT_EQ(rows.WindowSize(), window);
    EXPECT_EQ(grid.RecordCount(), std::min(window, 5));

    std::vector<int> forward, backward, fromLast;
    for (rows.First(); !rows.Eof(); rows.Next()) forward.push_back(N(rows));
    for (; !rows.Bof(); rows.Prior()) backward.push_back(N(rows));
    rows.Last();
    while (!rows.Bof()) {
      fromLast.push_back(N(rows));
      rows.Prior();
    }
    EXPECT_EQ(forward, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(backward, (std::vector<int>{5, 4, 3, 2, 1}));
    EXPECT_EQ(fromLast, (std::vector<int>{5, 4, 3, 2, 1}));

    // After Last the window ends with the last row, which is the active one.
    rows.Last();
    const std::vector<std::string> tail = grid.Column("N");
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.back(), "5");
    EXPECT_EQ(grid.ActiveRecord(), grid.RecordCount() - 1);
    rows.Close();
    EXPECT_EQ(rows.LiveBuffers(), 0);
  }
}

TEST(Navigation, RecNoFollowsTheRowsAndSetRecNoMovesThere) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 5);
  rows.Open();
  rows.MoveBy(2);
  EXPECT_EQ(rows.RecNo(), 3);
  rows.SetRecNo(5);
  EXPECT_EQ(N(rows), 5);
  rows.SetRecNo(99);  // beyond the rows: the last one
  EXPECT_EQ(N(rows), 5);
  rows.SetRecNo(2);
  EXPECT_EQ(N(rows), 2);
  rows.Prior();
  EXPECT_EQ(N(rows), 1);  // the window was filled around the row, not just with it
}

TEST(Navigation, ResyncModes) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 9);
  TDataSource source(&rows);
  TTestLink grid;
  grid.SetBufferCount(5);
  grid.SetDataSource(&source);
  rows.Open();
  rows.MoveBy(3);  // row 4, the fourth of the window 1..5
  ASSERT_EQ(grid.ActiveRecord(), 3);

  // Plain: the active row keeps its place in the window.
  rows.ResyncWith({});
  EXPECT_EQ(N(rows), 4);
  EXPECT_EQ(grid.ActiveRecord(), 3);
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));

  // Centred: the row moves to the middle of the window.
  rows.ResyncWith({.Exact = false, .Center = true});
  EXPECT_EQ(grid.ActiveRecord(), 2);
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"2", "3", "4", "5", "6"}));
  EXPECT_FALSE(rows.Bof() || rows.Eof());

  // The stored row changed meanwhile: a re-read shows it.
  rows.StoreValue(3, 0, PlatformVariant::Integral(TVarType::Integer, 40));
  rows.ResyncWith({.Exact = true, .Center = false});
  EXPECT_EQ(N(rows), 40);

  // Exact: the cursor's row must be readable.
  rows.RemoveStoredRow(3);
  EXPECT_EQ(ErrorOf([&] { rows.ResyncWith({.Exact = true, .Center = false}); }), "Record not found");

  // Plain with nothing readable clears the window.
  while (!rows.Rows().empty()) rows.RemoveStoredRow(0);
  rows.ResyncWith({});
  EXPECT_TRUE(rows.IsEmpty());
  EXPECT_TRUE(rows.Bof() && rows.Eof());
  EXPECT_EQ(grid.RecordCount(), 0);
}

TEST(Navigation, RefreshShowsOtherWritersChanges) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 3);
  rows.Open();
  rows.Next();
  rows.StoreValue(1, 0, PlatformVariant::Integral(TVarType::Integer, 20));
  EXPECT_EQ(N(rows), 2);
  rows.Refresh();
  EXPECT_EQ(N(rows), 20);
  // The active row vanished: a neighbour takes its place.
  rows.RemoveStoredRow(1);
  rows.Refresh();
  EXPECT_EQ(rows.RecordCount(), 2);
  EXPECT_FALSE(rows.IsEmpty());
}

TEST(Navigation, Bookmarks) {
  std::vector<std::string> log;  // outlives the dataset, whose close it hears
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 6);
  rows.Open();
  rows.MoveBy(3);
  const TBookmark fourth = rows.GetBookmark();
  rows.First();
  const TBookmark first = rows.GetBookmark();
  ASSERT_FALSE(fourth.empty());

  RecordEvents(rows, log);
  rows.GotoBookmark(fourth);
  EXPECT_EQ(N(rows), 4);
  EXPECT_EQ((std::vector<std::string>{"BeforeScroll", "AfterScroll"}), log);
  rows.Prior();
  EXPECT_EQ(N(rows), 3);

  EXPECT_LT(rows.CompareBookmarks(first, fourth), 0);
  EXPECT_GT(rows.CompareBookmarks(fourth, first), 0);
  EXPECT_EQ(rows.CompareBookmarks(fourth, fourth), 0);
  EXPECT_GT(rows.CompareBookmarks({}, fourth), 0);  // a missing bookmark sorts last
  EXPECT_TRUE(rows.BookmarkValid(fourth));

  rows.GotoBookmark({});  // nothing
  EXPECT_EQ(N(rows), 3);
  EXPECT_EQ(ErrorOf([&] { rows.GotoBookmark({1, 2}); }), "Invalid bookmark");

  rows.RemoveStoredRow(3);
  EXPECT_FALSE(rows.BookmarkValid(fourth));
  EXPECT_EQ(ErrorOf([&] { rows.GotoBookmark(fourth); }), "Record not found");

  // A row not yet posted has no bookmark.
  rows.Insert();
  EXPECT_TRUE(rows.GetBookmark().empty());
  EXPECT_EQ(rows.RecNo(), -1);
  rows.Cancel();
}

TEST(Navigation, ClosedDatasetRefusesWork) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 2);
  rows.SetName("Maximo");
  EXPECT_EQ(rows.RecordCount(), 0);
  EXPECT_EQ(rows.RecNo(), -1);
  const std::string closed = "Maximo: Cannot perform this operation on a closed dataset";
  const std::function<void()> operations[] = {
      [&] { rows.First(); },  [&] { rows.Last(); },   [&] { rows.Next(); },   [&] { rows.MoveBy(-1); },
      [&] { rows.Edit(); },   [&] { rows.Insert(); }, [&] { rows.Append(); }, [&] { rows.Delete(); },
      [&] { rows.Refresh(); }, [&] { rows.SetRecNo(1); },
  };
  for (const auto& operation : operations) EXPECT_EQ(ErrorOf(operation), closed);
}

TEST(Navigation, FailedOpenLeavesTheDatasetClosed) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 2);
  rows.FailOpen("Table is locked");
  EXPECT_EQ(ErrorOf([&] { rows.Open(); }), "Table is locked");
  EXPECT_FALSE(rows.Active());
  EXPECT_EQ(rows.State(), TDataSetState::dsInactive);
  EXPECT_EQ(rows.InternalCloses(), 1);  // the unwinding closed what was opened
  EXPECT_EQ(rows.LiveBuffers(), 0);
  rows.Open();
  EXPECT_EQ(N(rows), 1);
}

}  // namespace
}  // namespace data::testing
