#include "engine/base/ZDBCompression.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <limits>
#include <new>

#define ZLIB_CONST
#include <bzlib.h>
#include <zlib.h>

#include "engine/base/ZDBPPMCoder.h"

namespace zdb {
namespace {

struct AlgorithmName {
  uint8_t code;
  const char* name;
};
constexpr std::array<AlgorithmName, 4> AlgorithmNames = {{
    {CompressionNone, "NONE"},
    {CompressionZlib, "ZLIB"},
    {CompressionBzip, "BZIP"},
    {CompressionPPM, "PPM"},
}};

// Buffers grow in steps of this many bytes, and start at a multiple of it.
constexpr size_t BufferGranule = 256;
// zlib's first output buffer is the expected size when it is at most this.
constexpr int64_t SmallExpectedSize = 10000;
// The largest result of any one buffer: sizes beside compressed data are 32-bit.
constexpr size_t MaxResultSize = static_cast<size_t>(std::numeric_limits<int32_t>::max());
// A first output buffer is never larger than this; it grows as output actually comes, so
// a damaged size field costs no more memory than the data behind it.
constexpr size_t MaxInitialBuffer = size_t{16} << 20;

size_t RoundUp(size_t n) { return (n + BufferGranule - 1) / BufferGranule * BufferGranule; }

// The output buffer of a compressor: n + n div 10 + 12, rounded up.
size_t CompressBufferSize(size_t n) { return RoundUp(n + n / 10 + 12); }

// The next size of a decompression buffer that has filled up, or 0 when it may not grow.
size_t GrownSize(size_t current, size_t limit) {
  if (current >= limit) return 0;
  return std::min(limit, current + std::max(current, BufferGranule));
}

bool ZlibCompress(int level, const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  z_stream stream{};
  if (deflateInit(&stream, level) != Z_OK) return false;
  out.resize(CompressBufferSize(size));
  stream.next_in = data;
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  int result;
  while ((result = deflate(&stream, Z_FINISH)) != Z_STREAM_END) {
    if ((result != Z_OK && result != Z_BUF_ERROR) || stream.avail_out != 0) break;
    const size_t used = stream.total_out;
    out.resize(out.size() + BufferGranule);
    stream.next_out = out.data() + used;
    stream.avail_out = static_cast<uInt>(out.size() - used);
  }
  out.resize(result == Z_STREAM_END ? stream.total_out : 0);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

bool ZlibDecompress(const uint8_t* data, size_t size, size_t limit, size_t initial, std::vector<uint8_t>& out) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  out.resize(std::min(initial, limit));
  stream.next_in = data;
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  bool ok = false;
  for (;;) {
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ok = stream.avail_in == 0;  // bytes after the stream are damage too
      break;
    }
    if (result != Z_OK && result != Z_BUF_ERROR) break;
    if (stream.avail_out != 0) {
      if (result == Z_BUF_ERROR) break;  // input ended inside the stream
      continue;
    }
    const size_t used = stream.total_out;
    const size_t grown = GrownSize(out.size(), limit);
    if (grown == 0) break;
    out.resize(grown);
    stream.next_out = out.data() + used;
    stream.avail_out = static_cast<uInt>(out.size() - used);
  }
  out.resize(ok ? stream.total_out : 0);
  inflateEnd(&stream);
  return ok;
}

size_t BzipTotalOut(const bz_stream& stream) {
  return static_cast<size_t>((static_cast<uint64_t>(stream.total_out_hi32) << 32) | stream.total_out_lo32);
}

// bzip2 takes no const input, though it only reads it.
char* BzipInput(const uint8_t* data) { return const_cast<char*>(reinterpret_cast<const char*>(data)); }

bool BzipCompress(int level, const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  bz_stream stream{};
  // Block size is 100 k x level; level 0 has no block size of its own and gets the smallest.
  if (BZ2_bzCompressInit(&stream, std::max(level, 1), 0, 0) != BZ_OK) return false;
  out.resize(CompressBufferSize(size));
  stream.next_in = BzipInput(data);
  stream.avail_in = static_cast<unsigned>(size);
  stream.next_out = reinterpret_cast<char*>(out.data());
  stream.avail_out = static_cast<unsigned>(out.size());
  int result;
  while ((result = BZ2_bzCompress(&stream, BZ_FINISH)) != BZ_STREAM_END) {
    if (result != BZ_FINISH_OK || stream.avail_out != 0) break;
    const size_t used = BzipTotalOut(stream);
    out.resize(out.size() + BufferGranule);
    stream.next_out = reinterpret_cast<char*>(out.data() + used);
    stream.avail_out = static_cast<unsigned>(out.size() - used);
  }
  out.resize(result == BZ_STREAM_END ? BzipTotalOut(stream) : 0);
  BZ2_bzCompressEnd(&stream);
  return result == BZ_STREAM_END;
}

bool BzipDecompress(const uint8_t* data, size_t size, size_t limit, size_t initial, std::vector<uint8_t>& out) {
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return false;
  out.resize(std::min(initial, limit));
  stream.next_in = BzipInput(data);
  stream.avail_in = static_cast<unsigned>(size);
  stream.next_out = reinterpret_cast<char*>(out.data());
  stream.avail_out = static_cast<unsigned>(out.size());
  bool ok = false;
  for (;;) {
    const int result = BZ2_bzDecompress(&stream);
    if (result == BZ_STREAM_END) {
      ok = stream.avail_in == 0;
      break;
    }
    if (result != BZ_OK) break;
    if (stream.avail_out != 0) {
      if (stream.avail_in == 0) break;  // input ended inside the stream
      continue;
    }
    const size_t used = BzipTotalOut(stream);
    const size_t grown = GrownSize(out.size(), limit);
    if (grown == 0) break;
    out.resize(grown);
    stream.next_out = reinterpret_cast<char*>(out.data() + used);
    stream.avail_out = static_cast<unsigned>(out.size() - used);
  }
  out.resize(ok ? BzipTotalOut(stream) : 0);
  BZ2_bzDecompressEnd(&stream);
  return ok;
}

}  // namespace

const char* CompressionAlgorithmName(uint8_t algorithm) {
  for (const auto& entry : AlgorithmNames)
    if (entry.code == algorithm) return entry.name;
  return "";
}

uint8_t CompressionAlgorithmByName(std::string_view name) {
  for (const auto& entry : AlgorithmNames) {
    const std::string_view candidate(entry.name);
    if (std::ranges::equal(name, candidate, [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        }))
      return entry.code;
  }
  return CompressionNone;
}

int32_t DefaultCompressedBlockSize(uint8_t level) {
  if (level == 0) return 102400;
  if (level <= 3) return 524288;
  if (level <= 6) return 1048576;
  return 1572864;
}

bool CompressBuffer(uint8_t algorithm, uint8_t level, const void* data, int64_t size, std::vector<uint8_t>& out) {
  out.clear();
  if (size <= 0 || data == nullptr || static_cast<uint64_t>(size) > MaxResultSize || level > MaxCompressionLevel)
    return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  const auto n = static_cast<size_t>(size);
  bool ok = false;
  try {
    switch (algorithm) {
      case CompressionZlib: ok = ZlibCompress(level, bytes, n, out); break;
      case CompressionBzip: ok = BzipCompress(level, bytes, n, out); break;
      case CompressionPPM: ok = PPMCompress(level, bytes, n, out); break;
      default: break;
    }
  } catch (const std::bad_alloc&) {
    ok = false;  // out of memory is one more way for the compressor to fail
  }
  if (!ok || out.empty()) {
    out.clear();
    return false;
  }
  return true;
}

bool DecompressBuffer(uint8_t algorithm, const void* data, int64_t size, int64_t expectedSize,
                      std::vector<uint8_t>& out) {
  out.clear();
  if (size <= 0 || data == nullptr || static_cast<uint64_t>(size) > MaxResultSize) return false;
  const auto* bytes = static_cast<const uint8_t*>(data);
  const auto n = static_cast<size_t>(size);
  const size_t limit = expectedSize > 0 ? std::min(static_cast<size_t>(expectedSize), MaxResultSize) : MaxResultSize;
  bool ok = false;
  try {
    switch (algorithm) {
      case CompressionZlib: {
        const size_t initial = expectedSize >= 1 && expectedSize <= SmallExpectedSize
                                   ? static_cast<size_t>(expectedSize)
                                   : std::min(RoundUp(n), MaxInitialBuffer);
        ok = ZlibDecompress(bytes, n, limit, initial, out);
        break;
      }
      case CompressionBzip: {
        const size_t initial =
            expectedSize > 0 ? std::min(limit, MaxInitialBuffer) : std::min(RoundUp(n), MaxInitialBuffer);
        ok = BzipDecompress(bytes, n, limit, initial, out);
        break;
      }
      case CompressionPPM: ok = PPMDecompress(bytes, n, limit, out); break;
      default: break;
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok || out.empty()) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace zdb
