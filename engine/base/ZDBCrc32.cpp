#include "engine/base/ZDBCrc32.h"

#include <array>

#include "engine/base/ZDBEndian.h"

namespace zdb {
namespace {

constexpr uint32_t ReflectedPolynomial = 0xEDB88320u;
// Bytes taken at once by the sliced loop; each has a table of its own.
constexpr size_t Slices = 8;

using Tables = std::array<std::array<uint32_t, 256>, Slices>;

// Table k gives the CRC of a byte followed by k zero bytes, so eight bytes are folded in
// with eight lookups instead of eight dependent steps.
constexpr Tables MakeTables() {
  Tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ ReflectedPolynomial : c >> 1;
    tables[0][i] = c;
  }
  for (size_t k = 1; k < Slices; ++k)
    for (uint32_t i = 0; i < 256; ++i) tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFFu];
  return tables;
}

constexpr Tables Table = MakeTables();

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (; size >= Slices; size -= Slices, p += Slices) {
    const uint32_t low = le::GetU32(p) ^ crc;
    const uint32_t high = le::GetU32(p + 4);
    crc = Table[7][low & 0xFFu] ^ Table[6][(low >> 8) & 0xFFu] ^ Table[5][(low >> 16) & 0xFFu] ^ Table[4][low >> 24] ^
          Table[3][high & 0xFFu] ^ Table[2][(high >> 8) & 0xFFu] ^ Table[1][(high >> 16) & 0xFFu] ^ Table[0][high >> 24];
  }
  for (; size > 0; --size, ++p) crc = Table[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
  return crc;
}

}  // namespace zdb
