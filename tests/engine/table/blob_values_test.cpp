// In-memory values of BLOB fields and their way into rows: loading, changing, storing,
// releasing, deleting, emptying, and the session's commit and rollback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/BlobTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = BlobTable::Session;
constexpr int32_t Key = BlobTable::KeyField;
constexpr int32_t Data = BlobTable::DataField;
constexpr int32_t Notes = BlobTable::NotesField;

TEST(BlobValues, InMemoryValueLivesUntilReleasedAndAModifiedOneNeedsForce) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  EXPECT_TRUE(IsFieldNull(row.data(), Data));
  table.Set(row, Data, Noise(10));
  EXPECT_FALSE(IsFieldNull(row.data(), Data));
  EXPECT_NE(table.Handle(row, Data), 0u);

  // A copy of the buffer names the same value; once it is released the handle names
  // nothing, not some later value.
  Bytes copy = row;
  table.blobs.ReleaseFieldBlob(row.data(), Data, false);
  EXPECT_EQ(table.blobs.InMemoryValueCount(), 1u);  // modified: kept
  const RaisedError notReleased = ErrorOf([&] { table.blobs.CheckReleased(); });
  EXPECT_EQ(notReleased.code, 20150);
  EXPECT_EQ(notReleased.message, "Blob cache not released");
  table.blobs.ReleaseFieldBlob(row.data(), Data, true);
  EXPECT_EQ(table.Handle(row, Data), 0u);
  table.Set(row, Notes, Noise(5));
  Bytes bytes;
  TZDBBlobParams params;
  const RaisedError stale = ErrorOf([&] { table.blobs.ReadFieldBlob(Session, copy.data(), Data, bytes, params); });
  EXPECT_EQ(stale.code, 20291);
  EXPECT_EQ(stale.message, "Cannot read BLOB field value");

  table.blobs.ReleaseRecordBlobs(row.data(), true);
  EXPECT_NO_THROW(table.blobs.CheckReleased());
}

TEST(BlobValues, ReadingGivesTheValueWithItsParametersAndNothingForNull) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  const Bytes value = Noise(300);
  const TZDBBlobParams params{3, 300, 0};
  table.blobs.WriteFieldBlob(row.data(), Data, value.data(), value.size(), params);
  const TZDBRecordID id = table.Insert(row);

  Bytes fresh = table.ReadRow(id);
  Bytes bytes;
  TZDBBlobParams read;
  table.blobs.ReadFieldBlob(Session, fresh.data(), Data, bytes, read);
  EXPECT_EQ(bytes, value);
  EXPECT_EQ(read, params);
  EXPECT_EQ(table.blobs.InMemoryValueCount(), 1u);  // loaded, not modified

  table.blobs.ReadFieldBlob(Session, fresh.data(), Notes, bytes, read);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(read, TZDBBlobParams());

  // Releasing without force frees a value that was only loaded.
  table.blobs.ReleaseRecordBlobs(fresh.data(), false);
  EXPECT_EQ(table.blobs.InMemoryValueCount(), 0u);
}

TEST(BlobValues, FieldNumbersThatNameNoBlobFieldAreRefused) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  const Bytes value = Noise(3);
  for (int32_t fieldNo : {-1, Key, 3}) {
    const RaisedError error =
        ErrorOf([&] { table.blobs.WriteFieldBlob(row.data(), fieldNo, value.data(), value.size(), PlainParams(3)); });
    EXPECT_EQ(error.code, 30402) << fieldNo;
  }
}

TEST(BlobValues, StoringTouchesOnlyModifiedFieldsAndReleasesThem) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  table.Set(row, Data, Noise(100, 1));
  table.Set(row, Notes, Noise(5000, 2));
  const TZDBRecordID id = table.Insert(row);
  EXPECT_EQ(table.blobs.InMemoryValueCount(), 0u);
  table.Commit();

  // Notes is only read, Data replaced: Notes keeps its reference and its loaded value.
  Bytes edit = table.ReadRow(id);
  const TZDBBlobReference notes = table.Reference(edit, Notes);
  Bytes bytes;
  TZDBBlobParams params;
  table.blobs.ReadFieldBlob(Session, edit.data(), Notes, bytes, params);
  table.Set(edit, Data, Noise(200, 3));
  table.Update(edit, id);
  EXPECT_EQ(table.Reference(edit, Notes), notes);
  EXPECT_EQ(table.blobs.InMemoryValueCount(), 1u);
  table.blobs.ReleaseRecordBlobs(edit.data(), false);
  table.Commit();

  const Bytes stored = table.ReadRow(id);
  EXPECT_EQ(table.Value(stored, Data), Noise(200, 3));
  EXPECT_EQ(table.Value(stored, Notes), Noise(5000, 2));
}

TEST(BlobValues, ChangesStayWithTheSessionUntilCommitAndRollbackRestoresTheOldValue) {
  BlobTable table;
  const Bytes small = Noise(40, 1), large = Noise(20000, 2);
  Bytes row = table.NewRow(1);
  table.Set(row, Data, small);
  const TZDBRecordID id = table.Insert(row);
  table.Commit();
  const size_t committed = table.PageCount();
  const Bytes before = table.ReadRow(id);

  // small -> large, rolled back: the chain's pages go, the shared entry is back.
  Bytes edit = table.ReadRow(id);
  table.Set(edit, Data, large);
  table.Update(edit, id);
  EXPECT_EQ(table.Value(edit, Data), large);
  EXPECT_GT(table.PageCount(), committed);
  table.Rollback();
  EXPECT_EQ(table.PageCount(), committed);
  EXPECT_EQ(table.ReadRow(id), before);
  EXPECT_EQ(table.Value(before, Data), small);
  EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, table.Reference(before, Data).PageNo), 62);

  // The same change committed.
  edit = table.ReadRow(id);
  table.Set(edit, Data, large);
  table.Update(edit, id);
  table.Commit();
  EXPECT_EQ(table.Value(table.ReadRow(id), Data), large);
  EXPECT_EQ(table.blobs.PageIndex().GetUsedBytes(Session, table.Reference(before, Data).PageNo), -1);
}

TEST(BlobValues, ThousandUpdatesBetweenLargeAndSmallReuseTheFreedPages) {
  BlobTable table;
  Bytes row = table.NewRow(1);
  table.Set(row, Data, Noise(10));
  const TZDBRecordID id = table.Insert(row);
  table.Commit();
  const size_t base = table.PageCount();
  const size_t largePages = 3;  // about 12,000 bytes: 3 data pages, the list on the last

  size_t peak = 0;
  for (uint32_t i = 0; i < 1000; ++i) {
    Bytes edit = table.ReadRow(id);
    const bool large = i % 3 != 2;  // large -> large -> small -> ...
    table.Set(edit, Data, Noise(large ? 12000 - 2 - i % 2 : 100 + i % 7, i));
    table.Set(edit, Notes, Noise(i % 2 == 0 ? 50 : 4031, i));
    table.Update(edit, id);
    table.Commit();
    peak = std::max(peak, table.PageCount());
  }
  // After each commit: one chain and a second shared page (a 4,031-byte value fills one)
  // at most, however many values came and went.
  EXPECT_LE(peak, base + largePages + 1);
  const Bytes last = table.ReadRow(id);
  EXPECT_EQ(table.Value(last, Data), Noise(12000 - 2 - 999 % 2, 999));
  EXPECT_EQ(table.Value(last, Notes), Noise(4031, 999));
}

TEST(BlobValues, DeletingRowsAndEmptyingTheTableFreeEveryBlobPage) {
  BlobTable table;
  const size_t empty = table.PageCount();
  std::vector<TZDBRecordID> ids;
  for (int32_t key = 0; key < 30; ++key) {
    Bytes row = table.NewRow(key);
    table.Set(row, Data, Noise(static_cast<size_t>(key) * 700, static_cast<uint32_t>(key)));
    if (key % 3 == 0) table.Set(row, Notes, Noise(90, static_cast<uint32_t>(key)));
    ids.push_back(table.Insert(row));
  }
  table.Commit();

  // A deleted row's values go with it; a NULL field names nothing to free.
  Bytes stored = table.ReadRow(ids[4]);
  table.blobs.DeleteRowBlobs(Session, stored.data());
  ASSERT_TRUE(table.records.DeleteRecord(Session, ids[4]));
  table.Commit();

  const int32_t root = table.blobs.IndexRoot();
  table.blobs.DeleteAllBlobs(Session, table.records);
  table.records.EmptyTable(Session);
  table.Commit();
  EXPECT_EQ(table.PageCount(), empty);  // the two index roots
  EXPECT_EQ(table.blobs.IndexRoot(), root);
  int32_t pageNo = 0;
  EXPECT_FALSE(table.blobs.PageIndex().FindPageWithSpace(Session, 10, pageNo));

  // Dropping takes the index root as well.
  Bytes row = table.NewRow(1);
  table.Set(row, Data, Noise(9000));
  table.Insert(row);
  table.Commit();
  table.blobs.DropBlobs(Session, table.records);
  table.records.DropTableRows(Session);
  table.Commit();
  EXPECT_EQ(table.PageCount(), empty - 2);
  EXPECT_FALSE(table.blobs.PageIndex().HasRoot());
}

}  // namespace
}  // namespace zdb
