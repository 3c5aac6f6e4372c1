// The operations of a B-tree table index on the yearly limits' index "ANY" (one
// ascending INTEGER column) and on small pages that make deep trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "engine/index/ZDBBTreePage.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/file/support/MemoryPageManager.h"
#include "tests/engine/index/support/BTreeTestSupport.h"

namespace zdb::test {
namespace {

using Op = TZDBSearchOperator;
constexpr int32_t S = IndexedTable::Session;

// An "ANY" index over rows whose record page is 100 and slot the insertion number.
class YearIndexTest : public ::testing::Test {
 protected:
  explicit YearIndexTest(uint16_t pageSize = 4096) : pages(1000, pageSize) {}

  IndexedTable& Any(bool unique = false) {
    if (!table) {
      const RowLayout layout = YearLayout();
      table = std::make_unique<IndexedTable>(pages, layout, std::vector{layout.Column(0)}, unique);
    }
    return *table;
  }
  Row Year(std::optional<int32_t> year) const {
    const RowLayout layout = YearLayout();
    Row row = layout.NewRow();
    layout.SetInt(row, 0, year);
    return row;
  }
  TZDBRecordID Add(std::optional<int32_t> year) {
    const TZDBRecordID id{100, nextSlot++};
    Any().Insert(id, Year(year));
    return id;
  }
  std::optional<int32_t> YearOf(const TZDBRecordID& id) {
    const Row& row = Any().table.rows.at(id);
    if (row[0] & 1) return std::nullopt;
    return le::GetI32(row.data() + 1);
  }
  // The year the operator search lands on, or nothing.
  std::optional<std::optional<int32_t>> Search(Op op, int32_t year, bool forward) {
    const Row key = Year(year);
    TZDBKeyPath path;
    if (!Any().Index().FindCondition(S, {op, key.data(), 1, false}, forward, path)) return std::nullopt;
    return YearOf(Any().Index().RecordIDAt(S, path));
  }
  // Entry counts of the leaves from left to right.
  std::vector<int32_t> LeafCounts() {
    std::vector<int32_t> counts;
    TZDBKeyPath path;
    if (!Any().Index().FirstEntry(S, path)) return counts;
    for (int32_t pageNo = path.Leaf().PageNo; pageNo != -1;) {
      TZDBPageRef page(pages, S, pageNo, false, TZDBBTreePage::PageType);
      const TZDBBTreePage view(*page, 6);
      counts.push_back(view.EntryCount());
      pageNo = view.RightPageNo();
    }
    return counts;
  }
  TZDBBTreePage RootView(TZDBPageRef& ref) {
    ref = TZDBPageRef(pages, S, Any().Index().RootPageNo(), false, TZDBBTreePage::PageType);
    return TZDBBTreePage(*ref, 6);
  }

  MemoryPageManager pages;
  std::unique_ptr<IndexedTable> table;
  uint16_t nextSlot = 0;
};

TEST_F(YearIndexTest, EmptyIndexFindsNothing) {
  TZDBKeyPath path;
  EXPECT_FALSE(Any().Index().FirstEntry(S, path));
  EXPECT_FALSE(Any().Index().LastEntry(S, path));
  TZDBNavigationRequest request;
  request.GetMode = grmNext;
  request.BeforeFirst = true;
  Any().Index().GetRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grNotFound);
  EXPECT_FALSE(Search(Op::GreaterOrEqual, 2000, true));
  Any().ExpectSound();

  TZDBPageRef root;
  const TZDBBTreePage view = RootView(root);
  EXPECT_TRUE(view.IsRoot());
  EXPECT_TRUE(view.IsLeaf());
  EXPECT_TRUE(view.CreatedAsRoot());
  EXPECT_EQ(view.KeySize(), 5);
  EXPECT_EQ(view.LeftPageNo(), -1);
  EXPECT_EQ(view.RightPageNo(), -1);
}

TEST_F(YearIndexTest, SearchesOnYears2000To2010) {
  for (int32_t year = 2000; year <= 2010; ++year) Add(year);
  struct Case {
    Op op;
    int32_t year;
    std::optional<int32_t> lands;
  };
  for (const Case& c : std::vector<Case>{{Op::Equal, 2005, 2005},
                                         {Op::Equal, 1999, std::nullopt},
                                         {Op::GreaterOrEqual, 2011, std::nullopt},
                                         {Op::GreaterOrEqual, 1990, 2000},
                                         {Op::GreaterOrEqual, 2005, 2005}}) {
    const auto found = Search(c.op, c.year, true);
    ASSERT_EQ(found.has_value(), c.lands.has_value()) << c.year;
    if (found) {
      EXPECT_EQ(*found, c.lands);
    }
  }
}

TEST_F(YearIndexTest, EqualKeysKeepRecordIDOrderAndDeleteExactlyTheirEntry) {
  for (uint16_t slot : {9, 3, 6}) Any().Insert({50, slot}, Year(2020));
  Any().Insert({1, 1}, Year(2019));
  EXPECT_EQ(Any().Scan(), (std::vector<TZDBRecordID>{{1, 1}, {50, 3}, {50, 6}, {50, 9}}));
  Any().Delete({50, 6});
  EXPECT_EQ(Any().Scan(), (std::vector<TZDBRecordID>{{1, 1}, {50, 3}, {50, 9}}));
  Any().ExpectSound();
}

// 368 ascending years split the root leaf into 184 + 184 entries; one deletion from the
// left leaf merges it into the right one, and the root collapses back into a leaf.
TEST_F(YearIndexTest, RootGrowsAtTheFullPageAndCollapsesAfterTheMerge) {
  std::vector<TZDBRecordID> ids;
  for (int32_t i = 0; i < 367; ++i) ids.push_back(Add(1700 + i));
  EXPECT_EQ(LeafCounts(), (std::vector<int32_t>{367}));
  ids.push_back(Add(1700 + 367));
  EXPECT_EQ(LeafCounts(), (std::vector<int32_t>{184, 184}));
  {
    TZDBPageRef root;
    const TZDBBTreePage view = RootView(root);
    EXPECT_FALSE(view.IsLeaf());
    ASSERT_EQ(view.EntryCount(), 2);
    EXPECT_EQ(std::vector<uint8_t>(view.Key(0), view.Key(0) + 5), std::vector<uint8_t>(5, 0));
    EXPECT_EQ(le::GetI32(view.Key(1) + 1), 1700 + 184);
  }
  Any().ExpectSound();

  const int32_t rootNo = Any().Index().RootPageNo();
  Any().Delete(ids[10]);
  EXPECT_EQ(LeafCounts(), (std::vector<int32_t>{367}));
  EXPECT_EQ(Any().Index().RootPageNo(), rootNo);
  {
    TZDBPageRef root;
    const TZDBBTreePage view = RootView(root);
    EXPECT_TRUE(view.IsRoot());
    EXPECT_TRUE(view.IsLeaf());
  }
  EXPECT_EQ(pages.RemovedPageNumbers(S).size(), 2u);  // both leaves are gone
  Any().ExpectSound();
  ids.erase(ids.begin() + 10);
  EXPECT_EQ(Any().Scan(), ids);
}

TEST_F(YearIndexTest, NavigationStopsAtTheEndsAndRestartsFromThem) {
  const TZDBRecordID first = Add(2001);
  Add(2002);
  const TZDBRecordID last = Add(2003);
  Row buffer = Year(std::nullopt);

  TZDBNavigationRequest request;
  request.GetMode = grmNext;
  request.RecordID = last;
  request.RecordBuffer = buffer.data();
  Any().table.ReadRecord(S, last, buffer.data());
  Any().Index().GetRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grEOF);
  EXPECT_TRUE(request.AfterLast);

  request.GetMode = grmPrior;
  Any().Index().GetRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grOK);
  EXPECT_EQ(request.RecordID, last);
  EXPECT_FALSE(request.AfterLast);
  EXPECT_EQ(buffer, Year(2003));

  request.RecordID = first;
  Any().table.ReadRecord(S, first, buffer.data());
  Any().Index().GetRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grBOF);
  EXPECT_TRUE(request.BeforeFirst);
  request.GetMode = grmNext;
  Any().Index().GetRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.RecordID, first);

  request.GetMode = grmCurrent;
  EXPECT_EQ(Raised([&] { Any().Index().GetRecord(S, request, 0, nullptr); }).code, 20053);
  request.GetMode = grmNext;
  request.BeforeFirst = false;
  request.RecordID = {999, 0};  // not in the index
  Any().Index().GetRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grNotFound);
}

TEST_F(YearIndexTest, PositionCacheIsTrustedWhileTheChangeCounterStands) {
  for (int32_t year : {2001, 2002, 2004, 2006}) Add(year);
  const TZDBRecordID at2002{100, 1};
  Row buffer = Year(2002);
  TZDBIndexPositionCache cache;
  TZDBNavigationRequest request;
  request.GetMode = grmNext;
  request.RecordID = at2002;
  request.RecordBuffer = buffer.data();
  Any().Index().GetRecord(S, request, 1, &cache);
  EXPECT_EQ(YearOf(request.RecordID), 2004);
  EXPECT_EQ(cache.IndexID, Any().definition.ObjectID);
  EXPECT_EQ(cache.RecordID, request.RecordID);
  EXPECT_EQ(cache.ChangeCounter, 1);

  // Another cursor inserts 2005: the table's change counter moves to 2, so this cursor
  // searches its row again and goes on at its new right neighbour.
  Add(2005);
  Any().Index().GetRecord(S, request, 2, &cache);
  EXPECT_EQ(YearOf(request.RecordID), 2005);

  // With an unchanged counter the cached path is taken as it is.
  TZDBKeyPath firstPath;
  ASSERT_TRUE(Any().Index().FirstEntry(S, firstPath));
  cache.Path = firstPath;  // claims that the current row is the first entry
  Any().Index().GetRecord(S, request, 2, &cache);
  EXPECT_EQ(YearOf(request.RecordID), 2002);
}

TEST_F(YearIndexTest, NearbyRecordOfARowThatIsGone) {
  for (int32_t year : {2001, 2003, 2005}) Add(year);
  Row gone = Year(2004);
  TZDBNavigationRequest request;
  request.RecordBuffer = gone.data();
  request.GetMode = grmNext;
  Any().Index().GetNearbyRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grOK);
  EXPECT_EQ(gone, Year(2005));
  std::ranges::copy(Year(2004), gone.begin());
  request.GetMode = grmPrior;
  Any().Index().GetNearbyRecord(S, request, 0, nullptr);
  EXPECT_EQ(gone, Year(2003));
  std::ranges::copy(Year(2000), gone.begin());
  Any().Index().GetNearbyRecord(S, request, 0, nullptr);
  EXPECT_EQ(request.GetResult, grBOF);
  EXPECT_TRUE(request.BeforeFirst);
}

TEST_F(YearIndexTest, RecordNumbersCountAcrossLeaves) {
  std::vector<TZDBRecordID> ids;
  for (int32_t i = 0; i < 368; ++i) ids.push_back(Add(1700 + i));
  ASSERT_EQ(LeafCounts(), (std::vector<int32_t>{184, 184}));
  EXPECT_EQ(Any().Index().GetRecNo(S, ids[199], Any().table.rows.at(ids[199]).data()), 200);
  EXPECT_EQ(Any().Index().GetRecNo(S, {1, 1}, Year(1).data()), -1);
  TZDBRecordID found;
  Any().Index().GetRecordAtRecNo(S, found, 200);
  EXPECT_EQ(found, ids[199]);
  Any().Index().GetRecordAtRecNo(S, found, 368);
  EXPECT_EQ(found, ids[367]);
  Any().Index().GetRecordAtRecNo(S, found, 0);
  EXPECT_EQ(found, ids[0]) << "a position below 1 is the first row";
  EXPECT_EQ(Raised([&] { Any().Index().GetRecordAtRecNo(S, found, 369); }).code, 20075);
}

TEST_F(YearIndexTest, UpdatesMoveOnlyChangedKeys) {
  for (int32_t year = 2000; year <= 2010; ++year) Add(year);
  const TZDBRecordID at2005{100, 5};
  pages.ApplyChanges(S);

  Any().Update(at2005, Year(2005));
  EXPECT_FALSE(pages.HasSessionChanges(S)) << "an unchanged key leaves the pages alone";

  Any().Update(at2005, Year(2015));
  const std::vector<TZDBRecordID> order = Any().Scan();
  EXPECT_EQ(order.back(), at2005);
  EXPECT_EQ(YearOf(order[order.size() - 2]), 2010);
  Any().ExpectSound();
}

TEST_F(YearIndexTest, UniquenessChecks) {
  Any(/*unique=*/true);
  Add(2001);
  const TZDBRecordID at2002 = Add(2002);
  EXPECT_FALSE(Any().Index().IsKeyFree(S, Year(2001).data()));
  EXPECT_TRUE(Any().Index().IsKeyFree(S, Year(2003).data()));
  EXPECT_TRUE(Any().Index().IsNewKeyFree(S, Year(2002).data(), Year(2002).data())) << "the row keeps its own key";
  EXPECT_FALSE(Any().Index().IsNewKeyFree(S, Year(2002).data(), Year(2001).data()));
  EXPECT_TRUE(Any().Index().IsNewKeyFree(S, Year(2002).data(), Year(2000).data()));
  (void)at2002;

  Add(std::nullopt);
  EXPECT_FALSE(Any().Index().IsKeyFree(S, Year(std::nullopt).data())) << "NULL keys are equal";
}

TEST_F(YearIndexTest, KeysAreAlwaysFreeInAnIndexThatIsNotUnique) {
  Add(2001);
  EXPECT_TRUE(Any().Index().IsKeyFree(S, Year(2001).data()));
}

TEST_F(YearIndexTest, ScanWithConditions) {
  for (int32_t year : {2001, 2003, 2003, 2003, 2005, 2007}) Add(year);
  const Row from = Year(2003), to = Year(2005);
  const TZDBIndexKeyCondition equal{Op::Equal, from.data(), 1, false};
  const TZDBIndexKeyCondition atLeast{Op::GreaterOrEqual, from.data(), 1, false};
  const TZDBIndexKeyCondition atMost{Op::LessOrEqual, to.data(), 1, false};

  auto scan = [&](const TZDBIndexKeyCondition* condition, const TZDBIndexKeyCondition* end, bool forward) {
    std::vector<std::optional<int32_t>> years;
    TZDBIndexSearchState state = Any().Index().NewSearchState();
    TZDBRecordID id;
    for (bool restart = true;; restart = false) {
      const Row current = restart ? Year(0) : Any().table.rows.at(id);
      if (!Any().Index().FindNextMatch(S, restart, &state, id, current.data(), end, condition, forward)) break;
      years.push_back(YearOf(id));
    }
    return years;
  };
  using Years = std::vector<std::optional<int32_t>>;
  EXPECT_EQ(scan(&equal, nullptr, true), (Years{2003, 2003, 2003}));
  EXPECT_EQ(scan(&equal, nullptr, false), (Years{2003, 2003, 2003}));
  EXPECT_EQ(scan(&atLeast, &atMost, true), (Years{2003, 2003, 2003, 2005}));
  EXPECT_EQ(scan(&atMost, &atLeast, false), (Years{2005, 2003, 2003, 2003}));
  EXPECT_EQ(scan(nullptr, nullptr, true), (Years{2001, 2003, 2003, 2003, 2005, 2007}));

  // A continuation from a row before the first match yields that match itself.
  TZDBIndexSearchState state;
  TZDBRecordID id{100, 0};  // 2001
  ASSERT_TRUE(Any().Index().FindNextMatch(S, false, &state, id, Year(2001).data(), nullptr, &equal, true));
  EXPECT_EQ(id, (TZDBRecordID{100, 1}));

  EXPECT_EQ(Raised([&] { Any().Index().FindNextMatch(S, false, nullptr, id, nullptr, nullptr, &equal, true); }).code,
            20077);
  EXPECT_EQ(Raised([&] { Any().Index().FindNextMatch(S, true, &state, id, nullptr, nullptr, &equal, true); }).code,
            20078);
}

TEST_F(YearIndexTest, EstimatesRowsBetweenConditions) {
  for (int32_t year = 0; year < 1000; ++year) Add(year);
  const Row low = Year(250), high = Year(749);
  const TZDBIndexKeyCondition from{Op::GreaterOrEqual, low.data(), 1, false};
  const TZDBIndexKeyCondition to{Op::LessOrEqual, high.data(), 1, false};
  EXPECT_EQ(Any().Index().CompareConditions(from, to), -1);
  EXPECT_EQ(Any().Index().CompareConditions(to, from), 1);
  const int64_t estimate = Any().Index().EstimateCount(S, to, from, 1000);
  EXPECT_NEAR(static_cast<double>(estimate), 500.0, 60.0);
  const Row none = Year(5000);
  EXPECT_EQ(Any().Index().EstimateCount(S, {Op::GreaterOrEqual, none.data(), 1, false}, to, 1000), 0);
}

TEST_F(YearIndexTest, MarkDistinctKeepsTheFirstMarkedRowOfEachKey) {
  class Marks : public TZDBRecordMarks {
   public:
    bool IsMarked(const TZDBRecordID& id) const override { return marked.count(id) != 0; }
    void SetMarked(const TZDBRecordID& id, bool on) override {
      if (on) marked.insert(id);
      else marked.erase(id);
    }
    std::set<TZDBRecordID> marked;
  } marks;
  std::vector<TZDBRecordID> ids;
  for (int32_t year : {2001, 2001, 2001, 2002, 2002, 2003}) ids.push_back(Add(year));
  marks.marked = {ids[1], ids[2], ids[3], ids[4], ids[5]};
  Any().Index().MarkDistinct(S, &marks, 1);
  EXPECT_EQ(marks.marked, (std::set<TZDBRecordID>{ids[1], ids[3], ids[5]}));
  EXPECT_EQ(Raised([&] { Any().Index().MarkDistinct(S, nullptr, 1); }).code, 20076);
}

TEST_F(YearIndexTest, BuildEmptyDropAndRebuild) {
  for (int32_t year = 0; year < 500; ++year) Any().table.rows[{7, static_cast<uint16_t>(year)}] = Year(499 - year);
  // Building over the existing rows.
  TZDBBTreeRecordIndex built(pages, Any().table);
  TZDBIndexKeyDef definition = Any().definition;
  definition.RootPageNo = -1;
  const RowCursor cursor(S, {}, Year(0));
  built.CreateIndexTree(&cursor, definition);
  EXPECT_NE(definition.RootPageNo, -1);
  EXPECT_EQ(built.Definition().RootPageNo, definition.RootPageNo);
  const TZDBBTreeCheckReport report = built.Check(S);
  EXPECT_TRUE(report.Ok());
  EXPECT_EQ(report.EntryCount, 500);
  EXPECT_GT(report.Depth, 1);
  TZDBRecordID first;
  built.GetRecordAtRecNo(S, first, 1);
  EXPECT_EQ(first, (TZDBRecordID{7, 499}));

  // Opening reads nothing and finds the same tree.
  TZDBBTreeRecordIndex opened(pages, Any().table);
  opened.OpenIndex(definition);
  EXPECT_EQ(opened.Check(S).EntryCount, 500);

  // Emptying keeps only the root, an empty leaf again.
  const int32_t root = definition.RootPageNo;
  const std::vector<int32_t> treePages = report.Pages;
  built.EmptyIndexTree(S);
  EXPECT_EQ(built.RootPageNo(), root);
  EXPECT_EQ(built.Check(S).EntryCount, 0);
  std::vector<int32_t> removed = pages.RemovedPageNumbers(S);
  EXPECT_EQ(removed.size(), treePages.size() - 1);

  // Rebuilding drops the tree and builds it again from the rows.
  built.RebuildIndex(cursor);
  EXPECT_EQ(built.Check(S).EntryCount, 500);

  // Dropping frees every page; an index without root refuses further work.
  built.DropIndexTree(S);
  EXPECT_EQ(built.RootPageNo(), -1);
  const Row row = Year(1);
  TZDBNavigationRequest request;
  request.GetMode = grmNext;
  struct Refused {
    const char* operation;
    std::function<void()> call;
    int32_t code;
  };
  for (const Refused& refused : std::vector<Refused>{
           {"drop", [&] { built.DropIndexTree(S); }, 20119},
           {"empty", [&] { built.EmptyIndexTree(S); }, 20120},
           {"insert", [&] { built.InsertEntry(RowCursor(S, {1, 1}, row)); }, 20121},
           {"delete", [&] { built.DeleteEntry(RowCursor(S, {1, 1}, row)); }, 20122},
           {"get record", [&] { built.GetRecord(S, request, 0, nullptr); }, 20123},
           {"record number", [&] { built.GetRecNo(S, {1, 1}, row.data()); }, 20124},
           {"at record number", [&] { TZDBRecordID id; built.GetRecordAtRecNo(S, id, 1); }, 20125},
           {"nearby", [&] { built.GetNearbyRecord(S, request, 0, nullptr); }, 20293}}) {
    EXPECT_EQ(Raised(refused.call).code, refused.code) << refused.operation;
  }
}

TEST_F(YearIndexTest, BrokenCallsAreRefused) {
  const TZDBRecordID id = Add(2001);
  const Row row = Any().table.rows.at(id);
  EXPECT_EQ(Raised([&] { Any().Index().InsertEntry(RowCursor(S, id, row)); }).code, 20028);
  EXPECT_EQ(Raised([&] { Any().Index().DeleteEntry(RowCursor(S, {5, 5}, row)); }).code, 20027);
  const Row changed = Year(2002);
  EXPECT_EQ(Raised([&] { Any().Index().UpdateEntry(RowCursor(S, {5, 5}, changed, &row), true); }).code, 20250);
  TZDBKeyPath path;
  EXPECT_EQ(Raised([&] { Any().Index().NextEntry(S, path); }).code, 20068);
  EXPECT_EQ(Raised([&] { Any().Index().PriorEntry(S, path); }).code, 20069);
  EXPECT_EQ(Raised([&] { Any().Index().ComparePaths(nullptr, &path); }).code, 10384);
  EXPECT_EQ(Raised([&] { Any().Index().ComparePaths(&path, nullptr); }).code, 10385);
  Any().Delete(id);
  EXPECT_EQ(Raised([&] { TZDBRecordID found; Any().Index().GetRecordAtRecNo(S, found, 1); }).code, 20074);
}

TEST_F(YearIndexTest, PathNumbersAddressEntriesFromTheRoot) {
  std::vector<TZDBRecordID> ids;
  for (int32_t i = 0; i < 1000; ++i) ids.push_back(Add(i));
  const auto [base, rest] = Any().Index().PathBase();
  EXPECT_EQ(base, 4056 / 9);
  EXPECT_EQ(rest, 4056 % 9);
  TZDBKeyPath path;
  ASSERT_TRUE(Any().Index().FindRecordPath(S, ids[600], path, Any().table.rows.at(ids[600]).data()));
  const TZDBKeyPath numbers = TZDBKeyPath::Decode(path.Encode(base + 1), base + 1);
  TZDBRecordID found;
  Any().Index().GetRecordAtPath(S, numbers, found);
  EXPECT_EQ(found, ids[600]);
}

// Pages of 256 bytes hold exactly 18 "ANY" entries with no byte to spare, so an empty
// leaf between two full ones cannot merge by the size rule; it must go all the same.
class ExactlyFullPagesTest : public YearIndexTest {
 protected:
  ExactlyFullPagesTest() : YearIndexTest(256) {}
};

TEST_F(ExactlyFullPagesTest, AnEmptiedPageBetweenFullNeighboursIsMergedAway) {
  for (int32_t key = 10; key <= 1000; key += 10) Add(key);
  std::vector<int32_t> counts = LeafCounts();
  ASSERT_GE(counts.size(), 4u);
  // Fill leaves 1 and 3 to the brim with keys from their own ranges, then empty leaf 2.
  auto leafKeys = [&](size_t leaf) {
    std::vector<TZDBRecordID> ids;
    TZDBKeyPath path;
    Any().Index().FirstEntry(S, path);
    size_t seen = 0;
    int32_t pageNo = path.Leaf().PageNo;
    do {
      if (path.Leaf().PageNo != pageNo) {
        pageNo = path.Leaf().PageNo;
        ++seen;
      }
      if (seen == leaf) ids.push_back(Any().Index().RecordIDAt(S, path));
    } while (Any().Index().NextEntry(S, path));
    return ids;
  };
  for (size_t leaf : {1u, 3u}) {
    int32_t base = *YearOf(leafKeys(leaf).front());
    for (int32_t extra = 1; static_cast<int32_t>(leafKeys(leaf).size()) < 18; ++extra) Add(base + extra);
  }
  counts = LeafCounts();
  ASSERT_EQ(counts[1], 18);
  ASSERT_EQ(counts[3], 18);
  for (const TZDBRecordID& id : leafKeys(2)) Any().Delete(id);
  Any().ExpectSound();
  EXPECT_EQ(LeafCounts().size(), counts.size() - 1);
  std::vector<TZDBRecordID> expected;
  for (const auto& [id, row] : Any().table.rows) expected.push_back(id);
  std::vector<TZDBRecordID> scanned = Any().Scan();
  EXPECT_EQ(scanned.size(), expected.size());
  EXPECT_EQ(Any().ScanBackward(), scanned);
}

// A damaged page is reported by the check.
TEST_F(YearIndexTest, CheckReportsDamagedPages) {
  for (int32_t i = 0; i < 800; ++i) Add(i);
  Any().ExpectSound();
  TZDBKeyPath path;
  ASSERT_TRUE(Any().Index().FirstEntry(S, path));
  const int32_t leafNo = path.Leaf().PageNo;
  struct Damage {
    const char* what;
    std::function<void(TZDBBTreePage&)> apply;
  };
  for (const Damage& damage : std::vector<Damage>{
           {"keys swapped", [](TZDBBTreePage& p) { std::swap_ranges(p.Key(0), p.Key(0) + 5, p.Key(1)); }},
           {"right link broken", [](TZDBBTreePage& p) { p.SetRightPageNo(-1); }},
           {"root flag set", [](TZDBBTreePage& p) { p.SetIsRoot(true); }},
           {"count too large", [](TZDBBTreePage& p) { p.SetEntryCount(5000); }},
           {"key above the separator", [](TZDBBTreePage& p) { le::PutI32(p.Key(p.EntryCount() - 1) + 1, 900); }}}) {
    std::vector<uint8_t> saved;
    {
      TZDBPageRef page(pages, S, leafNo, false, TZDBBTreePage::PageType);
      saved.assign(page->Data(), page->Data() + page->DataSize());
      TZDBBTreePage view(*page, 6);
      damage.apply(view);
      page->MarkDirty();
    }
    EXPECT_FALSE(Any().Index().Check(S).Ok()) << damage.what;
    TZDBPageRef page(pages, S, leafNo, false, TZDBBTreePage::PageType);
    std::copy(saved.begin(), saved.end(), page->Data());
  }
  Any().ExpectSound();
}

}  // namespace
}  // namespace zdb::test
