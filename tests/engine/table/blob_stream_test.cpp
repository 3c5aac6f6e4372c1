// BLOB streams: a field's value written and read back through its compressed stream,
// with every compression algorithm, and stored by the BLOB manager between the two.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageRef.h"
#include "support/BlobTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = BlobTable::Session;
constexpr int32_t Data = BlobTable::DataField;
constexpr size_t MiB = 1024 * 1024;
// Writes arrive in pieces that do not line up with the blocks, as a dataset's would.
constexpr size_t WritePiece = 70000;

void WriteValue(BlobTable& table, Bytes& row, const Bytes& value) {
  std::unique_ptr<TZDBBlobStream> stream = table.blobs.OpenBlobStream(Session, row.data(), Data, true);
  for (size_t done = 0; done < value.size(); done += WritePiece) {
    const size_t n = std::min(WritePiece, value.size() - done);
    ASSERT_EQ(stream->Write(value.data() + done, static_cast<int64_t>(n)), static_cast<int64_t>(n));
  }
  table.blobs.SetFieldBlobFromStream(row.data(), Data, stream.get());
}

Bytes ReadValue(BlobTable& table, const Bytes& row) {
  Bytes fresh = table.Reloaded(row);
  std::unique_ptr<TZDBBlobStream> stream = table.blobs.OpenBlobStream(Session, fresh.data(), Data, false);
  Bytes value(static_cast<size_t>(stream->Size()));
  if (!value.empty()) {
    EXPECT_EQ(stream->Read(value.data(), stream->Size()), stream->Size());
  }
  table.blobs.ReleaseRecordBlobs(fresh.data(), true);
  return value;
}

TEST(BlobStream, ValuesComeBackByteForByteWithEveryAlgorithm) {
  // The largest value of each: 10 MiB, except for the engine's own PPM coder, which
  // is slow in the sanitizer build; 256 KiB still make three blocks and a long chain.
  const struct {
    uint8_t algorithm, level;
    size_t largest;
  } algorithms[] = {{CompressionNone, 0, 10 * MiB},
                    {CompressionZlib, 6, 10 * MiB},
                    {CompressionBzip, 1, 10 * MiB},
                    {CompressionPPM, 1, 256 * 1024}};
  for (const auto& a : algorithms) {
    for (size_t size : {size_t{1}, size_t{4031}, size_t{4032}, size_t{12000}, a.largest}) {
      SCOPED_TRACE(std::string(CompressionAlgorithmName(a.algorithm)) + " " + std::to_string(size));
      BlobTable table(a.algorithm, a.level);
      const size_t empty = table.PageCount();
      const Bytes value = TextLike(size, static_cast<uint32_t>(size));
      Bytes row = table.NewRow(1);
      WriteValue(table, row, value);
      const TZDBRecordID id = table.Insert(row);
      table.Commit();
      EXPECT_EQ(ReadValue(table, table.ReadRow(id)), value);
      if (a.algorithm == CompressionNone) {  // the stored bytes are the value itself
        EXPECT_EQ(table.Reference(row, Data).BlobID == TZDBBlobReference::ChainID, size >= 4032);
      }

      Bytes stored = table.ReadRow(id);
      table.blobs.DeleteRowBlobs(Session, stored.data());
      ASSERT_TRUE(table.records.DeleteRecord(Session, id));
      table.Commit();
      EXPECT_EQ(table.PageCount(), empty);
      EXPECT_EQ(table.blobs.InMemoryValueCount(), 0u);
    }
  }
}

TEST(BlobStream, StoredValuesKeepTheStreamParameters) {
  BlobTable table(CompressionZlib, 1, 1000);
  const Bytes value = TextLike(2500);
  Bytes row = table.NewRow(1);
  WriteValue(table, row, value);
  table.Insert(row);

  Bytes fresh = table.Reloaded(row);
  Bytes bytes;
  TZDBBlobParams params;
  table.blobs.ReadFieldBlob(Session, fresh.data(), Data, bytes, params);
  EXPECT_EQ(params, (TZDBBlobParams{3, 2500, 0}));  // three blocks of at most 1,000 bytes
  EXPECT_LT(bytes.size(), value.size());
  table.blobs.ReleaseRecordBlobs(fresh.data(), true);
}

TEST(BlobStream, OnlyAChangedStreamReplacesTheValue) {
  BlobTable table(CompressionZlib, 6, 4096);
  const Bytes value = TextLike(10000, 1), more = TextLike(3000, 2);
  Bytes row = table.NewRow(1);
  WriteValue(table, row, value);
  const TZDBRecordID id = table.Insert(row);
  table.Commit();
  const TZDBBlobReference stored = table.Reference(row, Data);

  // Read only: handed back, nothing changes.
  Bytes edit = table.ReadRow(id);
  auto reader = table.blobs.OpenBlobStream(Session, edit.data(), Data, false);
  Bytes head(100);
  reader->Read(head.data(), 100);
  table.blobs.SetFieldBlobFromStream(edit.data(), Data, reader.get());
  table.Update(edit, id);
  EXPECT_EQ(table.Reference(edit, Data), stored);

  // Appended to: the value grows.
  auto writer = table.blobs.OpenBlobStream(Session, edit.data(), Data, false);
  writer->Seek(0, SeekOrigin::End);
  writer->Write(more.data(), static_cast<int64_t>(more.size()));
  table.blobs.SetFieldBlobFromStream(edit.data(), Data, writer.get());
  table.blobs.ReleaseRecordBlobs(edit.data(), false);  // the change survives
  table.Update(edit, id);
  table.Commit();
  EXPECT_EQ(ReadValue(table, table.ReadRow(id)), Concat({value, more}));

  // Opened to be rewritten and handed back empty: the field becomes NULL, the value goes.
  const size_t withValue = table.PageCount();
  edit = table.ReadRow(id);
  auto rewriter = table.blobs.OpenBlobStream(Session, edit.data(), Data, true);
  table.blobs.SetFieldBlobFromStream(edit.data(), Data, rewriter.get());
  EXPECT_TRUE(IsFieldNull(edit.data(), Data));
  table.Update(edit, id);
  table.Commit();
  EXPECT_EQ(table.Reference(table.ReadRow(id), Data), TZDBBlobReference::None());
  EXPECT_LT(table.PageCount(), withValue);
  EXPECT_TRUE(ReadValue(table, table.ReadRow(id)).empty());
}

TEST(BlobStream, OpeningFailuresReleaseTheInMemoryValue) {
  // No block size.
  BlobTable noBlocks(CompressionZlib, 6, 0);
  Bytes row = noBlocks.NewRow(1);
  const RaisedError zeroBlock = ErrorOf([&] { noBlocks.blobs.OpenBlobStream(Session, row.data(), Data, true); });
  EXPECT_EQ(zeroBlock.code, 20149);
  EXPECT_EQ(zeroBlock.message, "Stream block size = 0 is not allowed");

  // A stored size whose high half is negative.
  BlobTable table;
  row = table.NewRow(1);
  table.Set(row, Data, Noise(50));
  table.Insert(row);
  {
    TZDBPageRef page(table.pages, Session, table.Reference(row, Data).PageNo, false, TZDBBlobPages::PageType);
    le::PutI32(page->Data() + 2 + TZDBBlobValueHeader::StreamParamCOffset, -1);
    page->MarkDirty();
  }
  Bytes fresh = table.Reloaded(row);
  const RaisedError negative = ErrorOf([&] { table.blobs.OpenBlobStream(Session, fresh.data(), Data, false); });
  EXPECT_EQ(negative.code, 20248);
  EXPECT_EQ(negative.message, "Invalid blob field size");
  EXPECT_EQ(table.blobs.InMemoryValueCount(), 0u);
  EXPECT_EQ(table.Handle(fresh, Data), 0u);

  const RaisedError noStream = ErrorOf([&] { table.blobs.SetFieldBlobFromStream(fresh.data(), Data, nullptr); });
  EXPECT_EQ(noStream.code, 20161);
  EXPECT_EQ(noStream.message, "Pointer is nil");
}

}  // namespace
}  // namespace zdb
