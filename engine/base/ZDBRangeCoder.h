// The arithmetic coder under the PPM compressor: a byte-oriented range coder with a
// 32-bit range and carry propagation.
//
// Each symbol is coded as an interval [cumFreq, cumFreq + freq) of a total totFreq, with
// 0 < freq, cumFreq + freq <= totFreq <= MaxTotal. The decoder never reads more bytes
// than the encoder wrote, so running out of input, or an interval outside the total, can
// only mean the input is damaged; both are reported, never guessed around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zdb {

class RangeEncoder {
 public:
  static constexpr uint32_t MaxTotal = 1u << 16;

  // Appends to out; stops appending (and reports Overflowed) once out would pass limit
  // bytes, so a caller can give up on output that has grown too long.
  RangeEncoder(std::vector<uint8_t>& out, size_t limit) : out_(out), limit_(limit) {}

  void Encode(uint32_t cumFreq, uint32_t freq, uint32_t totFreq) {
    range_ /= totFreq;
    low_ += static_cast<uint64_t>(cumFreq) * range_;
    range_ *= freq;
    while (range_ < TopValue) {
      range_ <<= 8;
      ShiftLow();
    }
  }

  // Writes the bytes still held in the coder.
  void Finish() {
    for (int i = 0; i < 5; ++i) ShiftLow();
  }

  bool Overflowed() const { return overflowed_; }

 private:
  static constexpr uint32_t TopValue = 1u << 24;

  void ShiftLow() {
    if (static_cast<uint32_t>(low_) < 0xFF000000u || (low_ >> 32) != 0) {
      const auto carry = static_cast<uint8_t>(low_ >> 32);
      uint8_t pending = cache_;
      do {
        Put(static_cast<uint8_t>(pending + carry));
        pending = 0xFF;
      } while (--cacheSize_ != 0);
      cache_ = static_cast<uint8_t>(low_ >> 24);
    }
    ++cacheSize_;
    low_ = (low_ & 0x00FFFFFFu) << 8;
  }

  void Put(uint8_t byte) {
    if (out_.size() >= limit_) {
      overflowed_ = true;
      return;
    }
    out_.push_back(byte);
  }

  std::vector<uint8_t>& out_;
  size_t limit_;
  bool overflowed_ = false;
  uint64_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
  uint8_t cache_ = 0;
  uint64_t cacheSize_ = 1;
};

class RangeDecoder {
 public:
  RangeDecoder(const uint8_t* data, size_t size) : data_(data), size_(size) {
    // The encoder's first byte is always 0: anything else is not our stream.
    if (Next() != 0) damaged_ = true;
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | Next();
  }

  // The value the next symbol's interval contains; Damaged() afterwards when it lies
  // outside the total.
  uint32_t GetFreq(uint32_t totFreq) {
    range_ /= totFreq;
    const uint32_t value = code_ / range_;
    if (value >= totFreq) {
      damaged_ = true;
      return 0;
    }
    return value;
  }

  void Decode(uint32_t cumFreq, uint32_t freq) {
    code_ -= cumFreq * range_;
    range_ *= freq;
    while (range_ < TopValue) {
      code_ = (code_ << 8) | Next();
      range_ <<= 8;
    }
  }

  bool Damaged() const { return damaged_; }
  // True once every input byte was taken, as at the end of an intact stream.
  bool AtEnd() const { return position_ == size_; }

 private:
  static constexpr uint32_t TopValue = 1u << 24;

  uint32_t Next() {
    if (position_ >= size_) {
      damaged_ = true;
      return 0;
    }
    return data_[position_++];
  }

  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  bool damaged_ = false;
  uint32_t code_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

}  // namespace zdb
