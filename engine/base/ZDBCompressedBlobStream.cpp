#include "engine/base/ZDBCompressedBlobStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr int64_t HeaderSize = static_cast<int64_t>(TZDBCompressedBlockHeader::StoredSize);

}  // namespace

TZDBCompressedStreamParams TZDBCompressedStreamParams::Load(const uint8_t* bytes) {
  TZDBCompressedStreamParams params;
  params.BlockSize = le::GetI32(bytes + BlockSizeOffset);
  params.BlockCount = le::GetI64(bytes + BlockCountOffset);
  params.UncompressedSize = le::GetI64(bytes + UncompressedSizeOffset);
  params.StartPosition = le::GetI64(bytes + StartPositionOffset);
  params.Algorithm = le::GetU8(bytes + AlgorithmOffset);
  params.Level = le::GetU8(bytes + LevelOffset);
  params.Reserved = le::GetU16(bytes + ReservedOffset);
  return params;
}

void TZDBCompressedStreamParams::Save(uint8_t* bytes) const {
  le::PutI32(bytes + BlockSizeOffset, BlockSize);
  le::PutI64(bytes + BlockCountOffset, BlockCount);
  le::PutI64(bytes + UncompressedSizeOffset, UncompressedSize);
  le::PutI64(bytes + StartPositionOffset, StartPosition);
  le::PutU8(bytes + AlgorithmOffset, Algorithm);
  le::PutU8(bytes + LevelOffset, Level);
  le::PutU16(bytes + ReservedOffset, Reserved);
}

TZDBCompressedBlockHeader TZDBCompressedBlockHeader::Load(const uint8_t* bytes) {
  TZDBCompressedBlockHeader header;
  header.CompressedSize = le::GetI32(bytes + CompressedSizeOffset);
  header.UncompressedSize = le::GetI32(bytes + UncompressedSizeOffset);
  header.Crc32 = le::GetU32(bytes + Crc32Offset);
  header.BlockLength = le::GetI64(bytes + BlockLengthOffset);
  return header;
}

void TZDBCompressedBlockHeader::Save(uint8_t* bytes) const {
  le::PutI32(bytes + CompressedSizeOffset, CompressedSize);
  le::PutI32(bytes + UncompressedSizeOffset, UncompressedSize);
  le::PutU32(bytes + Crc32Offset, Crc32);
  le::PutI64(bytes + BlockLengthOffset, BlockLength);
}

TZDBCompressedBLOBStream::TZDBCompressedBLOBStream(TStream& underlying, const TZDBCompressedStreamParams& params,
                                                   bool tolerateShortStream, bool isNew)
    : underlying_(underlying), params_(params), blockSize_(params.BlockSize) {
  // No stream starts before the underlying one: this raises for a negative start.
  if (params_.StartPosition < 0) SetStreamPosition(underlying_, params_.StartPosition, errors::OpenPosition);
  if (Compressed()) {
    if (params.BlockSize < 0)
      RaiseError(errors::InvalidBlockSize, {params.BlockSize, DefaultCompressedBlockSize(params.Level)});
    if (blockSize_ == 0) blockSize_ = DefaultCompressedBlockSize(params.Level);
    // Copies through SaveToStream / LoadFromStream then go one block at a time.
    SetBlockSize(blockSize_);
    SetStreamPosition(underlying_, params_.StartPosition, errors::OpenPosition);
  }
  if (isNew) {
    // A new value owns an empty tail: nothing of an older one may linger after it.
    if (underlying_.Size() > params_.StartPosition) underlying_.SetSize(params_.StartPosition);
  } else if (Compressed()) {
    OpenBlocks(tolerateShortStream);
  } else {
    OpenPlain(tolerateShortStream);
  }
}

void TZDBCompressedBLOBStream::OpenBlocks(bool tolerateShortStream) {
  int64_t position = params_.StartPosition;
  for (int64_t i = 0; i < params_.BlockCount; ++i) {
    const int64_t available = underlying_.Size() - position;
    if (available < HeaderSize) {
      if (tolerateShortStream) break;
      RaiseError(errors::BlocksTooSmall, {underlying_.Size(), position + HeaderSize});
    }
    SetStreamPosition(underlying_, position, errors::CompressedBlobHeaderChainPosition);
    uint8_t raw[TZDBCompressedBlockHeader::StoredSize];
    ReadStreamExact(underlying_, raw, HeaderSize, errors::BlockRead);
    const auto header = TZDBCompressedBlockHeader::Load(raw);
    // A header that does not describe a block of this stream is damage: reading on from
    // it would only mislead.
    if (header.CompressedSize <= 0 || header.BlockLength != HeaderSize + header.CompressedSize)
      RaiseError(errors::InvalidBlockSize, {header.BlockLength, HeaderSize + std::max(header.CompressedSize, 0)});
    if (header.UncompressedSize <= 0 || header.UncompressedSize > blockSize_)
      RaiseError(errors::InvalidBlockSize, {header.UncompressedSize, blockSize_});
    if (!blocks_.empty() && blocks_.back().header.UncompressedSize != blockSize_)
      RaiseError(errors::InvalidBlockSize, {blocks_.back().header.UncompressedSize, blockSize_});
    if (header.BlockLength > available) {
      if (tolerateShortStream) break;
      RaiseError(errors::BlocksTooSmall, {underlying_.Size(), position + header.BlockLength});
    }
    blocks_.push_back({position, header});
    size_ += header.UncompressedSize;
    position += header.BlockLength;
  }
}

void TZDBCompressedBLOBStream::OpenPlain(bool tolerateShortStream) {
  if (params_.UncompressedSize < 0) RaiseError(errors::InvalidBlockSize, {params_.UncompressedSize, 0});
  const int64_t available = std::max<int64_t>(underlying_.Size() - params_.StartPosition, 0);
  if (available < params_.UncompressedSize && !tolerateShortStream)
    RaiseError(errors::PlainTooSmall, {underlying_.Size(), params_.StartPosition + params_.UncompressedSize});
  size_ = std::min(available, params_.UncompressedSize);
}

TZDBCompressedStreamParams TZDBCompressedBLOBStream::Params() const {
  TZDBCompressedStreamParams params = params_;
  params.BlockSize = blockSize_;
  params.BlockCount = BlockCount();
  params.UncompressedSize = size_;
  return params;
}

int64_t TZDBCompressedBLOBStream::CompressedSize() const {
  int64_t total = 0;
  for (const auto& block : blocks_) total += block.header.CompressedSize;
  return total;
}

double TZDBCompressedBLOBStream::CompressionRate() const {
  if (!Compressed() || size_ == 0) return 0.0;
  return (1.0 - static_cast<double>(CompressedSize()) / static_cast<double>(size_)) * 100.0;
}

int64_t TZDBCompressedBLOBStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base;
  switch (origin) {
    case SeekOrigin::Beginning: base = 0; break;
    case SeekOrigin::Current: base = position_; break;
    case SeekOrigin::End: base = size_; break;
    default: return position_;
  }
  if (offset < -base || offset > std::numeric_limits<int64_t>::max() - params_.StartPosition - base)
    return position_;
  position_ = base + offset;
  if (!Compressed()) underlying_.Seek(params_.StartPosition + position_, SeekOrigin::Beginning);
  return position_;
}

int64_t TZDBCompressedBLOBStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  return Compressed() ? ReadBlocks(bytes, count) : ReadPlain(bytes, count);
}

int64_t TZDBCompressedBLOBStream::ReadBlocks(uint8_t* buffer, int64_t count) {
  int64_t copied = 0;
  while (copied < count && position_ < size_) {
    const auto data = LoadBlock(static_cast<size_t>(position_ / blockSize_));
    const int64_t offset = position_ % blockSize_;
    const int64_t n = std::min(static_cast<int64_t>(data.size()) - offset, count - copied);
    std::memcpy(buffer + copied, data.data() + offset, static_cast<size_t>(n));
    copied += n;
    position_ += n;
  }
  if (copied == 0) RaiseError(errors::NothingToRead, {count});
  return copied;
}

int64_t TZDBCompressedBLOBStream::ReadPlain(uint8_t* buffer, int64_t count) {
  const int64_t n = std::min(count, size_ - position_);
  const int64_t target = params_.StartPosition + position_;
  if (n <= 0 || underlying_.Seek(target, SeekOrigin::Beginning) != target) return 0;
  const int64_t bytesRead = std::max<int64_t>(underlying_.Read(buffer, n), 0);
  position_ += bytesRead;
  return bytesRead;
}

int64_t TZDBCompressedBLOBStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (!Compressed()) return WritePlain(bytes, count);
  if (position_ < size_) return 0;  // blocks are only ever appended
  if (position_ > size_) Extend(position_);
  Append(bytes, count);
  position_ = size_;
  return count;
}

int64_t TZDBCompressedBLOBStream::WritePlain(const uint8_t* buffer, int64_t count) {
  const int64_t target = params_.StartPosition + position_;
  // A memory stream cannot be positioned past its end: fill the gap first.
  if (underlying_.Size() < target) underlying_.SetSize(target);
  if (underlying_.Seek(target, SeekOrigin::Beginning) != target) return 0;
  const int64_t written = std::max<int64_t>(underlying_.Write(buffer, count), 0);
  position_ += written;
  size_ = std::max(size_, position_);
  return written;
}

void TZDBCompressedBLOBStream::SetSize(int64_t size) {
  if (size < 0 || size == size_) return;
  if (!Compressed()) {
    const int64_t end = params_.StartPosition + size;
    underlying_.SetSize(end);
    if (underlying_.Size() != end) RaiseError(errors::InvalidCutSize, {underlying_.Size(), end});
    size_ = size;
  } else if (size > size_) {
    Extend(size);
  } else {
    Shrink(size);
  }
  position_ = std::min(position_, size_);
}

std::vector<uint8_t> TZDBCompressedBLOBStream::LoadBlock(size_t index) {
  const Block& block = blocks_[index];
  const TZDBCompressedBlockHeader& header = block.header;
  SetStreamPosition(underlying_, block.position + HeaderSize, errors::ReadBlockPosition);
  std::vector<uint8_t> compressed(static_cast<size_t>(header.CompressedSize));
  ReadStreamExact(underlying_, compressed.data(), header.CompressedSize, errors::BlockRead);
  std::vector<uint8_t> data;
  if (!DecompressBuffer(params_.Algorithm, compressed.data(), header.CompressedSize, header.UncompressedSize, data))
    RaiseError(errors::DecompressFailed, {params_.Algorithm, header.CompressedSize, header.UncompressedSize});
  if (data.size() != static_cast<size_t>(header.UncompressedSize))
    RaiseError(errors::UncompressedSizeMismatch, {data.size(), header.UncompressedSize});
  const uint32_t crc = Crc32(data.data(), data.size());
  if (crc != header.Crc32) RaiseError(errors::ChecksumMismatch, {crc, header.Crc32});
  return data;
}

std::vector<uint8_t> TZDBCompressedBLOBStream::CompressBlock(const uint8_t* bytes, size_t count,
                                                             TZDBCompressedBlockHeader& header) const {
  std::vector<uint8_t> compressed;
  const bool ok = CompressBuffer(params_.Algorithm, params_.Level, bytes, static_cast<int64_t>(count), compressed);
  if (!ok || compressed.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() - HeaderSize))
    RaiseError(errors::CompressFailed, {params_.Algorithm, params_.Level, count, compressed.size()});
  header.CompressedSize = static_cast<int32_t>(compressed.size());
  header.UncompressedSize = static_cast<int32_t>(count);
  header.Crc32 = Crc32(bytes, count);
  header.BlockLength = HeaderSize + header.CompressedSize;
  return compressed;
}

TZDBCompressedBLOBStream::Block TZDBCompressedBLOBStream::WriteBlock(int64_t position, const uint8_t* bytes,
                                                                     size_t count, const TZDBError& writeError) {
  TZDBCompressedBlockHeader header;
  const auto compressed = CompressBlock(bytes, count, header);
  // Header and data go down in one write.
  std::vector<uint8_t> image(static_cast<size_t>(HeaderSize) + compressed.size());
  header.Save(image.data());
  std::copy(compressed.begin(), compressed.end(), image.begin() + HeaderSize);
  SetStreamPosition(underlying_, position, errors::CompressedBlobWriteBlockPosition);
  WriteStreamExact(underlying_, image.data(), static_cast<int64_t>(image.size()), writeError);
  return {position, header};
}

void TZDBCompressedBLOBStream::Append(const uint8_t* bytes, int64_t count) {
  int64_t done = 0;
  if (!blocks_.empty() && blocks_.back().header.UncompressedSize < blockSize_) {
    auto data = LoadBlock(blocks_.size() - 1);
    const int64_t take = std::min<int64_t>(blockSize_ - static_cast<int64_t>(data.size()), count);
    data.insert(data.end(), bytes, bytes + take);
    blocks_.back() = WriteBlock(blocks_.back().position, data.data(), data.size(), errors::RewriteLastBlock);
    size_ += take;
    done = take;
  }
  while (done < count) {
    const int64_t take = std::min<int64_t>(blockSize_, count - done);
    blocks_.push_back(WriteBlock(BlocksEnd(), bytes + done, static_cast<size_t>(take), errors::AppendBlock));
    size_ += take;
    done += take;
  }
  // A rewritten last block may have come out shorter than it was.
  CutAfterBlocks();
}

void TZDBCompressedBLOBStream::Extend(int64_t newSize) {
  const int64_t extension = newSize - size_;
  if (extension <= 0) RaiseError(errors::InvalidExtension, {newSize, size_, extension});
  const std::vector<uint8_t> zeros(static_cast<size_t>(std::min<int64_t>(blockSize_, extension)), 0);
  while (size_ < newSize) Append(zeros.data(), std::min<int64_t>(blockSize_, newSize - size_));
}

void TZDBCompressedBLOBStream::Shrink(int64_t newSize) {
  const auto keep = static_cast<size_t>(newSize / blockSize_);
  const int64_t rest = newSize % blockSize_;
  // The shortened block is made before anything is cut, so a failure leaves the stream whole.
  TZDBCompressedBlockHeader header;
  std::vector<uint8_t> compressed;
  if (rest > 0) {
    const auto data = LoadBlock(keep);
    compressed = CompressBlock(data.data(), static_cast<size_t>(rest), header);
  }
  const int64_t cutAt = blocks_[keep].position;
  underlying_.SetSize(cutAt);
  if (underlying_.Size() != cutAt) RaiseError(errors::InvalidCutSize, {underlying_.Size(), cutAt});
  blocks_.resize(keep);
  size_ = static_cast<int64_t>(keep) * blockSize_;
  if (rest > 0) {
    SetStreamPosition(underlying_, cutAt, errors::CompressedBlobShrinkPosition);
    uint8_t raw[TZDBCompressedBlockHeader::StoredSize];
    header.Save(raw);
    if (underlying_.Write(raw, HeaderSize) != HeaderSize) RaiseError(errors::ShrinkHeaderWrite);
    WriteStreamExact(underlying_, compressed.data(), static_cast<int64_t>(compressed.size()), errors::ShrinkData);
    blocks_.push_back({cutAt, header});
    size_ = newSize;
  }
}

int64_t TZDBCompressedBLOBStream::BlocksEnd() const {
  return blocks_.empty() ? params_.StartPosition : blocks_.back().End();
}

void TZDBCompressedBLOBStream::CutAfterBlocks() {
  const int64_t end = BlocksEnd();
  if (underlying_.Size() > end) underlying_.SetSize(end);
}

}  // namespace zdb
