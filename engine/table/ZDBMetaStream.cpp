#include "engine/table/ZDBMetaStream.h"

#include <algorithm>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

// The body of a framed short name: its length byte and up to 255 characters.
constexpr int64_t MaxShortStringBody = MaxShortNameLength + 1;
// The ShortString8 prefix byte of a 255-character name (256 does not fit a byte).
constexpr uint8_t WrappedShortString8Prefix = 0;

// A damaged size read from the stream fails the way reading that many bytes would,
// before anything is allocated for it.
[[noreturn]] void RaiseDamagedSize(TStream& stream, int64_t size, const TZDBError& code) {
  RaiseError(code, {stream.Position(), stream.Size(), size, 0});
}

void WriteBody(TStream& stream, std::string_view name, const TZDBError& bodyCode) {
  const std::string shortName = ToShortName(name);
  std::string body(1, static_cast<char>(shortName.size()));
  body += shortName;
  WriteStreamExact(stream, body.data(), static_cast<int64_t>(body.size()), bodyCode);
}

// Reads the body of `size` bytes; a length byte beyond the body is cut to it.
std::string ReadBody(TStream& stream, int64_t size, const TZDBError& bodyCode) {
  if (size < 1 || size > MaxShortStringBody) RaiseDamagedSize(stream, size, bodyCode);
  std::string body(static_cast<size_t>(size), '\0');
  ReadStreamExact(stream, body.data(), size, bodyCode);
  const size_t length = std::min<size_t>(static_cast<uint8_t>(body[0]), body.size() - 1);
  return body.substr(1, length);
}

}  // namespace

std::string ToShortName(std::string_view name) { return std::string(name.substr(0, MaxShortNameLength)); }

void WriteU8(TStream& stream, uint8_t value, const TZDBError& code) { WriteStreamExact(stream, &value, 1, code); }

void WriteI32(TStream& stream, int32_t value, const TZDBError& code) {
  uint8_t bytes[4];
  le::PutI32(bytes, value);
  WriteStreamExact(stream, bytes, sizeof bytes, code);
}

void WriteI64(TStream& stream, int64_t value, const TZDBError& code) {
  uint8_t bytes[8];
  le::PutI64(bytes, value);
  WriteStreamExact(stream, bytes, sizeof bytes, code);
}

uint8_t ReadU8(TStream& stream, const TZDBError& code) {
  uint8_t value = 0;
  ReadStreamExact(stream, &value, 1, code);
  return value;
}

int32_t ReadI32(TStream& stream, const TZDBError& code) {
  uint8_t bytes[4];
  ReadStreamExact(stream, bytes, sizeof bytes, code);
  return le::GetI32(bytes);
}

int64_t ReadI64(TStream& stream, const TZDBError& code) {
  uint8_t bytes[8];
  ReadStreamExact(stream, bytes, sizeof bytes, code);
  return le::GetI64(bytes);
}

int32_t ReadCount(TStream& stream, const TZDBError& code) {
  const int32_t count = ReadI32(stream, code);
  if (count < 0) RaiseDamagedSize(stream, count, code);
  return count;
}

void WriteShortName(TStream& stream, std::string_view name, const TZDBError& lengthCode, const TZDBError& charsCode) {
  const std::string shortName = ToShortName(name);
  WriteU8(stream, static_cast<uint8_t>(shortName.size()), lengthCode);
  WriteStreamExact(stream, shortName.data(), static_cast<int64_t>(shortName.size()), charsCode);
}

std::string ReadShortName(TStream& stream, const TZDBError& lengthCode, const TZDBError& charsCode) {
  const uint8_t length = ReadU8(stream, lengthCode);
  std::string name(length, '\0');
  ReadStreamExact(stream, name.data(), length, charsCode);
  return name;
}

void WriteShortString8(TStream& stream, std::string_view name, const TZDBError& prefixCode, const TZDBError& bodyCode) {
  const size_t length = ToShortName(name).size();
  const uint8_t prefix = length == MaxShortNameLength ? WrappedShortString8Prefix : static_cast<uint8_t>(length + 1);
  WriteU8(stream, prefix, prefixCode);
  WriteBody(stream, name, bodyCode);
}

std::string ReadShortString8(TStream& stream, const TZDBError& prefixCode, const TZDBError& bodyCode) {
  const uint8_t prefix = ReadU8(stream, prefixCode);
  return ReadBody(stream, prefix == WrappedShortString8Prefix ? MaxShortStringBody : prefix, bodyCode);
}

void WriteShortString32(TStream& stream, std::string_view name, const TZDBError& prefixCode, const TZDBError& bodyCode) {
  WriteI32(stream, static_cast<int32_t>(ToShortName(name).size() + 1), prefixCode);
  WriteBody(stream, name, bodyCode);
}

std::string ReadShortString32(TStream& stream, const TZDBError& prefixCode, const TZDBError& bodyCode) {
  return ReadBody(stream, ReadI32(stream, prefixCode), bodyCode);
}

}  // namespace zdb
