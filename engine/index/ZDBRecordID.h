// The identifier of a stored row: the record page it lives on and its slot there.
//
// Written as 6 bytes wherever it is kept (index entries, record buffers, bookmarks): the
// page number (signed 32-bit) then the slot number (unsigned 16-bit), little-endian.
// Identifiers order by page number (signed), then slot (unsigned).
#pragma once

#include <compare>
#include <cstdint>

namespace zdb {

struct TZDBRecordID {
  static constexpr int32_t ByteSize = 6;
  static constexpr int32_t PageNoOffset = 0;  // int32
  static constexpr int32_t RecordNoOffset = 4;  // uint16

  int32_t PageNo = -1;
  uint16_t RecordNo = 0;

  friend constexpr auto operator<=>(const TZDBRecordID&, const TZDBRecordID&) = default;

  static TZDBRecordID Read(const uint8_t* bytes);
  void Write(uint8_t* bytes) const;
};

// -1, 0, +1. With size 6 the bytes are two record identifiers (page signed, then slot
// unsigned); any other size compares the bytes as unsigned values from the first (the
// 16-bit values of the page-number trees are compared that way).
int CompareRecordIDs(const uint8_t* a, const uint8_t* b, int32_t size);
int CompareRecordIDs(const TZDBRecordID& a, const TZDBRecordID& b);

}  // namespace zdb
