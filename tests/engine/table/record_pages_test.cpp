// Record pages and the record manager: slot maps, where rows go, physical walks, record
// numbers and the check that a page is one of the table's record pages.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/table/ZDBSmallRecordPage.h"
#include "support/RecordTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = RecordTable::Session;
constexpr int32_t MaximoRowSize = 21;
constexpr int32_t MaximoRowsPerPage = 191;
constexpr int32_t MaximoSlotMapSize = 24;

// --- the page view ----------------------------------------------------------------------------

TEST(SmallRecordPage, RecordsPerPageLeaveRoomForTheSlotMap) {
  const struct {
    int32_t dataSize, rowSize, expected;
  } cases[] = {
      {4056, 21, 191},   // "Maximo": 24 + 191 x 21 = 4035 bytes
      {4056, 17, 236},   // "Control": 30 + 236 x 17 = 4042 bytes
      {4056, 4054, 1},   // 1 + 4054 = 4055
      {4056, 4055, 0},   // no room left for the slot map
      {216, 21, 10},     // 256-byte pages
  };
  for (const auto& c : cases) {
    const int32_t perPage = TZDBSmallRecordPage::ComputeRecordsPerPage(c.dataSize, c.rowSize);
    EXPECT_EQ(perPage, c.expected) << c.dataSize << "/" << c.rowSize;
    EXPECT_LE(TZDBSmallRecordPage::SlotMapSize(perPage) + perPage * c.rowSize, c.dataSize);
  }

  RecordTable table;
  const RaisedError tooLarge = ErrorOf([&] { table.records.Init(4055, 4055); });
  EXPECT_EQ(tooLarge.code, 20174);
  EXPECT_EQ(tooLarge.message,
            "Cannot create table. Record is too large to fit in current database page. Please increase page size of "
            "database file or decrease record size");
}

class RecordPageView : public ::testing::Test {
 protected:
  RecordPageView() : page(TZDBPageRef::Add(pages, Session, TZDBSmallRecordPage::PageType)) {}

  TZDBSmallRecordPage View(int32_t perPage = MaximoRowsPerPage) {
    return TZDBSmallRecordPage(*page, MaximoRowSize, perPage);
  }
  TZDBRecordID Slot(int32_t slot) const { return {page->PageNo(), static_cast<uint16_t>(slot)}; }
  Bytes Row(int value) const { return Repeat(value, MaximoRowSize); }

  test::MemoryPageManager pages{1000, RecordTable::PageSize};
  TZDBPageRef page;
};

TEST_F(RecordPageView, SlotMapBitsAndSlotPlaces) {
  TZDBSmallRecordPage view = View();
  view.Clear();
  for (int i = 0; i < 9; ++i) EXPECT_EQ(view.AddRecord(Row(i + 1).data()), Slot(i));
  const uint8_t* data = page->Data();
  EXPECT_EQ(data[0], 0xFF);
  EXPECT_EQ(data[1], 0x01);  // slot 8: bit 0 of byte 1
  EXPECT_EQ(Bytes(data + MaximoSlotMapSize + 8 * MaximoRowSize, data + MaximoSlotMapSize + 9 * MaximoRowSize),
            Row(9));

  EXPECT_TRUE(view.DeleteRecord(Slot(5)));
  EXPECT_TRUE(view.DeleteRecord(Slot(3)));
  EXPECT_EQ(data[0], 0xD7);
  EXPECT_EQ(view.FindFreeSlot(), 3);
  EXPECT_EQ(view.UsedSlotCount(), 7);

  // A free slot holds no row for any operation, and keeps its old bytes.
  Bytes read(MaximoRowSize);
  EXPECT_FALSE(view.ReadRecord(Slot(5), read.data()));
  EXPECT_FALSE(view.UpdateRecord(Row(50).data(), Slot(5)));
  EXPECT_FALSE(view.DeleteRecord(Slot(5)));
  EXPECT_EQ(Bytes(data + MaximoSlotMapSize + 5 * MaximoRowSize, data + MaximoSlotMapSize + 6 * MaximoRowSize),
            Row(6));

  // Used slots: 0 1 2 4 6 7 8.
  TZDBRecordID id = Slot(4);
  EXPECT_TRUE(view.NextRecord(id));
  EXPECT_EQ(id, Slot(6));
  EXPECT_TRUE(view.PriorRecord(id));
  EXPECT_EQ(id, Slot(4));
  id = Slot(8);
  EXPECT_FALSE(view.NextRecord(id));
  EXPECT_EQ(id, Slot(8));
  EXPECT_EQ(view.FirstRecord(), Slot(0));
  EXPECT_EQ(view.LastRecord(), Slot(8));
  EXPECT_EQ(view.RecordAt(3), Slot(4));
  EXPECT_EQ(view.RecordAt(6), Slot(8));
  EXPECT_EQ(ErrorOf([&] { view.RecordAt(7); }).code, 20146);
  EXPECT_EQ(ErrorOf([&] { view.RecordAt(-1); }).code, 20146);
  EXPECT_EQ(view.UsedSlotsBefore(Slot(6)), 4);
  EXPECT_EQ(view.UsedSlotsBefore(Slot(5)), 4);

  EXPECT_EQ(view.AddRecord(Row(60).data()), Slot(3));  // the lowest free slot
  ASSERT_TRUE(view.ReadRecord(Slot(3), read.data()));
  EXPECT_EQ(read, Row(60));
}

TEST_F(RecordPageView, FullEmptyAndOversizedPages) {
  TZDBSmallRecordPage view = View();
  view.Clear();
  const RaisedError first = ErrorOf([&] { view.FirstRecord(); });
  EXPECT_EQ(first.code, 20143);
  EXPECT_EQ(first.message, "Record not found. PageNo=" + std::to_string(page->PageNo()) + ", PageRecordCount=0");
  EXPECT_EQ(ErrorOf([&] { view.LastRecord(); }).code, 20144);

  for (int i = 0; i < MaximoRowsPerPage; ++i) view.AddRecord(Row(i).data());
  EXPECT_EQ(page->Data()[MaximoSlotMapSize - 1], 0x7F);  // bit 7 of the last byte is no slot
  EXPECT_EQ(view.FindFreeSlot(), TZDBSmallRecordPage::NoSlot);
  const RaisedError full = ErrorOf([&] { view.AddRecord(Row(0).data()); });
  EXPECT_EQ(full.code, 20141);
  EXPECT_EQ(full.message, "Cannot add record to page. Page is full");

  // A stray bit past the last slot is not a row.
  page->Data()[MaximoSlotMapSize - 1] = 0xFF;
  EXPECT_EQ(view.UsedSlotCount(), MaximoRowsPerPage);
  EXPECT_EQ(view.LastRecord(), Slot(MaximoRowsPerPage - 1));

  EXPECT_NO_THROW(View(192));  // 24 + 192 x 21 = 4056 still fits
  const RaisedError oversized = ErrorOf([&] { View(193); });
  EXPECT_EQ(oversized.code, 20140);
  EXPECT_EQ(oversized.message, "Invalid number of records on page");
}

// --- the record manager -----------------------------------------------------------------------

class MaximoRecords : public ::testing::Test, public RecordTable {
 protected:
  enum class From { Row, BeforeFirst, AfterLast };
  struct Read {
    uint8_t result;
    TZDBRecordID id;
    int32_t key;  // of the row read, -1 when none
  };

  Read Get(uint8_t mode, TZDBRecordID from, From where = From::Row) {
    Bytes buffer(static_cast<size_t>(fields.RecordBufferSize()), 0xEE);
    TZDBNavigationRequest request;
    request.GetMode = mode;
    request.RecordID = from;
    request.RecordBuffer = buffer.data();
    request.BeforeFirst = where == From::BeforeFirst;
    request.AfterLast = where == From::AfterLast;
    records.GetRecord(Session, request);
    const bool read = request.GetResult == grOK;
    if (read) {
      EXPECT_FALSE(request.BeforeFirst || request.AfterLast);
      EXPECT_EQ(buffer, Row(KeyOf(buffer, fields)));
    }
    return {request.GetResult, request.RecordID, read ? KeyOf(buffer, fields) : -1};
  }
  // Rows 0 .. count-1, in that order.
  std::vector<TZDBRecordID> InsertRows(int32_t count, int32_t firstKey = 0) {
    std::vector<TZDBRecordID> ids;
    for (int32_t key = firstKey; key < firstKey + count; ++key) ids.push_back(Insert(key));
    return ids;
  }
  // Every row in physical order, by walking forward from before the first.
  std::vector<TZDBRecordID> Walk() {
    std::vector<TZDBRecordID> ids;
    Read read = Get(grmNext, {}, From::BeforeFirst);
    while (read.result == grOK) {
      ids.push_back(read.id);
      read = Get(grmNext, read.id);
    }
    EXPECT_EQ(read.result, grEOF);
    return ids;
  }
  TZDBRecordID Id(int32_t pageNo, int32_t slot) const { return {pageNo, static_cast<uint16_t>(slot)}; }
};

TEST_F(MaximoRecords, The192ndRowStartsASecondPage) {
  const std::vector<TZDBRecordID> ids = InsertRows(MaximoRowsPerPage + 1);
  const int32_t first = ids.front().PageNo;
  for (int32_t i = 0; i < MaximoRowsPerPage; ++i) ASSERT_EQ(ids[static_cast<size_t>(i)], Id(first, i));
  const int32_t second = ids.back().PageNo;
  EXPECT_NE(second, first);
  EXPECT_EQ(ids.back().RecordNo, 0);
  EXPECT_EQ(records.PageIndex().AllPages(Session), (std::vector<int32_t>{first, second}));
  EXPECT_EQ(records.PageIndex().RowCount(Session, first), MaximoRowsPerPage);
  EXPECT_EQ(records.PageIndex().RowCount(Session, second), 1);
  EXPECT_EQ(records.RecordCount(), 192);
  EXPECT_EQ(records.ChangeCount(), 192);

  // The second page as stored: a record page of the table, slot 0 set, the row in place.
  pages.ApplyChanges(Session);
  const Bytes& image = pages.store.at(second);
  EXPECT_EQ(le::GetU16(image.data() + TZDBPage::PageTypeOffset), TZDBSmallRecordPage::PageType);
  EXPECT_EQ(le::GetI32(image.data() + TZDBPage::OwnerObjectIDOffset), owner.ObjectID);
  const uint8_t* data = image.data() + TZDBPage::HeaderSize;
  EXPECT_EQ(Bytes(data, data + MaximoSlotMapSize), Concat({BytesOf({1}), Repeat(0, MaximoSlotMapSize - 1)}));
  EXPECT_EQ(Bytes(data + MaximoSlotMapSize, data + MaximoSlotMapSize + MaximoRowSize), Row(MaximoRowsPerPage));
}

TEST_F(MaximoRecords, DeletingTheOnlyRowOfAPageFreesIt) {
  const std::vector<TZDBRecordID> ids = InsertRows(MaximoRowsPerPage + 1);
  const int32_t first = ids.front().PageNo;
  const int32_t second = ids.back().PageNo;
  ASSERT_TRUE(records.DeleteRecord(Session, ids.back()));
  EXPECT_EQ(pages.RemovedPageNumbers(Session), std::vector<int32_t>{second});
  EXPECT_EQ(records.PageIndex().AllPages(Session), std::vector<int32_t>{first});
  EXPECT_EQ(records.RecordCount(), MaximoRowsPerPage);

  const TZDBRecordID next = Insert(500);  // the first page is full: a fresh page
  EXPECT_NE(next.PageNo, first);
  EXPECT_NE(next.PageNo, second);
  EXPECT_EQ(next.RecordNo, 0);
  pages.ApplyChanges(Session);
  EXPECT_EQ(pages.frees, std::vector<int32_t>{second});
}

TEST_F(MaximoRecords, TheLowestFreeSlotIsReused) {
  const std::vector<TZDBRecordID> ids = InsertRows(MaximoRowsPerPage);
  const int32_t page = ids.front().PageNo;
  ASSERT_TRUE(records.DeleteRecord(Session, Id(page, 7)));
  ASSERT_TRUE(records.DeleteRecord(Session, Id(page, 3)));
  EXPECT_EQ(Insert(1000), Id(page, 3));
  EXPECT_EQ(Insert(1001), Id(page, 7));
  EXPECT_NE(Insert(1002).PageNo, page);
  EXPECT_EQ(Get(grmCurrent, Id(page, 3)).key, 1000);
}

TEST_F(MaximoRecords, AnEmptyTableEndsEveryRead) {
  for (const From where : {From::Row, From::BeforeFirst, From::AfterLast})
    for (const uint8_t mode : {grmCurrent, grmNext, grmPrior}) EXPECT_EQ(Get(mode, {}, where).result, grEOF);
}

TEST_F(MaximoRecords, PhysicalWalksAndTheirEnds) {
  const std::vector<TZDBRecordID> ids = InsertRows(MaximoRowsPerPage + 1);
  const int32_t first = ids.front().PageNo;
  const int32_t second = ids.back().PageNo;
  ASSERT_TRUE(records.DeleteRecord(Session, Id(first, 6)));
  const struct {
    const char* what;
    uint8_t mode;
    From where;
    TZDBRecordID from;
    uint8_t result;
    TZDBRecordID reached;
  } cases[] = {
      {"next from before the first", grmNext, From::BeforeFirst, {}, grOK, Id(first, 0)},
      {"prior from before the first", grmPrior, From::BeforeFirst, {}, grBOF, {}},
      {"current before the first", grmCurrent, From::BeforeFirst, {}, grNotFound, {}},
      {"prior from after the last", grmPrior, From::AfterLast, {}, grOK, Id(second, 0)},
      {"next from after the last", grmNext, From::AfterLast, {}, grEOF, {}},
      {"current after the last", grmCurrent, From::AfterLast, {}, grNotFound, {}},
      {"next from the last row", grmNext, From::Row, Id(second, 0), grEOF, {}},
      {"prior from the first row", grmPrior, From::Row, Id(first, 0), grBOF, {}},
      {"next across pages", grmNext, From::Row, Id(first, 190), grOK, Id(second, 0)},
      {"prior across pages", grmPrior, From::Row, Id(second, 0), grOK, Id(first, 190)},
      {"current", grmCurrent, From::Row, Id(first, 5), grOK, Id(first, 5)},
      {"current on a deleted slot", grmCurrent, From::Row, Id(first, 6), grNotFound, {}},
      {"next from a deleted slot", grmNext, From::Row, Id(first, 6), grOK, Id(first, 7)},
      {"prior from a deleted slot", grmPrior, From::Row, Id(first, 6), grOK, Id(first, 5)},
      {"next over a deleted slot", grmNext, From::Row, Id(first, 5), grOK, Id(first, 7)},
      {"current beyond the slots", grmCurrent, From::Row, Id(first, 191), grNotFound, {}},
  };
  for (const auto& c : cases) {
    const Read read = Get(c.mode, c.from, c.where);
    EXPECT_EQ(read.result, c.result) << c.what;
    if (c.result == grOK) {
      EXPECT_EQ(read.id, c.reached) << c.what;
      const int32_t expectedKey = c.reached.PageNo == first ? c.reached.RecordNo : MaximoRowsPerPage;
      EXPECT_EQ(read.key, expectedKey) << c.what;
    }
  }

  // Without a buffer only the position moves.
  TZDBNavigationRequest request;
  request.GetMode = grmNext;
  request.RecordID = Id(first, 190);
  records.GetRecord(Session, request);
  EXPECT_EQ(request.GetResult, grOK);
  EXPECT_EQ(request.RecordID, Id(second, 0));

  // A deleted slot cannot be changed; nothing is counted.
  const int32_t changes = records.ChangeCount();
  EXPECT_FALSE(records.UpdateRecord(Session, Row(1).data(), Id(first, 6)));
  EXPECT_FALSE(records.DeleteRecord(Session, Id(first, 6)));
  EXPECT_EQ(records.ChangeCount(), changes);
  EXPECT_EQ(records.RecordCount(), MaximoRowsPerPage);

  // An update keeps the row where it is.
  ASSERT_TRUE(records.UpdateRecord(Session, Row(4242).data(), Id(first, 5)));
  EXPECT_EQ(Get(grmCurrent, Id(first, 5)).key, 4242);
  EXPECT_EQ(records.ChangeCount(), changes + 1);
}

TEST_F(MaximoRecords, RecordNumbersAcrossPages) {
  const std::vector<TZDBRecordID> ids = InsertRows(MaximoRowsPerPage + 5);
  const int32_t first = ids.front().PageNo;
  const int32_t second = ids.back().PageNo;
  ASSERT_TRUE(records.DeleteRecord(Session, Id(first, 10)));

  EXPECT_EQ(records.RecNoOfRecordID(Session, Id(first, 0)), 1);
  EXPECT_EQ(records.RecNoOfRecordID(Session, Id(first, 11)), 11);
  EXPECT_EQ(records.RecNoOfRecordID(Session, Id(second, 0)), 191);  // the first page's 190 rows + 1
  EXPECT_EQ(records.RecordIDAtRecNo(Session, 191), Id(second, 0));
  EXPECT_EQ(records.RecordIDAtRecNo(Session, 195), Id(second, 4));
  const RaisedError beyond = ErrorOf([&] { records.RecordIDAtRecNo(Session, 196); });
  EXPECT_EQ(beyond.code, 20113);
  EXPECT_EQ(beyond.message, "Cannot set RecNo greater than RecordCount");
  EXPECT_EQ(ErrorOf([&] { records.RecordIDAtRecNo(Session, 0); }).code, 20146);
  EXPECT_EQ(ErrorOf([&] { records.RecNoOfRecordID(Session, Id(records.SavePageIndexRoot(), 0)); }).code, 20114);

  const std::vector<TZDBRecordID> walk = Walk();
  ASSERT_EQ(walk.size(), size_t{195});
  for (size_t i = 0; i < walk.size(); ++i) {
    ASSERT_EQ(records.RecNoOfRecordID(Session, walk[i]), static_cast<int64_t>(i + 1));
    ASSERT_EQ(records.RecordIDAtRecNo(Session, static_cast<int64_t>(i + 1)), walk[i]);
  }

  // Physical record numbers.
  EXPECT_EQ(records.RecordIDToNumber(Id(second, 4)), int64_t{second} * MaximoRowsPerPage + 4);
  EXPECT_EQ(records.NumberToRecordID(int64_t{second} * MaximoRowsPerPage + 4), Id(second, 4));
  EXPECT_EQ(records.GetMaxRecordNumber(Session), (int64_t{std::max(first, second)} + 1) * MaximoRowsPerPage);
  records.EmptyTable(Session);
  EXPECT_EQ(records.GetMaxRecordNumber(Session), 1);
}

TEST_F(MaximoRecords, PagesThatAreNotTheTablesRecordPagesHoldNoRows) {
  const TZDBRecordID own = Insert(1);
  // A record page of another table with its slot 0 in use.
  int32_t foreign = -1;
  {
    TZDBPageRef page = TZDBPageRef::Add(pages, Session, TZDBSmallRecordPage::PageType);
    page->SetOwnerObjectID(owner.ObjectID + 1);
    TZDBSmallRecordPage(*page, MaximoRowSize, MaximoRowsPerPage).Clear();
    TZDBSmallRecordPage(*page, MaximoRowSize, MaximoRowsPerPage).AddRecord(Row(2).data());
    foreign = page->PageNo();
  }
  pages.ApplyChanges(Session);
  const int32_t indexPage = records.SavePageIndexRoot();

  for (const int32_t pageNo : {foreign, indexPage}) {
    EXPECT_EQ(Get(grmCurrent, Id(pageNo, 0)).result, grNotFound) << pageNo;
    EXPECT_FALSE(records.UpdateRecord(Session, Row(3).data(), Id(pageNo, 0))) << pageNo;
    EXPECT_FALSE(records.DeleteRecord(Session, Id(pageNo, 0))) << pageNo;
  }
  EXPECT_EQ(records.RecordCount(), 1);
  EXPECT_EQ(records.ChangeCount(), 1);

  // While a repair runs every page is taken as it is.
  owner.Trusts = true;
  EXPECT_EQ(Get(grmCurrent, Id(foreign, 0)).key, 2);

  // Rows are never written over another table's page, whatever the index says.
  owner.Trusts = false;
  records.PageIndex().AddRow(Session, foreign);
  const Bytes before = pages.store.at(foreign);
  TZDBRecordID id;
  EXPECT_FALSE(records.InsertRecord(Session, Row(5).data(), id));
  pages.CancelChanges(Session);
  EXPECT_EQ(pages.store.at(foreign), before);
  EXPECT_EQ(records.RecordCount(), 1);
  EXPECT_EQ(Get(grmCurrent, own).key, 1);
}

TEST_F(MaximoRecords, WalksGoOnPastAPageThatLostItsRows) {
  const std::vector<TZDBRecordID> ids = InsertRows(2 * MaximoRowsPerPage + 1);
  const int32_t first = ids.front().PageNo;
  const int32_t middle = ids[MaximoRowsPerPage].PageNo;
  const int32_t last = ids.back().PageNo;
  pages.ApplyChanges(Session);
  for (int32_t slot = 0; slot < MaximoRowsPerPage; ++slot) ASSERT_TRUE(records.DeleteRecord(Session, Id(middle, slot)));

  // Still readable in this session, but gone from the index; then freed for good.
  for (const bool committed : {false, true}) {
    if (committed) {
      pages.ApplyChanges(Session);
      EXPECT_EQ(pages.StoredVersion(middle), TZDBPage::FreedPageVersion);
    }
    const Read next = Get(grmNext, Id(middle, 4));
    EXPECT_EQ(next.result, grOK);
    EXPECT_EQ(next.id, Id(last, 0));
    const Read prior = Get(grmPrior, Id(middle, 4));
    EXPECT_EQ(prior.result, grOK);
    EXPECT_EQ(prior.id, Id(first, MaximoRowsPerPage - 1));
    EXPECT_EQ(Get(grmCurrent, Id(middle, 4)).result, grNotFound);
  }
}

TEST_F(MaximoRecords, EmptyingAndDroppingFreeThePages) {
  const std::vector<TZDBRecordID> ids = InsertRows(MaximoRowsPerPage + 1);
  pages.ApplyChanges(Session);
  const int32_t root = records.SavePageIndexRoot();
  records.EmptyTable(Session);
  EXPECT_EQ(pages.RemovedPageNumbers(Session), (std::vector<int32_t>{ids.front().PageNo, ids.back().PageNo}));
  EXPECT_EQ(records.RecordCount(), 0);
  EXPECT_EQ(records.ChangeCount(), 0);
  EXPECT_EQ(records.SavePageIndexRoot(), root);
  EXPECT_TRUE(records.PageIndex().AllPages(Session).empty());
  EXPECT_EQ(Get(grmNext, {}, From::BeforeFirst).result, grEOF);
  EXPECT_EQ(Insert(7).RecordNo, 0);

  records.DropTableRows(Session);
  EXPECT_EQ(records.SavePageIndexRoot(), TZDBBTreePageIndex::NoRoot);
  pages.ApplyChanges(Session);
  EXPECT_EQ(pages.allocated.count(root), 0u);
}

TEST_F(MaximoRecords, AFailedInsertRaisesNothingAndCountsNothing) {
  pages.refuseNumbers = true;  // no page can be added
  TZDBRecordID id;
  EXPECT_FALSE(records.InsertRecord(Session, Row(1).data(), id));
  EXPECT_EQ(records.RecordCount(), 0);
  EXPECT_EQ(records.ChangeCount(), 0);
  pages.refuseNumbers = false;

  RecordTable withoutIndex;
  withoutIndex.records.DropTableRows(Session);
  EXPECT_FALSE(withoutIndex.records.InsertRecord(Session, Row(1).data(), id));
  EXPECT_EQ(withoutIndex.records.RecordCount(), 0);
}

TEST_F(MaximoRecords, CountersAndRecordIDOrder) {
  InsertRows(10);
  records.LoadCounts({5, -3});
  EXPECT_EQ(records.SaveCounts().ChangeCount, 5);
  EXPECT_EQ(records.SaveCounts().RecordCount, -3);
  records.LoadCounts({9, 10});
  EXPECT_EQ(records.GetApproximateRecNo(Session, {}), 5);

  const struct {
    TZDBRecordID a, b;
    int expected;
  } cases[] = {
      {Id(2, 5), Id(2, 5), 0},     {Id(2, 5), Id(3, 0), -1},     {Id(3, 0), Id(2, 65535), 1},
      {Id(2, 4), Id(2, 5), -1},    {Id(-1, 9), Id(0, 0), -1},    {Id(2, 65535), Id(2, 1), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(records.CompareRecordIDs(c.a, c.b), c.expected);
}

}  // namespace
}  // namespace zdb
