// The engine's PPM compressor (compression algorithm 3).
//
// Stream format: a 10-byte header, then the body.
//   0  1  method: 0 = the bytes coded by the PPM model, 1 = the bytes stored as they are
//   1  1  level 0..9, which fixes the model's order and memory
//   2  4  uncompressed size (uint32, > 0)
//   6  4  CRC-32 of the uncompressed bytes (the engine's CRC)
// Data the model cannot shrink is stored, so the output never exceeds the input by more
// than the header. The decoder checks every part of this and fails on anything amiss.
//
// The coder runs one model at a time in the process (a process-wide lock), which also
// bounds the memory the models take to one model's budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zdb {

constexpr int PPMMaxLevel = 9;

// Model order and memory (MB) of a level 0..9.
int PPMModelOrder(int level);
int PPMModelMemoryMB(int level);

// Compresses size > 0 bytes at a level 0..9 into out; false on bad arguments.
bool PPMCompress(int level, const uint8_t* data, size_t size, std::vector<uint8_t>& out);
// Decompresses into out, refusing a result of more than maxSize bytes; false when the
// input is not an intact stream of this format.
bool PPMDecompress(const uint8_t* data, size_t size, size_t maxSize, std::vector<uint8_t>& out);

}  // namespace zdb
