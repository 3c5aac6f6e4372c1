// Helpers shared by the table-layer tests, on top of the value tests' (byte images,
// engine-error checks, values of each type): stored forms, the two tables of the program
// and a stream that takes only so many bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBMemoryStream.h"
#include "engine/base/ZDBVariant.h"
#include "engine/table/ZDBFieldDef.h"
#include "tests/engine/base/support/ValueTestSupport.h"

namespace zdb::testing {

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline Bytes Repeat(int value, size_t count) { return Bytes(count, static_cast<uint8_t>(value)); }

inline Bytes ContentOf(TZDBMemoryStream& stream) { return Bytes(stream.Memory(), stream.Memory() + stream.Size()); }

// What a save writes, as bytes.
template <typename Saveable>
Bytes Saved(const Saveable& object) {
  TZDBMemoryStream stream;
  object.SaveToStream(stream);
  return ContentOf(stream);
}

inline std::unique_ptr<TZDBFieldDef> Field(std::string_view name, TZDBLogicalType type, int32_t size = 0) {
  return std::make_unique<TZDBFieldDef>(name, type, size);
}

// The program's yearly-limits table: any INTEGER, PenMax and TopeCot FLOAT.
inline void AddMaximoFields(TZDBFieldDefs& fields) {
  fields.Add(Field("any", TZDBLogicalType::Integer));
  fields.Add(Field("PenMax", TZDBLogicalType::Float));
  fields.Add(Field("TopeCot", TZDBLogicalType::Float));
}

// The growth percentages table: PorPMax and PorTCot FLOAT.
inline void AddControlFields(TZDBFieldDefs& fields) {
  fields.Add(Field("PorPMax", TZDBLogicalType::Float));
  fields.Add(Field("PorTCot", TZDBLogicalType::Float));
}

// A memory stream that takes at most `limit` bytes in all: further writes are short, as
// a full device's would be.
class LimitedStream : public TStream {
 public:
  explicit LimitedStream(int64_t limit) : limit_(limit) {}

  int64_t Read(void* buffer, int64_t count) override { return inner_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t room = std::max<int64_t>(0, limit_ - inner_.Position());
    return inner_.Write(buffer, std::min(count, room));
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }
  void SetSize(int64_t size) override { inner_.SetSize(size); }

 private:
  int64_t limit_;
  TZDBMemoryStream inner_;
};

}  // namespace zdb::testing
