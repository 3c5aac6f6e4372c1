// The page-number trees: the record-page index (rows per record page) and the BLOB-page
// index (bytes per BLOB page), over pages held in memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/index/ZDBBTreeBlobPageIndex.h"
#include "engine/index/ZDBBTreeCheck.h"
#include "engine/index/ZDBBTreeRecordPageIndex.h"
#include "tests/engine/file/support/MemoryPageManager.h"

namespace zdb {
namespace {

constexpr int32_t Session = 0;
constexpr int32_t MaximoRowsPerPage = 191;

struct RaisedError {
  int32_t code = 0;
  std::string message;
};

RaisedError ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EZDBException& e) {
    return {e.NativeError(), e.Message()};
  }
  return {};
}

class RecordPageIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    index.SetRecordsPerPage(MaximoRowsPerPage);
    index.CreateTree(Session);
  }
  // Puts the page into the index with that many rows.
  void Set(int32_t pageNo, int32_t rows) {
    if (index.RowCount(Session, pageNo) == 0) index.AddRow(Session, pageNo);
    index.SetRowCount(Session, pageNo, rows);
  }
  int32_t PageWithFreeSlot() {
    int32_t pageNo = -1;
    return index.FindPageWithFreeSlot(Session, pageNo) ? pageNo : -1;
  }
  std::pair<int32_t, int32_t> Locate(int64_t row) {
    int32_t pageNo = -1, position = -1;
    index.LocateRow(Session, row, pageNo, position);
    return {pageNo, position};
  }
  void ExpectSoundTree() {
    TZDBPageKeyRef keys;
    const TZDBBTreeCheckReport report = CheckBTree(pages, Session, keys, index.RootPageNo(), false);
    EXPECT_TRUE(report.Ok()) << (report.Problems.empty() ? "" : report.Problems.front());
  }

  test::MemoryPageManager pages{1000, 4096};
  TZDBBTreeRecordPageIndex index{pages};
};

TEST_F(RecordPageIndex, ThePageWithAFreeSlotIsTheHighestThatHasOne) {
  Set(100, MaximoRowsPerPage);
  Set(101, MaximoRowsPerPage);
  Set(102, 10);
  EXPECT_EQ(PageWithFreeSlot(), 102);
  Set(102, MaximoRowsPerPage);
  EXPECT_EQ(PageWithFreeSlot(), -1);  // the caller adds a page
  Set(100, 190);
  EXPECT_EQ(PageWithFreeSlot(), 100);
}

TEST_F(RecordPageIndex, RowCountsEnterLeaveAndStopAtAFullPage) {
  index.AddRow(Session, 100);
  EXPECT_EQ(index.RowCount(Session, 100), 1);  // a new page enters with one row
  index.AddRow(Session, 100);
  EXPECT_EQ(index.RowCount(Session, 100), 2);
  index.SubtractAmount(Session, 1, TZDBBTreePageIndex::SubtractFromValue, 100);
  EXPECT_EQ(index.RowCount(Session, 100), 1);

  Set(101, MaximoRowsPerPage);
  const RaisedError full = ErrorOf([&] { index.AddRow(Session, 101); });
  EXPECT_EQ(full.code, 20106);
  EXPECT_EQ(full.message, "Cannot add data item to page. Page is full");
  EXPECT_EQ(index.RowCount(Session, 101), MaximoRowsPerPage);

  index.SetRowCount(Session, 100, 0);
  EXPECT_EQ(index.AllPages(Session), std::vector<int32_t>{101});
  index.SetRowCount(Session, 101, 0);
  EXPECT_TRUE(index.AllPages(Session).empty());
  EXPECT_EQ(ErrorOf([&] { index.SetRowCount(Session, 101, 0); }).code, 20110);  // the tree is empty
}

TEST_F(RecordPageIndex, RowPositionsAcrossPages) {
  Set(100, MaximoRowsPerPage);
  Set(105, MaximoRowsPerPage);
  Set(110, 10);
  EXPECT_EQ(Locate(0), std::make_pair(100, 0));
  EXPECT_EQ(Locate(190), std::make_pair(100, 190));
  EXPECT_EQ(Locate(191), std::make_pair(105, 0));
  EXPECT_EQ(Locate(391), std::make_pair(110, 9));
  const RaisedError beyond = ErrorOf([&] { Locate(392); });
  EXPECT_EQ(beyond.code, 20113);
  EXPECT_EQ(beyond.message, "Cannot set RecNo greater than RecordCount");

  EXPECT_EQ(index.RowsBefore(Session, 100, 0), 0);
  EXPECT_EQ(index.RowsBefore(Session, 105, 3), 194);
  EXPECT_EQ(index.RowsBefore(Session, 110, 9), 391);
  EXPECT_EQ(ErrorOf([&] { index.RowsBefore(Session, 107, 0); }).code, 20114);

  EXPECT_NO_THROW(index.CheckRowCount(Session, 392));
  const RaisedError disagree = ErrorOf([&] { index.CheckRowCount(Session, 391); });
  EXPECT_EQ(disagree.code, 20292);
  EXPECT_EQ(disagree.message,
            "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=392, "
            "MostUpdated.RecordCount=391");
}

TEST_F(RecordPageIndex, NeighbourPages) {
  Set(100, 1);
  Set(105, 1);
  Set(110, 1);
  int32_t page = -1;
  EXPECT_TRUE(index.NextPage(Session, 100, page));
  EXPECT_EQ(page, 105);
  EXPECT_FALSE(index.NextPage(Session, 110, page));
  EXPECT_FALSE(index.PriorPage(Session, 100, page));
  EXPECT_EQ(ErrorOf([&] { index.NextPage(Session, 103, page); }).code, 20104);
  EXPECT_EQ(ErrorOf([&] { index.PriorPage(Session, 103, page); }).code, 20105);

  // From a page the index does not hold, the nearest one in that direction.
  EXPECT_TRUE(index.PageAfter(Session, 103, page));
  EXPECT_EQ(page, 105);
  EXPECT_TRUE(index.PageBefore(Session, 103, page));
  EXPECT_EQ(page, 100);
  EXPECT_FALSE(index.PageAfter(Session, 110, page));
  EXPECT_FALSE(index.PageBefore(Session, 100, page));
  EXPECT_TRUE(index.FirstPage(Session, page));
  EXPECT_EQ(page, 100);
  EXPECT_TRUE(index.LastPage(Session, page));
  EXPECT_EQ(page, 110);
}

TEST_F(RecordPageIndex, ErrorsWithoutTreeOrPosition) {
  TZDBBTreeRecordPageIndex none(pages);
  TZDBKeyPath path;
  int32_t page = -1;
  const struct {
    const char* what;
    std::function<void()> action;
    int32_t code;
    const char* message;
  } cases[] = {
      {"first", [&] { none.FirstEntry(Session, path); }, 20115, "Index error: invalid page number"},
      {"last", [&] { none.LastEntry(Session, path); }, 20116, "Index error: invalid page number"},
      {"find", [&] { none.Find(Session, 100, path); }, 20117, "Index error: invalid page number"},
      {"empty", [&] { none.EmptyTree(Session); }, 20118, "Index error: invalid page number"},
      {"subtract", [&] { none.SetRowCount(Session, 100, 0); }, 20110, "Invalid page number"},
      {"next", [&] { index.NextEntry(Session, path); }, 20099, "Index error: invalid position"},
      {"prior", [&] { index.PriorEntry(Session, path); }, 20101, "Index error: invalid position"},
      {"page no", [&] { index.GetPageNo(Session, path); }, 20103, "Index error: invalid position"},
      {"get value", [&] { index.GetValue(Session, path); }, 20107, "Index error: invalid position"},
      {"set value", [&] { index.SetValue(Session, path, 1); }, 20108, "Index error: invalid position"},
      {"missing page", [&] { Set(100, 1), index.SetRowCount(Session, 101, 0); }, 20111, "Invalid page number"},
      {"below zero", [&] { index.SubtractAmount(Session, 2, TZDBBTreePageIndex::SubtractFromValue, 100); }, 20112,
       "Index error: page is empty"},
  };
  for (const auto& c : cases) {
    const RaisedError error = ErrorOf(c.action);
    EXPECT_EQ(error.code, c.code) << c.what;
    EXPECT_EQ(error.message, c.message) << c.what;
  }
  // Questions that have an answer without a tree.
  EXPECT_FALSE(none.FindPageWithFreeSlot(Session, page));
  EXPECT_FALSE(none.FirstPage(Session, page));
  EXPECT_EQ(none.RowCount(Session, 100), 0);
  EXPECT_NO_THROW(none.DropTree(Session));
}

// Enough pages for several leaves: only the last and the first leaf are searched for room.
TEST_F(RecordPageIndex, ManyPagesSplitMergeAndLimitTheSearchForRoom) {
  constexpr int32_t PageCount = 1400;
  for (int32_t page = 1; page <= PageCount; ++page) Set(page, MaximoRowsPerPage);
  ExpectSoundTree();
  EXPECT_EQ(Locate(int64_t{MaximoRowsPerPage} * 1000), std::make_pair(1001, 0));
  EXPECT_EQ(index.RowsBefore(Session, 1000, 7), int64_t{MaximoRowsPerPage} * 999 + 7);

  TZDBKeyPath first, last;
  ASSERT_TRUE(index.FirstEntry(Session, first));
  ASSERT_TRUE(index.LastEntry(Session, last));
  ASSERT_GT(first.LevelCount(), 1);
  const int32_t firstLeafEnd = first.Leaf().EntryCount;                 // pages 1 .. firstLeafEnd
  const int32_t lastLeafStart = PageCount - last.Leaf().EntryCount + 1;  // pages lastLeafStart ..
  ASSERT_LT(firstLeafEnd + 1, lastLeafStart);                            // a leaf lies between

  Set(firstLeafEnd + 1, 5);  // room in a middle leaf is not seen
  EXPECT_EQ(PageWithFreeSlot(), -1);
  Set(2, 5);
  EXPECT_EQ(PageWithFreeSlot(), 2);
  Set(lastLeafStart, 5);
  Set(lastLeafStart + 1, 5);
  EXPECT_EQ(PageWithFreeSlot(), lastLeafStart + 1);  // the last leaf first, from its end

  for (int32_t page = 1; page <= PageCount; ++page)
    if (page % 10 != 0) index.SetRowCount(Session, page, 0);
  ExpectSoundTree();
  EXPECT_EQ(index.AllPages(Session).size(), size_t{PageCount / 10});
  for (int32_t page = 10; page <= PageCount; page += 10) index.SetRowCount(Session, page, 0);
  EXPECT_TRUE(index.AllPages(Session).empty());
  ExpectSoundTree();
}

TEST(BlobPageIndex, RoomIsBelowTheDataAreaLessTwoBytes) {
  test::MemoryPageManager pages{1000, 4096};
  TZDBBTreeBlobPageIndex index(pages);
  index.CreateTree(Session);
  EXPECT_EQ(index.GetUsedBytes(Session, 50), -1);
  index.AddBytes(Session, 4050, 50);
  EXPECT_TRUE(index.HasRoom(4050, 3));  // 4053 < 4054
  EXPECT_FALSE(index.HasRoom(4050, 4));
  int32_t page = -1;
  EXPECT_TRUE(index.FindPageWithSpace(Session, 3, page));
  EXPECT_EQ(page, 50);
  EXPECT_FALSE(index.FindPageWithSpace(Session, 4, page));
  EXPECT_EQ(ErrorOf([&] { index.AddBytes(Session, 4, 50); }).code, 20106);
  index.AddBytes(Session, 3, 50);
  EXPECT_EQ(index.GetUsedBytes(Session, 50), 4053);

  EXPECT_EQ(ErrorOf([&] { index.SubtractBytes(Session, 4054, 50); }).code, 20112);
  index.SubtractBytes(Session, 53, 50);
  EXPECT_EQ(index.GetUsedBytes(Session, 50), 4000);
  index.SubtractBytes(Session, 4000, 50);
  EXPECT_EQ(index.GetUsedBytes(Session, 50), -1);
}

}  // namespace
}  // namespace zdb
