// Buffer compression with the engine's four algorithms, and their codes and levels.
//
// CompressBuffer / DecompressBuffer answer false instead of raising: the caller knows
// which of its own errors a failure is (a damaged table file, a BLOB block ...). Output
// of 0 bytes counts as a failure too. Decompression refuses any input that is not one
// whole, intact stream of the algorithm (trailing bytes included), and never produces
// more than the expected size when the caller knows it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zdb {

constexpr uint8_t CompressionNone = 0;
constexpr uint8_t CompressionZlib = 1;
constexpr uint8_t CompressionBzip = 2;
constexpr uint8_t CompressionPPM = 3;

constexpr uint8_t MaxCompressionLevel = 9;

// "NONE", "ZLIB", "BZIP", "PPM"; an empty text for an unknown code.
const char* CompressionAlgorithmName(uint8_t algorithm);
// The code of a name, letter case ignored; 0 for an unknown name.
uint8_t CompressionAlgorithmByName(std::string_view name);

// Block size of a compressed stream that does not name one: by level 0..9.
int32_t DefaultCompressedBlockSize(uint8_t level);

// Compresses size bytes with the algorithm at a level 0..9. False for algorithm 0, no
// input, an unknown algorithm or level, or a compressor failure.
bool CompressBuffer(uint8_t algorithm, uint8_t level, const void* data, int64_t size, std::vector<uint8_t>& out);
// Decompresses size bytes. expectedSize > 0 is the size the caller stored beside the
// data: a longer result is a failure. With expectedSize <= 0 the result may take any
// size a block can have (up to 2 GiB - 1).
bool DecompressBuffer(uint8_t algorithm, const void* data, int64_t size, int64_t expectedSize,
                      std::vector<uint8_t>& out);

}  // namespace zdb
