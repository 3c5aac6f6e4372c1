#include "engine/base/ZDBCipherCodes.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zdb {
namespace {

constexpr size_t RIPEMD128DigestSize = 16;
constexpr size_t RIPEMD256DigestSize = 32;

constexpr std::array<TZDBCipherInfo, CipherCodeCount> Ciphers = {{
    {0, "Rijndael_128", 16, 32, TZDBKeyHash::RIPEMD128},
    {1, "Rijndael_256", 16, 32, TZDBKeyHash::RIPEMD256},
    {2, "DES_Single", 8, 8, TZDBKeyHash::RIPEMD128},
    {3, "DES_Triple", 24, 24, TZDBKeyHash::RIPEMD128},
    {4, "Blowfish", 8, 56, TZDBKeyHash::RIPEMD256},
    {5, "Twofish_128", 16, 32, TZDBKeyHash::RIPEMD128},
    {6, "Twofish_256", 16, 32, TZDBKeyHash::RIPEMD256},
    {7, "Square", 16, 16, TZDBKeyHash::RIPEMD128},
}};

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

size_t DigestSize(TZDBKeyHash hash) {
  return hash == TZDBKeyHash::RIPEMD128 ? RIPEMD128DigestSize : RIPEMD256DigestSize;
}

size_t TZDBCipherInfo::KeySize() const { return std::min(DigestSize(Hash), LongestKey); }

const TZDBCipherInfo* FindCipher(uint8_t code) { return code < Ciphers.size() ? &Ciphers[code] : nullptr; }

std::optional<uint8_t> FindCipherCode(std::string_view name) {
  for (const TZDBCipherInfo& cipher : Ciphers) {
    if (SameLetters(cipher.Name, name)) return cipher.Code;
  }
  return std::nullopt;
}

}  // namespace zdb
