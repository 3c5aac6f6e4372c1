// Where large values go: shared pages for small ones, page chains for the rest, the
// chain's locator and page list, the BLOB-page index, and references as rows keep them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/table/ZDBBlobChain.h"
#include "engine/table/ZDBSmallBlobPage.h"
#include "support/BlobTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = BlobTable::Session;
constexpr int32_t Data = BlobTable::DataField;
constexpr int32_t Notes = BlobTable::NotesField;
constexpr size_t D = BlobTable::DataSize;  // 4056 with 4096-byte pages

TEST(BlobStorage, SizesChooseASharedEntryOrAChainAndFreeingGivesEveryPageBack) {
  const struct {
    size_t size;
    bool shared;
    size_t pages;  // pages the value takes
    const char* what;
  } cases[] = {
      {1, true, 1, "one byte"},
      {4031, true, 1, "the largest shared value"},
      {4032, false, 2, "one byte more: a chain, its list after the last byte"},
      {2 * D - 32, false, 3, "exactly fills two pages: the list on a page of its own"},
      {2 * D - 34, false, 3, "2 bytes left on the last page: the list on a page of its own"},
      {2 * D - 36, false, 3, "room for one list entry: the second continues on a further page"},
      {5 * D, false, 6, "several pages"},
      {1100 * D - 32, false, 1102, "a list of 1,100 entries over two list pages"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BlobTable table;
    const size_t before = table.PageCount();
    const Bytes value = Noise(c.size, static_cast<uint32_t>(c.size));
    Bytes row = table.NewRow(1);
    table.Set(row, Data, value);
    const TZDBRecordID id = table.Insert(row);
    table.Commit();

    const TZDBBlobReference reference = table.Reference(row, Data);
    EXPECT_EQ(reference.BlobID == TZDBBlobReference::ChainID, !c.shared);
    EXPECT_EQ(table.PageCount() - before, c.pages + 1);  // + the record page
    EXPECT_EQ(table.Value(table.ReadRow(id), Data), value);
    EXPECT_EQ(table.blobs.InMemoryValueCount(), 0u);

    Bytes stored = table.ReadRow(id);
    table.blobs.DeleteRowBlobs(Session, stored.data());
    EXPECT_EQ(table.Reference(stored, Data), TZDBBlobReference::None());
    ASSERT_TRUE(table.records.DeleteRecord(Session, id));
    table.Commit();
    EXPECT_EQ(table.PageCount(), before);
    EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, reference.PageNo), -1);
  }
}

TEST(BlobStorage, EmptyValueStoresNothingAndLeavesTheFieldNull) {
  BlobTable table;
  const size_t before = table.PageCount();
  Bytes row = table.NewRow(1);
  table.Set(row, Data, Noise(10));
  table.Set(row, Data, {});
  EXPECT_TRUE(IsFieldNull(row.data(), Data));
  table.Insert(row);
  EXPECT_EQ(table.Reference(row, Data), TZDBBlobReference::None());
  EXPECT_EQ(table.PageCount(), before + 1);  // the record page only
}

TEST(BlobStorage, ChainHeadLocatorAndPageList) {
  const struct {
    size_t size;
    uint16_t listOffset;
    bool listOnOwnPage;
    bool listContinues;
  } cases[] = {
      {4032, 8, false, false},          // 32 + 4032 = 4064: 8 bytes on the second page
      {2 * D - 32, 0, true, false},     // the last page is full
      {2 * D - 36, 4052, false, true},  // one entry fits, the other goes on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    BlobTable table;
    const Bytes value = Noise(c.size);
    Bytes row = table.NewRow(1);
    table.blobs.WriteFieldBlob(row.data(), Data, value.data(), value.size(), {7, static_cast<int32_t>(c.size), 0});
    table.Insert(row);
    const int32_t head = table.Reference(row, Data).PageNo;

    TZDBPageRef headPage(table.pages, Session, head, false, TZDBBlobPages::PageType);
    const auto header = TZDBBlobValueHeader::Load(headPage->Data());
    EXPECT_EQ(header.ValueSize, static_cast<int64_t>(c.size));
    EXPECT_EQ(header.Params, (TZDBBlobParams{7, static_cast<int32_t>(c.size), 0}));
    EXPECT_EQ(Bytes(headPage->Data() + 32, headPage->Data() + 40), Bytes(value.begin(), value.begin() + 8));
    const auto locator = TZDBBlobChainLocator::Load(headPage->Data() + 22);
    EXPECT_EQ(locator.PageCount, 2);
    EXPECT_EQ(locator.ListOffset, c.listOffset);

    const TZDBBlobChain::Layout layout = TZDBBlobChain(TZDBBlobPages(table.pages, table.owner)).Inspect(Session, head);
    ASSERT_EQ(layout.DataPages.size(), 2u);
    EXPECT_EQ(layout.DataPages[0], head);
    EXPECT_EQ(locator.ListPage, c.listOnOwnPage ? layout.ListPages[0] : layout.DataPages[1]);
    EXPECT_EQ(layout.ListPages.size(), c.listContinues ? 2u : 1u);

    TZDBPageRef listPage(table.pages, Session, locator.ListPage, false, TZDBBlobPages::PageType);
    EXPECT_EQ(le::GetI32(listPage->Data() + c.listOffset), head);
    if (c.listContinues) {
      EXPECT_EQ(listPage->NextPageNo(), layout.ListPages[1]);
      TZDBPageRef next(table.pages, Session, layout.ListPages[1], false, TZDBBlobPages::PageType);
      EXPECT_EQ(le::GetI32(next->Data()), layout.DataPages[1]);
    } else {
      EXPECT_EQ(le::GetI32(listPage->Data() + c.listOffset + 4), layout.DataPages[1]);
      EXPECT_EQ(listPage->NextPageNo(), -1);
    }
  }
}

TEST(BlobStorage, SmallValuesShareAPageAndFreeingOneMovesTheOthersDown) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  const Bytes first = Noise(100, 1), second = Noise(50, 2);
  table.Set(row, Data, first);
  table.Set(row, Notes, second);
  const TZDBRecordID id = table.Insert(row);
  table.Commit();

  const TZDBBlobReference a = table.Reference(row, Data), b = table.Reference(row, Notes);
  EXPECT_EQ(a.PageNo, b.PageNo);
  EXPECT_EQ(a.BlobID, 0);
  EXPECT_EQ(b.BlobID, 1);
  EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, a.PageNo), 122 + 72);

  // The first value goes: the second moves down to offset 2 and keeps its ID.
  Bytes edit = table.ReadRow(id);
  table.Set(edit, Data, {});
  table.Update(edit, id);
  {
    TZDBPageRef page(table.pages, Session, a.PageNo, false, TZDBBlobPages::PageType);
    EXPECT_EQ(le::GetU16(page->Data()), 1);
    EXPECT_EQ(TZDBBlobValueHeader::Load(page->Data() + 2).BlobID, 1);
    EXPECT_EQ(Bytes(page->Data() + 24, page->Data() + 74), second);
  }
  EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, a.PageNo), 72);
  EXPECT_EQ(table.Value(edit, Notes), second);

  // The last one goes: the page is freed and leaves the index.
  table.Set(edit, Notes, {});
  table.Update(edit, id);
  table.Commit();
  EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, a.PageNo), -1);
  EXPECT_EQ(table.pages.allocated.count(a.PageNo), 0u);
}

TEST(BlobStorage, NewEntriesFillTheIndexedPageUntilItIsFull) {
  BlobTable table;
  // 4053 bytes per page at most: 22 + 1000 four times = 4088 does not fit, three do.
  std::vector<TZDBBlobReference> references;
  for (int i = 0; i < 4; ++i) {
    Bytes row = table.NewRow(i);
    table.Set(row, Data, Noise(1000, static_cast<uint32_t>(i)));
    table.Insert(row);
    references.push_back(table.Reference(row, Data));
  }
  EXPECT_EQ(references[1].PageNo, references[0].PageNo);
  EXPECT_EQ(references[2].PageNo, references[0].PageNo);
  EXPECT_NE(references[3].PageNo, references[0].PageNo);
  EXPECT_EQ(references[3].BlobID, 0);
  EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, references[0].PageNo), 3 * 1022);
}

TEST(BlobStorage, IndexThatPromisesRoomOnAFullPageIsReported) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  table.Set(row, Data, Noise(4000));
  table.Insert(row);
  const int32_t pageNo = table.Reference(row, Data).PageNo;
  table.blobs.PageIndex().SubtractAmount(Session, 0, 10, pageNo);  // damage: 10 bytes used

  Bytes other = table.NewRow(2);
  table.Set(other, Data, Noise(100));
  const RaisedError error = ErrorOf([&] { table.blobs.StoreRowBlobs(Session, other.data()); });
  EXPECT_EQ(error.code, 20290);
  EXPECT_EQ(error.message,
            "Cannot add blob. Page is full: BlobCount=1, BlobOffset=4024, BlobSize=122, PageDataSize=4056, "
            "SizeInBlobPageIndex=10");
}

TEST(BlobStorage, BlobIDsStartAtTheEntryCountAndNeverTake255) {
  test::MemoryPageManager pages{10, 16384};
  TZDBPageRef page = TZDBPageRef::Add(pages, Session, TZDBBlobPages::PageType);
  TZDBSmallBlobPage view(*page);
  view.Clear();
  TZDBBlobValueHeader header;
  for (int i = 0; i < 255; ++i) ASSERT_EQ(view.Add(header, nullptr), i);
  // 255 would read like an old file's chain reference.
  EXPECT_EQ(view.Add(header, nullptr), 256);

  TZDBSmallBlobPage::Entry entry;
  ASSERT_TRUE(view.Find(3, entry));
  view.Remove(entry);
  ASSERT_TRUE(view.Find(0, entry));
  view.Remove(entry);
  // 254 entries left: the count and 256 are taken, 255 is passed over; the free 0 and 3
  // lie below the count and are not looked at.
  EXPECT_EQ(view.NewBlobID(), 257);
}

TEST(BlobStorage, ReferencesWithBlobID255AreReadAsChainOrSharedEntryByTheHeadTest) {
  BlobTable table;
  const Bytes big = Noise(9000, 1), small = Noise(30, 2);
  Bytes row = table.NewRow(1);
  table.Set(row, Data, big);
  table.Set(row, Notes, small);
  table.Insert(row);
  table.Commit();

  // An older file's chain reference: BlobID 255 instead of -1.
  Bytes chainRow = row;
  table.SetReference(chainRow, Data, {table.Reference(row, Data).PageNo, 255});
  table.SetReference(chainRow, Notes, TZDBBlobReference::None());
  EXPECT_EQ(table.Value(chainRow, Data), big);

  // A shared entry that happens to have the ID 255.
  const int32_t shared = table.Reference(row, Notes).PageNo;
  {
    TZDBPageRef page(table.pages, Session, shared, false, TZDBBlobPages::PageType);
    le::PutI16(page->Data() + 2, 255);
    page->MarkDirty();
  }
  Bytes entryRow = row;
  table.SetReference(entryRow, Notes, {shared, 255});
  table.SetReference(entryRow, Data, TZDBBlobReference::None());
  EXPECT_EQ(table.Value(entryRow, Notes), small);

  // Both are freed as what they are.
  table.blobs.DeleteRowBlobs(Session, chainRow.data());
  table.blobs.DeleteRowBlobs(Session, entryRow.data());
  table.Commit();
  EXPECT_EQ(table.pages.allocated.count(shared), 0u);
  EXPECT_EQ(table.pages.allocated.count(table.Reference(row, Data).PageNo), 0u);
}

}  // namespace
}  // namespace zdb
