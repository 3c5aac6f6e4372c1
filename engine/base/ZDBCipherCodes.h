// The cipher codes of an encrypted database: which block cipher enciphers the pages and
// which hash turns the password into its key. The code is stored in the encryption
// record (the database's choice) and in every enciphered page header (the code that page
// was written with). The names are the engine's texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zdb {

enum class TZDBKeyHash : uint8_t { RIPEMD128, RIPEMD256 };

enum class TZDBCipherCode : uint8_t {
  Rijndael128 = 0,
  Rijndael256 = 1,
  DESSingle = 2,
  DESTriple = 3,  // triple DES on 24-byte blocks (ZDBBlockCipher.h)
  Blowfish = 4,
  Twofish128 = 5,
  Twofish256 = 6,
  Square = 7,
};

inline constexpr uint8_t CipherCodeCount = 8;

struct TZDBCipherInfo {
  uint8_t Code;
  const char* Name;        // "Rijndael_128" ...
  size_t BlockSize;        // bytes enciphered at once
  size_t LongestKey;       // the longest key the cipher takes, in bytes
  TZDBKeyHash Hash;

  // The key is the digest's first bytes, as many as the cipher takes.
  size_t KeySize() const;
};

inline constexpr uint8_t CipherCodeOf(TZDBCipherCode code) { return static_cast<uint8_t>(code); }

// The code's description; nullptr for a code above 7.
const TZDBCipherInfo* FindCipher(uint8_t code);
// The code of a name, compared without regard to letter case.
std::optional<uint8_t> FindCipherCode(std::string_view name);

// Digest length of the key hash in bytes (16 or 32).
size_t DigestSize(TZDBKeyHash hash);

}  // namespace zdb
