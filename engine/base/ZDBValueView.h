// A read-only look at the bytes of one value, bounded when its size is known.
//
// Size -1 means the value sits in row form: text runs to its terminating zero and a
// fixed-width value has its full width. A known size bounds every read, so bytes that
// are shorter than their type says read as if zero-extended instead of overrunning.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBExtended.h"

namespace zdb {

class TZDBValueView {
 public:
  static constexpr int32_t UnknownSize = -1;

  TZDBValueView(const void* data, int32_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  const uint8_t* Data() const { return data_; }
  int32_t Size() const { return size_; }

  // Windows-1252 text up to its terminating zero or the end of the bytes.
  std::string_view AnsiText() const {
    const char* text = reinterpret_cast<const char*>(data_);
    if (size_ == UnknownSize) return std::string_view(text);
    return std::string_view(text, strnlen(text, static_cast<size_t>(size_)));
  }
  // UTF-16 text up to its terminating zero unit or the end of the bytes (copied: the
  // bytes need not be aligned for char16_t).
  std::u16string WideText() const;

  // The first `width` bytes, zero-extended when the value is shorter.
  template <size_t Width>
  std::array<uint8_t, Width> Fixed() const {
    std::array<uint8_t, Width> bytes{};
    const size_t available = size_ == UnknownSize ? Width : std::min(Width, static_cast<size_t>(std::max(size_, 0)));
    if (available > 0) std::memcpy(bytes.data(), data_, available);
    return bytes;
  }

  int8_t ShortInt() const { return static_cast<int8_t>(Fixed<1>()[0]); }
  int16_t SmallInt() const { return le::GetI16(Fixed<2>().data()); }
  int32_t Integer() const { return le::GetI32(Fixed<4>().data()); }
  int64_t LargeInt() const { return le::GetI64(Fixed<8>().data()); }
  uint8_t Byte() const { return Fixed<1>()[0]; }
  uint16_t Word() const { return le::GetU16(Fixed<2>().data()); }
  uint32_t Cardinal() const { return le::GetU32(Fixed<4>().data()); }
  float Single() const;
  double Float() const { return le::GetDouble(Fixed<8>().data()); }
  TZDBExtended Extended() const { return TZDBExtended::FromBytes(Fixed<TZDBExtended::ByteSize>().data()); }
  TZDBTimeStamp TimeStamp() const {
    const auto bytes = Fixed<8>();
    return {le::GetI32(bytes.data()), le::GetI32(bytes.data() + 4)};
  }
  bool Logical() const { return SmallInt() != 0; }

 private:
  const uint8_t* data_;
  int32_t size_;
};

}  // namespace zdb
