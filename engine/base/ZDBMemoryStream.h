// A stream over a memory buffer.
//
// The buffer grows the way a stream that is written piece by piece wants: the first
// allocation takes exactly the size asked for, and once the size outgrows the capacity
// the capacity becomes twice the new size. A size of 0 frees the buffer. The position
// never passes the end: seeks are clamped to 0 .. size.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/ZDBStream.h"

namespace zdb {

class TZDBMemoryStream : public TZDBStream {
 public:
  TZDBMemoryStream() = default;
  // An empty stream whose buffer already holds capacity bytes.
  explicit TZDBMemoryStream(int64_t capacity);
  // A stream over an existing block: size = capacity = the block's size.
  explicit TZDBMemoryStream(std::vector<uint8_t> block);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() override { return position_; }
  int64_t Size() override { return size_; }
  void SetSize(int64_t size) override;

  int64_t Capacity() const { return static_cast<int64_t>(buffer_.size()); }
  // The first Size() bytes are the content.
  uint8_t* Memory() { return buffer_.data(); }
  const uint8_t* Memory() const { return buffer_.data(); }

 private:
  std::vector<uint8_t> buffer_;  // its size() is the capacity
  int64_t size_ = 0;
  int64_t position_ = 0;
};

}  // namespace zdb
