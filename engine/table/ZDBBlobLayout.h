// The stored forms of a large value: its reference in a row, the value header, and the
// locator at the head of a page chain.
//
// Reference (a BLOB field in a row):
//   0  4  PageNo (int32): 0 or -1 = no value stored
//   4  2  BlobID (int16): -1 = a page chain starting at PageNo, otherwise an entry of the
//         shared page PageNo (255 is ambiguous in older files: see the BLOB manager)
//   6  4  handle of the field's in-memory value (record buffer only; 0 = none)
//
// Value header (22 bytes), before each shared entry and at the head of a chain:
//   0  2  BlobID on a shared page; reserved at the head of a chain
//   2  4  StreamParamA
//   6  8  value size in bytes (int64)
//  14  4  StreamParamB
//  18  4  StreamParamC
//
// Chain locator (10 bytes at offset 22 of the head page): where the list of the chain's
// data pages starts (page, offset in its data area) and how many data pages there are.
//   0  4  list page (int32)   4  2  list offset (uint16)   6  4  data page count (int32)
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdb {

// The three parameters of a value's compressed stream, stored beside its bytes: the
// block count (A) and the uncompressed size (B low half, C high half).
struct TZDBBlobParams {
  int32_t StreamParamA = 0;
  int32_t StreamParamB = 0;
  int32_t StreamParamC = 0;

  // B and C read as one signed 64-bit value.
  int64_t Size() const {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(StreamParamC)) << 32) |
                                static_cast<uint32_t>(StreamParamB));
  }
  static TZDBBlobParams FromStream(int64_t blockCount, int64_t uncompressedSize) {
    TZDBBlobParams params;
    params.StreamParamA = static_cast<int32_t>(blockCount);
    params.StreamParamB = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(uncompressedSize)));
    params.StreamParamC = static_cast<int32_t>(static_cast<uint64_t>(uncompressedSize) >> 32);
    return params;
  }
  bool operator==(const TZDBBlobParams&) const = default;
};

struct TZDBBlobReference {
  static constexpr size_t PageNoOffset = 0;
  static constexpr size_t BlobIDOffset = 4;
  static constexpr size_t HandleOffset = 6;
  static constexpr size_t StoredSize = 6;   // in the stored record
  static constexpr size_t MemorySize = 10;  // in the record buffer

  static constexpr int32_t NoPage = -1;
  static constexpr int32_t UnsetPage = 0;  // a fresh row's zero bytes
  static constexpr int16_t ChainID = -1;
  // Written as one byte by older files for a chain; read by the three-way rule.
  static constexpr int16_t AmbiguousID = 255;

  int32_t PageNo = NoPage;
  int16_t BlobID = ChainID;

  bool HasValue() const { return PageNo != NoPage && PageNo != UnsetPage; }
  bool operator==(const TZDBBlobReference&) const = default;

  static TZDBBlobReference Load(const uint8_t* field);
  void Save(uint8_t* field) const;
  static TZDBBlobReference None() { return {}; }
};

// The handle of a record buffer's field (MemorySize form only).
uint32_t LoadBlobHandle(const uint8_t* field);
void SaveBlobHandle(uint8_t* field, uint32_t handle);

struct TZDBBlobValueHeader {
  static constexpr size_t BlobIDOffset = 0;
  static constexpr size_t StreamParamAOffset = 2;
  static constexpr size_t ValueSizeOffset = 6;
  static constexpr size_t StreamParamBOffset = 14;
  static constexpr size_t StreamParamCOffset = 18;
  static constexpr size_t StoredSize = 22;

  int16_t BlobID = 0;
  TZDBBlobParams Params;
  int64_t ValueSize = 0;

  static TZDBBlobValueHeader Load(const uint8_t* bytes);
  // Writes all fields; SaveWithoutID leaves the BlobID bytes as they are (chain heads).
  void Save(uint8_t* bytes) const;
  void SaveWithoutID(uint8_t* bytes) const;
};

struct TZDBBlobChainLocator {
  static constexpr size_t Offset = TZDBBlobValueHeader::StoredSize;  // in the head page's data area
  static constexpr size_t ListPageOffset = 0;
  static constexpr size_t ListOffsetOffset = 4;
  static constexpr size_t PageCountOffset = 6;
  static constexpr size_t StoredSize = 10;

  int32_t ListPage = -1;
  uint16_t ListOffset = 0;
  int32_t PageCount = 0;

  static TZDBBlobChainLocator Load(const uint8_t* bytes);
  void Save(uint8_t* bytes) const;
};

// Where the value bytes start on the head page of a chain.
inline constexpr size_t BlobChainDataOffset = TZDBBlobChainLocator::Offset + TZDBBlobChainLocator::StoredSize;
// One entry of a chain's page list: a page number.
inline constexpr size_t BlobChainListEntrySize = 4;

}  // namespace zdb
