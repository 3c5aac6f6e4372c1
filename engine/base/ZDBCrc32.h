// The engine's CRC-32: IEEE 802.3 polynomial, reflected (0xEDB88320), register starting
// at 0 and no final inversion, so "abc" gives 0xCA6598D0. Page data and compressed
// blocks carry it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdb {

// Continues a CRC over more bytes; start with crc = 0.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace zdb
