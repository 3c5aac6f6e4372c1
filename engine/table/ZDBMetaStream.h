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

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBStream.h"

namespace zdb {

inline constexpr size_t MaxShortNameLength = 255;

// The name cut to what a length byte can describe.
std::string ToShortName(std::string_view name);

// Flags written as 0xFF for true (index and column flags) or 1 (plain booleans); any
// nonzero byte reads as true.
inline constexpr uint8_t FlagTrue = 0xFF;
inline constexpr uint8_t BooleanTrue = 1;

void WriteU8(TStream& stream, uint8_t value, const TZDBError& code);
void WriteI32(TStream& stream, int32_t value, const TZDBError& code);
void WriteI64(TStream& stream, int64_t value, const TZDBError& code);
uint8_t ReadU8(TStream& stream, const TZDBError& code);
int32_t ReadI32(TStream& stream, const TZDBError& code);
int64_t ReadI64(TStream& stream, const TZDBError& code);
// A count that must not be negative; a negative one fails like a short read.
int32_t ReadCount(TStream& stream, const TZDBError& code);

void WriteShortName(TStream& stream, std::string_view name, const TZDBError& lengthCode, const TZDBError& charsCode);
std::string ReadShortName(TStream& stream, const TZDBError& lengthCode, const TZDBError& charsCode);

void WriteShortString8(TStream& stream, std::string_view name, const TZDBError& prefixCode, const TZDBError& bodyCode);
std::string ReadShortString8(TStream& stream, const TZDBError& prefixCode, const TZDBError& bodyCode);
void WriteShortString32(TStream& stream, std::string_view name, const TZDBError& prefixCode, const TZDBError& bodyCode);
std::string ReadShortString32(TStream& stream, const TZDBError& prefixCode, const TZDBError& bodyCode);

}  // namespace zdb
