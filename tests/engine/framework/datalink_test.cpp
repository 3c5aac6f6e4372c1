// Data sources and data links: the window a grid sees, the notifications it gets, and
// the lifetimes of the three objects.
#include <gtest/gtest.h>

#include "engine/framework/DataSource.h"
#include "tests/engine/framework/support/MemoryDataSet.h"
#include "tests/engine/framework/support/TestLink.h"

namespace data::testing {
namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(DataLinks, TheWindowIsTheLargestLinksAsk) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 10);
  TDataSource source(&rows);
  rows.Open();
  EXPECT_EQ(rows.WindowSize(), 1);
  TTestLink small, large;
  small.SetBufferCount(2);
  large.SetBufferCount(7);
  small.SetDataSource(&source);
  large.SetDataSource(&source);
  EXPECT_EQ(rows.WindowSize(), 7);
  EXPECT_EQ(large.Column("N"), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));
  EXPECT_EQ(small.Column("N"), (std::vector<std::string>{"1", "2"}));
  large.SetDataSource(nullptr);
  EXPECT_EQ(rows.WindowSize(), 2);
  EXPECT_EQ(rows.FieldByName("N").AsInteger(), 1);
  EXPECT_EQ(ErrorOf([&] { small.SetBufferCount(0); }), "Invalid buffer count 0");
  rows.Close();
  EXPECT_EQ(rows.LiveBuffers(), 0);
}

TEST(DataLinks, GrowingAtTheEndFillsUpwards) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 10);
  TDataSource source(&rows);
  TTestLink grid;
  grid.SetDataSource(&source);
  rows.Open();
  rows.Last();
  grid.SetBufferCount(4);
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"7", "8", "9", "10"}));
  EXPECT_EQ(grid.ActiveRecord(), 3);
  grid.SetBufferCount(2);  // shrinking keeps the active row
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"9", "10"}));
  EXPECT_EQ(rows.FieldByName("N").AsInteger(), 10);
  rows.Prior();
  rows.Prior();
  EXPECT_EQ(rows.FieldByName("N").AsInteger(), 8);
}

TEST(DataLinks, ScrollingTellsHowFarTheLinksWindowMoved) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 10);
  TDataSource source(&rows);
  TTestLink grid;
  grid.SetBufferCount(3);
  grid.SetDataSource(&source);
  rows.Open();
  grid.Heard.clear();

  rows.Next();
  rows.Next();  // still inside the window
  EXPECT_EQ(grid.ActiveRecord(), 2);
  rows.Next();  // past its bottom: the window moves one row down
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"2", "3", "4"}));
  rows.MoveBy(-3);  // past its top
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(grid.ActiveRecord(), 0);
  rows.Last();
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"8", "9", "10"}));
  std::vector<std::string> moves;  // every move also asks for the browse-mode check first
  for (const std::string& heard : grid.Heard)
    if (heard != "check browse mode") moves.push_back(heard);
  EXPECT_EQ((std::vector<std::string>{"scrolled 0", "scrolled 0", "scrolled 1", "scrolled -1", "changed"}), moves);
}

TEST(DataLinks, AGridReadsEveryRowOfItsWindowThenPutsTheActiveOneBack) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 4);
  TDataSource source(&rows);
  TTestLink grid;
  grid.SetBufferCount(10);
  grid.SetDataSource(&source);
  rows.Open();
  rows.MoveBy(2);
  EXPECT_EQ(grid.RecordCount(), 4);
  EXPECT_EQ(grid.Column("N"), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(rows.FieldByName("N").AsInteger(), 3);
  EXPECT_EQ(ErrorOf([&] { grid.SetActiveRecord(4); }), "Record index out of range");
}

TEST(DataLinks, StateAndRecordNotifications) {
  std::vector<std::string> sourceHeard;  // outlives the source, which is heard as it goes
  TMemoryDataSet rows;
  rows.DefineField("PenMax", TFieldType::ftFloat);
  rows.AddRow({zdb::PlatformVariant::Real(zdb::TVarType::Double, 1)});
  TDataSource source(&rows);
  source.OnStateChange = [&](TDataSource& s) { sourceHeard.push_back("state " + std::to_string(int(s.State()))); };
  source.OnDataChange = [&](TDataSource&, TField* f) {
    sourceHeard.push_back("data " + (f == nullptr ? std::string("-") : f->FieldName()));
  };
  TTestLink link;
  link.SetDataSource(&source);
  EXPECT_FALSE(link.Active());

  rows.Open();
  EXPECT_TRUE(link.Active());
  rows.Edit();
  EXPECT_TRUE(link.Editing());
  rows.FieldByName("PenMax").SetAsFloat(2);
  rows.Post();
  EXPECT_FALSE(link.Editing());
  rows.Close();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ((std::vector<std::string>{"active", "check browse mode", "editing", "record -", "record PenMax",
                                      "update data", "check browse mode", "not editing", "changed", "inactive"}),
            link.Heard);
  EXPECT_EQ((std::vector<std::string>{"state 1", "state 2", "data -", "data PenMax", "state 1", "data -",
                                      "state 0"}),
            sourceHeard);

  // A disabled source shows its links an inactive dataset.
  rows.Open();
  source.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(source.State(), TDataSetState::dsInactive);
  source.SetEnabled(true);
  EXPECT_TRUE(link.Active());
  link.SetReadOnly(true);
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(rows.State(), TDataSetState::dsBrowse);
  link.SetReadOnly(false);
  EXPECT_TRUE(link.Edit());  // AutoEdit
  EXPECT_EQ(rows.State(), TDataSetState::dsEdit);
  rows.Cancel();
}

TEST(DataLinks, DisabledControlsHearOneChangeAtTheEnd) {
  TMemoryDataSet rows;
  TMemoryDataSet::FillNumbers(rows, 5);
  TDataSource source(&rows);
  TTestLink grid;
  grid.SetDataSource(&source);
  rows.Open();
  grid.Heard.clear();

  rows.DisableControls();
  rows.DisableControls();
  for (rows.First(); !rows.Eof(); rows.Next()) {
  }
  rows.Edit();
  rows.EnableControls();
  EXPECT_TRUE(grid.Heard.empty());
  EXPECT_TRUE(rows.ControlsDisabled());
  rows.EnableControls();
  EXPECT_FALSE(rows.ControlsDisabled());
  EXPECT_EQ((std::vector<std::string>{"editing", "changed"}), grid.Heard);
  rows.Cancel();
}

// A dataset that follows a data source, as a detail follows its master.
class TFollowingDataSet : public TMemoryDataSet {
 public:
  TDataSource* Master = nullptr;

 protected:
  TDataSource* GetDataSource() const override { return Master; }
};

TEST(DataLinks, CircularLinksAreRefused) {
  TFollowingDataSet detail;
  TDataSource source;
  detail.Master = &source;
  EXPECT_EQ(ErrorOf([&] { source.SetDataSet(&detail); }), "Circular datalinks are not allowed");
  EXPECT_EQ(source.DataSet(), nullptr);

  TFollowingDataSet middle, top;
  TDataSource topSource(&top);
  middle.Master = &topSource;
  TDataSource middleSource(&middle);
  top.Master = &middleSource;  // top -> middle -> top
  TDataSource other;
  EXPECT_EQ(ErrorOf([&] { topSource.SetDataSet(&middle); }), "Circular datalinks are not allowed");
  other.SetDataSet(&top);  // a source nobody follows may show any dataset
  EXPECT_EQ(other.DataSet(), &top);
}

TEST(DataLinks, WhicheverGoesFirstDetachesItself) {
  for (int order = 0; order < 3; ++order) {
    SCOPED_TRACE(order);
    auto rows = std::make_unique<TMemoryDataSet>();
    TMemoryDataSet::FillNumbers(*rows, 3);
    auto source = std::make_unique<TDataSource>(rows.get());
    auto link = std::make_unique<TTestLink>();
    link->SetBufferCount(2);
    link->SetDataSource(source.get());
    rows->Open();
    switch (order) {
      case 0:
        rows.reset();
        EXPECT_EQ(source->DataSet(), nullptr);
        EXPECT_FALSE(link->Active());
        break;
      case 1:
        source.reset();
        EXPECT_EQ(link->DataSource(), nullptr);
        EXPECT_EQ(rows->WindowSize(), 1);
        break;
      case 2:
        link.reset();
        EXPECT_EQ(rows->WindowSize(), 1);
        break;
    }
  }
}

}  // namespace
}  // namespace data::testing
