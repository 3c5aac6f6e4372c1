// A table with BLOB fields over pages held in memory, for the large-value tests: its
// record manager and BLOB manager, rows to fill, and the page count to watch.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBNavigationRequest.h"
#include "engine/table/ZDBDiskBlobManager.h"
#include "tests/engine/table/support/RecordTestSupport.h"

namespace zdb::testing {

// Bytes that look like text: a small alphabet in random order, so that every algorithm
// has work to do and still leaves many pages to store.
inline Bytes TextLike(size_t size, uint32_t seed = 1) {
  Bytes bytes(size);
  uint32_t state = seed * 2654435761u + 12345u;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>('a' + ((state >> 24) % 16));
  }
  return bytes;
}

// Bytes no algorithm can shrink.
inline Bytes Noise(size_t size, uint32_t seed = 1) {
  Bytes bytes(size);
  uint32_t state = seed * 2654435761u + 7u;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

// Parameters of a value stored without compression.
inline TZDBBlobParams PlainParams(size_t size) { return TZDBBlobParams::FromStream(0, static_cast<int64_t>(size)); }

class BlobTable {
 public:
  static constexpr int32_t Session = 0;
  static constexpr int32_t KeyField = 0;
  static constexpr int32_t DataField = 1;   // BLOB, the compression given
  static constexpr int32_t NotesField = 2;  // MEMO, no compression
  static constexpr int32_t DataSize = RecordTable::PageSize - 40;

  explicit BlobTable(uint8_t algorithm = CompressionNone, uint8_t level = 0, int32_t blockSize = 102400) {
    TZDBFieldDefs defs;
    defs.Add(Field("id", TZDBLogicalType::Integer));
    auto data = Field("data", TZDBLogicalType::Blob);
    data->SetBlobCompressionAlgorithm(algorithm);
    data->SetBlobCompressionMode(level);
    data->SetBlobBlockSize(blockSize);
    defs.Add(std::move(data));
    defs.Add(Field("notes", TZDBLogicalType::Memo));
    fields.SetFieldDefs(defs);
    records.Init(fields.RecordBufferSize(), fields.StoredRecordSize());
    records.CreatePageIndex(Session);
    blobs.CreateIndex(Session);
    Commit();
  }

  Bytes NewRow(int32_t key) const {
    Bytes row(static_cast<size_t>(fields.RecordBufferSize()));
    fields.InitRecordBuffer(row.data());
    le::PutI32(row.data() + fields.FieldDefs().Items(KeyField).MemoryOffset(), key);
    SetFieldNull(row.data(), KeyField, false);
    return row;
  }
  // The row as a fresh read gives it: same stored bytes, no in-memory values.
  Bytes Reloaded(const Bytes& row) const {
    Bytes stored(static_cast<size_t>(fields.StoredRecordSize()));
    fields.ToStoredRecord(row.data(), stored.data());
    Bytes fresh(row.size());
    fields.ToRecordBuffer(stored.data(), fresh.data());
    return fresh;
  }

  void Set(Bytes& row, int32_t fieldNo, const Bytes& value) {
    blobs.WriteFieldBlob(row.data(), fieldNo, value.data(), value.size(), PlainParams(value.size()));
  }
  TZDBRecordID Insert(Bytes& row) {
    blobs.StoreRowBlobs(Session, row.data());
    TZDBRecordID id;
    EXPECT_TRUE(records.InsertRecord(Session, row.data(), id));
    return id;
  }
  void Update(Bytes& row, const TZDBRecordID& id) {
    blobs.StoreRowBlobs(Session, row.data());
    EXPECT_TRUE(records.UpdateRecord(Session, row.data(), id));
  }
  Bytes ReadRow(const TZDBRecordID& id) {
    Bytes row(static_cast<size_t>(fields.RecordBufferSize()));
    TZDBNavigationRequest request;
    request.GetMode = grmCurrent;
    request.RecordID = id;
    request.RecordBuffer = row.data();
    records.GetRecord(Session, request);
    EXPECT_EQ(request.GetResult, grOK);
    return row;
  }
  // The stored value of the row's field, read through a fresh buffer.
  Bytes Value(const Bytes& row, int32_t fieldNo) {
    Bytes fresh = Reloaded(row);
    Bytes bytes;
    TZDBBlobParams params;
    blobs.ReadFieldBlob(Session, fresh.data(), fieldNo, bytes, params);
    blobs.ReleaseRecordBlobs(fresh.data(), true);
    return bytes;
  }
  TZDBBlobReference Reference(const Bytes& row, int32_t fieldNo) const {
    return TZDBBlobReference::Load(row.data() + fields.FieldDefs().Items(fieldNo).MemoryOffset());
  }
  void SetReference(Bytes& row, int32_t fieldNo, const TZDBBlobReference& reference) const {
    reference.Save(row.data() + fields.FieldDefs().Items(fieldNo).MemoryOffset());
  }
  uint32_t Handle(const Bytes& row, int32_t fieldNo) const {
    return LoadBlobHandle(row.data() + fields.FieldDefs().Items(fieldNo).MemoryOffset());
  }

  size_t PageCount() const { return pages.allocated.size(); }
  void Commit() { pages.ApplyChanges(Session); }
  void Rollback() { pages.CancelChanges(Session); }

  test::MemoryPageManager pages{1000, RecordTable::PageSize};
  TZDBBaseFieldManager fields;
  TestTableOwner owner;
  TZDBDiskRecordManager records{pages, fields, owner};
  TZDBDiskBlobManager blobs{pages, fields, owner};
};

}  // namespace zdb::testing
