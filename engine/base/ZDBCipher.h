// A password's cipher for one cipher code: the key derived from the password and the
// chaining that enciphers one unit (a page data area or the check block) in place.
//
// Key: the code's hash (RIPEMD-128 or RIPEMD-256) of the password's bytes, no terminator;
// the key is the digest's first KeySize() bytes.
//
// Chaining, each unit on its own, from the vector F = one block of 0xFF bytes:
//   each full block X:   Y = E(X xor F), then F = Y xor F
//   a final short part:  Y = X xor (the first n bytes of E(F))
// and backwards for deciphering (X = D(Y) xor F, then F = Y xor F; the short part the
// same as above). Units need not be a whole number of blocks; their length never changes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "engine/base/ZDBBlockCipher.h"

namespace zdb {

class TZDBCipher {
 public:
  // The cipher of the code keyed from the password; nullptr for an unknown code (or a
  // cipher that refuses the key, which no code of ours does).
  static std::unique_ptr<TZDBCipher> Create(std::string_view password, uint8_t cipherCode);
  // The key of the password for the code; empty for an unknown code.
  static std::vector<uint8_t> DeriveKey(std::string_view password, uint8_t cipherCode);

  uint8_t CipherCode() const { return cipherCode_; }

  void Encipher(std::span<uint8_t> unit) const;
  void Decipher(std::span<uint8_t> unit) const;

 private:
  TZDBCipher(uint8_t cipherCode, std::unique_ptr<TZDBBlockCipher> blockCipher);

  void XorFinalPart(std::span<uint8_t> part, std::span<const uint8_t> vector) const;

  uint8_t cipherCode_;
  std::unique_ptr<TZDBBlockCipher> blockCipher_;
};

}  // namespace zdb
