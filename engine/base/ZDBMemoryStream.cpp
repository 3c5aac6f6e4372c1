#include "engine/base/ZDBMemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zdb {

TZDBMemoryStream::TZDBMemoryStream(int64_t capacity)
    : buffer_(static_cast<size_t>(std::max<int64_t>(capacity, 0))) {}

TZDBMemoryStream::TZDBMemoryStream(std::vector<uint8_t> block)
    : buffer_(std::move(block)), size_(static_cast<int64_t>(buffer_.size())) {}

int64_t TZDBMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
  if (n == 0) return 0;
  std::memcpy(buffer, buffer_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TZDBMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || count > std::numeric_limits<int64_t>::max() - position_) return 0;
  const int64_t end = position_ + count;
  if (end > size_) SetSize(end);
  std::memcpy(buffer_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TZDBMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base;
  switch (origin) {
    case SeekOrigin::Beginning: base = 0; break;
    case SeekOrigin::Current: base = position_; break;
    case SeekOrigin::End: base = size_; break;
    default: return position_;
  }
  // base and the clamp bounds are within 0 .. size, so clamping the offset first keeps
  // the sum from overflowing.
  position_ = base + std::clamp<int64_t>(offset, -base, size_ - base);
  return position_;
}

void TZDBMemoryStream::SetSize(int64_t size) {
  if (size < 0) return;
  if (size == 0) {
    std::vector<uint8_t>().swap(buffer_);
  } else {
    const int64_t oldCapacity = Capacity();
    if (size > oldCapacity) {
      const int64_t doubled = size <= std::numeric_limits<int64_t>::max() / 2 ? size * 2 : size;
      buffer_.resize(static_cast<size_t>(oldCapacity == 0 ? size : doubled));
    }
    // Bytes between the old end and the new one read as zeros, whatever the buffer held
    // there before (a shrink keeps the capacity and its old bytes).
    const int64_t staleEnd = std::min(size, oldCapacity);
    if (staleEnd > size_) std::memset(buffer_.data() + size_, 0, static_cast<size_t>(staleEnd - size_));
  }
  size_ = size;
  position_ = std::min(position_, size_);
}

}  // namespace zdb
