// The 10-byte header that opens the data area of an internal file's first page, shared
// by the transacted and the direct flavour, and the arithmetic of where content bytes
// lie in the chain. A content byte i is in chain page (i + 10) div D at data offset
// (i + 10) mod D, D being the page's data size.
#pragma once

#include <cstdint>

namespace zdb::internalfile {

inline constexpr uint8_t HeaderSize = 10;
inline constexpr int HeaderSizeOffset = 0;   // uint8, always 10
inline constexpr int StoredSizeOffset = 1;   // int32, bytes stored in the chain
inline constexpr int FileSizeOffset = 5;     // int32, content size before compression
inline constexpr int AlgorithmOffset = 9;    // uint8, compression algorithm

// Pages a chain needs to hold storedSize content bytes (at least the header's page).
inline int64_t PagesNeeded(int64_t storedSize, int32_t dataSize) {
  return (storedSize + HeaderSize + dataSize - 1) / dataSize;
}
// Chain index and data offset of content byte i.
inline int64_t ChainIndexOf(int64_t position, int32_t dataSize) { return (position + HeaderSize) / dataSize; }
inline int32_t DataOffsetOf(int64_t position, int32_t dataSize) {
  return static_cast<int32_t>((position + HeaderSize) % dataSize);
}

}  // namespace zdb::internalfile
