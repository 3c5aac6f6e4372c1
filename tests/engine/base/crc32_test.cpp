// The CRC-32 that pages, journals and compressed blocks carry: its values are on disk, so
// the sliced computation must give exactly what one byte at a time gives, for every
// length, alignment and continuation.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/base/ZDBCrc32.h"

namespace zdb {
namespace {

uint32_t BytewiseCrc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

TEST(Crc32, KnownValue) { EXPECT_EQ(Crc32("abc", 3), 0xCA6598D0u); }

TEST(Crc32, EveryLengthAlignmentAndContinuationMatchesTheBytewiseComputation) {
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(4200);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t size : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 4096u, 4192u}) {
      SCOPED_TRACE(testing::Message() << "offset " << offset << ", size " << size);
      const uint8_t* data = bytes.data() + offset;
      EXPECT_EQ(Crc32(data, size), BytewiseCrc32(data, size));
      const size_t half = size / 3;
      EXPECT_EQ(Crc32(data + half, size - half, Crc32(data, half)), BytewiseCrc32(data, size));
    }
  }
}

}  // namespace
}  // namespace zdb
