// Reading and writing the pieces that stored definitions are made of: little-endian
// integers, flags and short names, each through the exact stream helpers with the
// caller's own error code, so that a failure names the place it happened.
//
// Short names are at most 255 single-byte characters and come in three framings:
//   ShortName        1 byte n, then the n characters
//   ShortString8     1 byte n + 1, then n + 1 bytes: the length byte n and the characters
//   ShortString32    4 bytes n + 1, then the same n + 1 bytes
// In the ShortString8 framing a 255-character name has the prefix 256, which a byte
// cannot hold: it is written as 0 and read back as 256 (0 never occurs otherwise).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/ZDBStream.h"

namespace zdb {

inline constexpr size_t MaxShortNameLength = 255;

// The 4-byte count in front of every stored list.
inline constexpr int32_t WriteListCountFailed = 10158;
inline constexpr int32_t ReadListCountFailed = 10159;

// The name cut to what a length byte can describe.
std::string ToShortName(std::string_view name);

// Flags written as 0xFF for true (index and column flags) or 1 (plain booleans); any
// nonzero byte reads as true.
inline constexpr uint8_t FlagTrue = 0xFF;
inline constexpr uint8_t BooleanTrue = 1;

void WriteU8(TStream& stream, uint8_t value, int32_t code);
void WriteI32(TStream& stream, int32_t value, int32_t code);
void WriteI64(TStream& stream, int64_t value, int32_t code);
uint8_t ReadU8(TStream& stream, int32_t code);
int32_t ReadI32(TStream& stream, int32_t code);
int64_t ReadI64(TStream& stream, int32_t code);
// A count that must not be negative; a negative one fails like a short read.
int32_t ReadCount(TStream& stream, int32_t code);

void WriteShortName(TStream& stream, std::string_view name, int32_t lengthCode, int32_t charsCode);
std::string ReadShortName(TStream& stream, int32_t lengthCode, int32_t charsCode);

void WriteShortString8(TStream& stream, std::string_view name, int32_t prefixCode, int32_t bodyCode);
std::string ReadShortString8(TStream& stream, int32_t prefixCode, int32_t bodyCode);
void WriteShortString32(TStream& stream, std::string_view name, int32_t prefixCode, int32_t bodyCode);
std::string ReadShortString32(TStream& stream, int32_t prefixCode, int32_t bodyCode);

}  // namespace zdb
