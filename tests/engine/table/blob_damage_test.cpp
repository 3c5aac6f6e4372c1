// Damaged large values: every kind of damage to a chain or a shared page is an engine
// error when the value is read or freed, and freeing gives back no page of it.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/table/ZDBBlobChain.h"
#include "support/BlobTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = BlobTable::Session;
constexpr int32_t Data = BlobTable::DataField;
constexpr int32_t Notes = BlobTable::NotesField;
constexpr int32_t D = BlobTable::DataSize;

struct DamagedTable;

// What a case damages: a page of the table, its data area, and the table.
struct Site {
  TZDBPage& page;
  uint8_t* data;
  const DamagedTable& table;
};
using Change = std::function<void(Site& site)>;

// One row with two chains: Data of 3 pages with its list after the last byte, Notes of 2
// pages whose list starts on the last data page and goes on over a further page. A
// second row with a shared entry in Notes.
struct DamagedTable {
  DamagedTable() {
    Bytes row = table.NewRow(1);
    table.Set(row, Data, Noise(12000, 1));
    table.Set(row, Notes, Noise(2 * D - 36, 2));
    chainRow = table.Insert(row);
    Bytes small = table.NewRow(2);
    table.Set(small, Notes, Noise(40, 3));
    sharedRow = table.Insert(small);
    table.Commit();
    const TZDBBlobPages blobPages(table.pages, table.owner);
    chain = TZDBBlobChain(blobPages).Inspect(Session, table.Reference(row, Data).PageNo);
    split = TZDBBlobChain(blobPages).Inspect(Session, table.Reference(row, Notes).PageNo);
    sharedPage = table.Reference(small, Notes).PageNo;
  }

  // Changes a committed page the way a damaged file would hold it.
  void Damage(int32_t pageNo, const Change& change) {
    TZDBPageRef page(table.pages, Session, pageNo, false, AnyPageType);
    Site site{*page, page->Data(), *this};
    change(site);
    page->MarkDirty();
    page.Release();
    table.Commit();
  }

  BlobTable table;
  TZDBRecordID chainRow, sharedRow;
  TZDBBlobChain::Layout chain, split;
  int32_t sharedPage = 0;
};

TEST(DamagedBlobs, AreEngineErrorsWhenReadAndFreeNothing) {
  constexpr size_t Locator = TZDBBlobChainLocator::Offset;
  constexpr int32_t ListOffset = 32 + 12000 - 2 * D;  // where Data's list starts on its last page
  // Which page of the table a case damages.
  enum Target { DataHead, DataSecond, DataSecondFreed, DataLast, NotesFirstListPage, SharedPage };
  const struct {
    const char* what;
    Target target;
    Change change;
    int32_t code;
  } cases[] = {
      {"negative size", DataHead, [](Site& s) { le::PutI64(s.data + 6, -1); }, 20291},
      {"huge size", DataHead, [](Site& s) { le::PutI64(s.data + 6, int64_t{1} << 62); }, 20291},
      {"no pages", DataHead, [](Site& s) { le::PutI32(s.data + Locator + 6, 0); }, 20291},
      {"one page too many", DataHead, [](Site& s) { le::PutI32(s.data + Locator + 6, 4); }, 20291},
      {"list offset off", DataHead, [](Site& s) { le::PutU16(s.data + Locator + 4, 8); }, 20291},
      {"list page beyond the file", DataHead, [](Site& s) { le::PutI32(s.data + Locator, 99999); }, 20299},
      {"data page that is a record page", DataLast,
       [](Site& s) { le::PutI32(s.data + ListOffset + 4, s.table.chainRow.PageNo); }, 20153},
      {"a page listed twice", DataLast,
       [](Site& s) { le::PutI32(s.data + ListOffset + 8, le::GetI32(s.data + ListOffset + 4)); }, 20291},
      {"list not starting at the head", DataLast,
       [](Site& s) {
         const int32_t first = le::GetI32(s.data + ListOffset);
         le::PutI32(s.data + ListOffset, le::GetI32(s.data + ListOffset + 4));
         le::PutI32(s.data + ListOffset + 4, first);
       },
       20291},
      {"page of another table", DataSecond, [](Site& s) { s.page.SetOwnerObjectID(78); }, 20291},
      {"freed page", DataSecondFreed, nullptr, 20291},  // freed through the page manager
      {"list running in a circle", NotesFirstListPage, [](Site& s) { s.page.SetNextPageNo(s.page.PageNo()); }, 20291},
      {"list cut short", NotesFirstListPage, [](Site& s) { s.page.SetNextPageNo(-1); }, 20291},
      {"entry count beyond the entries", SharedPage, [](Site& s) { le::PutU16(s.data, 0xFFFF); }, 20291},
      {"entry overrunning the page", SharedPage, [](Site& s) { le::PutI64(s.data + 2 + 6, D); }, 20291},
      {"entry missing", SharedPage, [](Site& s) { le::PutI16(s.data + 2, 7); }, 20171},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DamagedTable t;
    const int32_t pageNo = c.target == DataHead             ? t.chain.DataPages[0]
                           : c.target == DataSecond         ? t.chain.DataPages[1]
                           : c.target == DataSecondFreed    ? t.chain.DataPages[1]
                           : c.target == DataLast           ? t.chain.DataPages[2]
                           : c.target == NotesFirstListPage ? t.split.ListPages[0]
                                                            : t.sharedPage;
    if (c.change) {
      t.Damage(pageNo, c.change);
    } else {
      t.table.pages.RemovePage(Session, pageNo);
      t.table.Commit();
    }
    const bool shared = c.target == SharedPage;
    const int32_t field = shared || c.target == NotesFirstListPage ? Notes : Data;

    Bytes row = t.table.ReadRow(shared ? t.sharedRow : t.chainRow);
    Bytes bytes;
    TZDBBlobParams params;
    EXPECT_EQ(ErrorOf([&] { t.table.blobs.ReadFieldBlob(Session, row.data(), field, bytes, params); }).code, c.code);
    EXPECT_EQ(t.table.blobs.InMemoryValueCount(), 0u);

    // Nothing is freed: a damaged chain could name pages that are not its own.
    if (!shared) t.table.SetReference(row, field == Data ? Notes : Data, TZDBBlobReference::None());
    EXPECT_EQ(ErrorOf([&] { t.table.blobs.DeleteRowBlobs(Session, row.data()); }).code, c.code);
    EXPECT_TRUE(t.table.pages.RemovedPageNumbers(Session).empty());
  }
}

TEST(DamagedBlobs, ReferenceToAPageThatHoldsNoValue) {
  DamagedTable t;
  Bytes row = t.table.ReadRow(t.chainRow);
  Bytes bytes;
  TZDBBlobParams params;
  const struct {
    TZDBBlobReference reference;
    int32_t code;
  } cases[] = {
      {{t.table.blobs.IndexRoot(), TZDBBlobReference::ChainID}, 20153},  // an index page
      {{t.chainRow.PageNo, 0}, 20153},                                   // a record page
      {{99999, 0}, 20299},                                               // beyond the file
      {{-7, 0}, 20291},
  };
  for (const auto& c : cases) {
    t.table.SetReference(row, Data, c.reference);
    EXPECT_EQ(ErrorOf([&] { t.table.blobs.ReadFieldBlob(Session, row.data(), Data, bytes, params); }).code, c.code)
        << c.reference.PageNo;
  }
}

}  // namespace
}  // namespace zdb
