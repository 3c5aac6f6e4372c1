// The stream in which a BLOB value is kept compressed, block by block.
//
// It lies over another stream (normally a temporary stream) from StartPosition on. With
// algorithm 0 the bytes there are the value itself. Otherwise they are blocks: block i
// holds the value's bytes i * BlockSize .. (i + 1) * BlockSize - 1 (the last one fewer),
// as a 20-byte header and the compressed bytes:
//   0  4  compressed size (int32)
//   4  4  uncompressed size (int32)
//   8  4  CRC-32 of the uncompressed bytes (the engine's CRC)
//  12  8  block length = 20 + compressed size (int64)
// The stream's size is the uncompressed size and reads give the uncompressed bytes; each
// read decompresses the blocks it touches and checks their size and CRC. Writes only
// append (a write before the end writes nothing; one past it first fills the gap with
// zeros): a partial last block is rewritten with the new bytes, the rest become new
// blocks. The stream owns everything after StartPosition in the underlying stream.
//
// The 32-byte parameters that describe a stream (TZDBCompressedStreamParams) are given
// when it is opened and read back, with the current BlockCount and UncompressedSize, by
// whoever stores it.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBStream.h"

namespace zdb {

struct TZDBCompressedStreamParams {
  static constexpr size_t StoredSize = 32;
  static constexpr size_t BlockSizeOffset = 0;
  static constexpr size_t BlockCountOffset = 4;
  static constexpr size_t UncompressedSizeOffset = 12;
  static constexpr size_t StartPositionOffset = 20;
  static constexpr size_t AlgorithmOffset = 28;
  static constexpr size_t LevelOffset = 29;
  static constexpr size_t ReservedOffset = 30;

  int32_t BlockSize = 0;  // 0: the level's default
  int64_t BlockCount = 0;
  int64_t UncompressedSize = 0;
  int64_t StartPosition = 0;
  uint8_t Algorithm = 0;
  uint8_t Level = 0;
  uint16_t Reserved = 0;

  static TZDBCompressedStreamParams Load(const uint8_t* bytes);
  void Save(uint8_t* bytes) const;
};

struct TZDBCompressedBlockHeader {
  static constexpr size_t StoredSize = 20;
  static constexpr size_t CompressedSizeOffset = 0;
  static constexpr size_t UncompressedSizeOffset = 4;
  static constexpr size_t Crc32Offset = 8;
  static constexpr size_t BlockLengthOffset = 12;

  int32_t CompressedSize = 0;
  int32_t UncompressedSize = 0;
  uint32_t Crc32 = 0;
  int64_t BlockLength = 0;

  static TZDBCompressedBlockHeader Load(const uint8_t* bytes);
  void Save(uint8_t* bytes) const;
};

class TZDBCompressedBLOBStream : public TZDBStream {
 public:
  // Opens the stream over underlying (which must outlive it). A new stream starts empty;
  // an existing one is found from params. tolerateShortStream accepts an underlying
  // stream that ends early: the stream is what is there.
  TZDBCompressedBLOBStream(TStream& underlying, const TZDBCompressedStreamParams& params, bool tolerateShortStream,
                           bool isNew);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() override { return position_; }
  int64_t Size() override { return size_; }
  void SetSize(int64_t size) override;

  // The parameters as they stand now.
  TZDBCompressedStreamParams Params() const;
  int32_t CompressedBlockSize() const { return blockSize_; }
  int64_t BlockCount() const { return static_cast<int64_t>(blocks_.size()); }
  // Sum of the blocks' compressed sizes.
  int64_t CompressedSize() const;
  // (1 - compressed / uncompressed) x 100; 0 when nothing is compressed.
  double CompressionRate() const;
  TStream& Underlying() { return underlying_; }

 private:
  struct Block {
    int64_t position;  // of its header in the underlying stream
    TZDBCompressedBlockHeader header;
    int64_t End() const { return position + header.BlockLength; }
  };

  bool Compressed() const { return params_.Algorithm != 0; }
  void OpenBlocks(bool tolerateShortStream);
  void OpenPlain(bool tolerateShortStream);

  int64_t ReadBlocks(uint8_t* buffer, int64_t count);
  int64_t ReadPlain(uint8_t* buffer, int64_t count);
  int64_t WritePlain(const uint8_t* buffer, int64_t count);

  std::vector<uint8_t> LoadBlock(size_t index);
  std::vector<uint8_t> CompressBlock(const uint8_t* bytes, size_t count, TZDBCompressedBlockHeader& header) const;
  Block WriteBlock(int64_t position, const uint8_t* bytes, size_t count, const TZDBError& writeError);
  void Append(const uint8_t* bytes, int64_t count);
  void Extend(int64_t newSize);
  void Shrink(int64_t newSize);
  int64_t BlocksEnd() const;
  void CutAfterBlocks();

  TStream& underlying_;
  TZDBCompressedStreamParams params_;
  int32_t blockSize_ = 0;
  std::vector<Block> blocks_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

}  // namespace zdb
