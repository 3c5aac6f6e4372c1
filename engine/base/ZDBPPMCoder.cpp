#include "engine/base/ZDBPPMCoder.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBPPMModel.h"
#include "engine/base/ZDBRangeCoder.h"

namespace zdb {
namespace {

constexpr size_t MethodOffset = 0;
constexpr size_t LevelOffset = 1;
constexpr size_t SizeOffset = 2;
constexpr size_t CrcOffset = 6;
constexpr size_t HeaderSize = 10;

constexpr uint8_t MethodModelled = 0;
constexpr uint8_t MethodStored = 1;

constexpr std::array<int, PPMMaxLevel + 1> ModelOrders = {0, 2, 3, 4, 5, 7, 8, 10, 13, 16};
constexpr std::array<int, PPMMaxLevel + 1> ModelMemoryMB = {0, 2, 3, 7, 16, 22, 25, 40, 100, 100};

// Level 0 asks for no model memory; its order-0 model still needs a little.
constexpr size_t MinimumModelMemory = size_t{1} << 20;

std::mutex& CoderLock() {
  static std::mutex lock;
  return lock;
}

size_t ModelMemory(int level) {
  return std::max(static_cast<size_t>(ModelMemoryMB[static_cast<size_t>(level)]) << 20, MinimumModelMemory);
}

void PutHeader(std::vector<uint8_t>& out, uint8_t method, int level, size_t size, uint32_t crc) {
  out.assign(HeaderSize, 0);
  le::PutU8(out.data() + MethodOffset, method);
  le::PutU8(out.data() + LevelOffset, static_cast<uint8_t>(level));
  le::PutU32(out.data() + SizeOffset, static_cast<uint32_t>(size));
  le::PutU32(out.data() + CrcOffset, crc);
}

}  // namespace

int PPMModelOrder(int level) {
  return level >= 0 && level <= PPMMaxLevel ? ModelOrders[static_cast<size_t>(level)] : -1;
}

int PPMModelMemoryMB(int level) {
  return level >= 0 && level <= PPMMaxLevel ? ModelMemoryMB[static_cast<size_t>(level)] : -1;
}

bool PPMCompress(int level, const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  if (level < 0 || level > PPMMaxLevel || size == 0 || size > UINT32_MAX) return false;
  const uint32_t crc = Crc32(data, size);
  PutHeader(out, MethodModelled, level, size, crc);
  {
    std::lock_guard guard(CoderLock());
    PPMModel model(PPMModelOrder(level), ModelMemory(level));
    // Output as long as the input is not worth having: store instead.
    RangeEncoder encoder(out, HeaderSize + size);
    for (size_t i = 0; i < size && !encoder.Overflowed(); ++i) model.EncodeSymbol(encoder, data[i]);
    encoder.Finish();
    if (!encoder.Overflowed()) return true;
  }
  PutHeader(out, MethodStored, level, size, crc);
  out.insert(out.end(), data, data + size);
  return true;
}

bool PPMDecompress(const uint8_t* data, size_t size, size_t maxSize, std::vector<uint8_t>& out) {
  out.clear();
  if (size < HeaderSize) return false;
  const uint8_t method = le::GetU8(data + MethodOffset);
  const int level = le::GetU8(data + LevelOffset);
  const size_t outSize = le::GetU32(data + SizeOffset);
  const uint32_t crc = le::GetU32(data + CrcOffset);
  if (level > PPMMaxLevel || outSize == 0 || outSize > maxSize) return false;
  const uint8_t* body = data + HeaderSize;
  const size_t bodySize = size - HeaderSize;

  if (method == MethodStored) {
    if (bodySize != outSize) return false;
    out.assign(body, body + bodySize);
  } else if (method == MethodModelled) {
    // A modelled body is never longer than the bytes it stands for.
    if (bodySize > outSize) return false;
    std::lock_guard guard(CoderLock());
    PPMModel model(PPMModelOrder(level), ModelMemory(level));
    RangeDecoder decoder(body, bodySize);
    if (decoder.Damaged()) return false;
    out.reserve(std::min(outSize, bodySize * 16 + 4096));
    for (size_t i = 0; i < outSize; ++i) {
      uint8_t symbol = 0;
      if (!model.DecodeSymbol(decoder, symbol)) {
        out.clear();
        return false;
      }
      out.push_back(symbol);
    }
    if (!decoder.AtEnd()) {
      out.clear();
      return false;
    }
  } else {
    return false;
  }
  if (Crc32(out.data(), out.size()) != crc) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace zdb
