// One keyed block cipher of a cipher code: enciphers and deciphers single blocks of the
// code's block size. The published ciphers come from Crypto++ with their standard byte
// conventions; code 3 is our own 24-byte-block triple DES, built from DES:
//
//   The block is three DES blocks A|B|C side by side, the key K1|K2 (16 bytes) or
//   K1|K2|K3 (24 bytes; K3 = K1 for a 16-byte key). Enciphering runs three key rounds:
//   E(K1) on each of A, B, C; rotate the six 32-bit words one place to the left (word 1
//   becomes word 0, word 0 becomes word 5); D(K2) on each; rotate again; E(K3) on each.
//   Deciphering runs the same steps backwards (D(K3), rotate right, E(K2), rotate right,
//   D(K1)). The rotations carry half of every DES block into its neighbour, so after the
//   three rounds each output byte depends on the whole 24-byte block.
//
// Crypto++ stays behind this interface: nothing outside the cipher files includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zdb {

class TZDBBlockCipher {
 public:
  virtual ~TZDBBlockCipher() = default;
  virtual size_t BlockSize() const = 0;
  // in and out hold BlockSize() bytes; they may be the same buffer.
  virtual void EncryptBlock(const uint8_t* in, uint8_t* out) const = 0;
  virtual void DecryptBlock(const uint8_t* in, uint8_t* out) const = 0;

  // The cipher of the code keyed with key; nullptr for an unknown code or a key the
  // cipher does not take.
  static std::unique_ptr<TZDBBlockCipher> Create(uint8_t cipherCode, std::span<const uint8_t> key);
};

}  // namespace zdb
