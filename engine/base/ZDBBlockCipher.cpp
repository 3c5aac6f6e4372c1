#include "engine/base/ZDBBlockCipher.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/cryptlib.h>
#include <cryptopp/des.h>
#include <cryptopp/rijndael.h>
#include <cryptopp/square.h>
#include <cryptopp/twofish.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/base/ZDBCipherCodes.h"

namespace zdb {
namespace {

template <typename Cipher>
class PublishedBlockCipher final : public TZDBBlockCipher {
 public:
  explicit PublishedBlockCipher(std::span<const uint8_t> key)
      : encryption_(key.data(), key.size()), decryption_(key.data(), key.size()) {}

  size_t BlockSize() const override { return Cipher::BLOCKSIZE; }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override { encryption_.ProcessBlock(in, out); }
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override { decryption_.ProcessBlock(in, out); }

 private:
  typename Cipher::Encryption encryption_;
  typename Cipher::Decryption decryption_;
};

// The 24-byte-block triple DES of code 3 (construction in ZDBBlockCipher.h).
class TripleDES24 final : public TZDBBlockCipher {
 public:
  static constexpr size_t DESBlock = CryptoPP::DES::BLOCKSIZE;  // 8
  static constexpr size_t DESKey = CryptoPP::DES::DEFAULT_KEYLENGTH;  // 8
  static constexpr size_t Block = 3 * DESBlock;
  static constexpr size_t Word = 4;
  static constexpr size_t TwoKeySize = 2 * DESKey;
  static constexpr size_t ThreeKeySize = 3 * DESKey;

  explicit TripleDES24(std::span<const uint8_t> key)
      : e1_(key.data(), DESKey),
        d1_(key.data(), DESKey),
        e2_(KeyPart(key, 1), DESKey),
        d2_(KeyPart(key, 1), DESKey),
        e3_(KeyPart(key, 2), DESKey),
        d3_(KeyPart(key, 2), DESKey) {}

  size_t BlockSize() const override { return Block; }

  void EncryptBlock(const uint8_t* in, uint8_t* out) const override {
    std::array<uint8_t, Block> block{};
    std::memcpy(block.data(), in, Block);
    EachDESBlock(e1_, block);
    RotateWordsLeft(block);
    EachDESBlock(d2_, block);
    RotateWordsLeft(block);
    EachDESBlock(e3_, block);
    std::memcpy(out, block.data(), Block);
  }

  void DecryptBlock(const uint8_t* in, uint8_t* out) const override {
    std::array<uint8_t, Block> block{};
    std::memcpy(block.data(), in, Block);
    EachDESBlock(d3_, block);
    RotateWordsRight(block);
    EachDESBlock(e2_, block);
    RotateWordsRight(block);
    EachDESBlock(d1_, block);
    std::memcpy(out, block.data(), Block);
  }

  static bool TakesKey(size_t size) { return size == TwoKeySize || size == ThreeKeySize; }

 private:
  // Key part 0, 1 or 2; a two-part key uses its first part again as the third.
  static const uint8_t* KeyPart(std::span<const uint8_t> key, size_t part) {
    if (key.size() < (part + 1) * DESKey) part = 0;
    return key.data() + part * DESKey;
  }

  static void EachDESBlock(const CryptoPP::BlockTransformation& des, std::array<uint8_t, Block>& block) {
    for (size_t offset = 0; offset < Block; offset += DESBlock) des.ProcessBlock(block.data() + offset);
  }
  static void RotateWordsLeft(std::array<uint8_t, Block>& block) {
    std::rotate(block.begin(), block.begin() + Word, block.end());
  }
  static void RotateWordsRight(std::array<uint8_t, Block>& block) {
    std::rotate(block.begin(), block.end() - Word, block.end());
  }

  CryptoPP::DES::Encryption e1_;
  CryptoPP::DES::Decryption d1_;
  CryptoPP::DES::Encryption e2_;
  CryptoPP::DES::Decryption d2_;
  CryptoPP::DES::Encryption e3_;
  CryptoPP::DES::Decryption d3_;
};

std::unique_ptr<TZDBBlockCipher> MakeCipher(TZDBCipherCode code, std::span<const uint8_t> key) {
  switch (code) {
    case TZDBCipherCode::Rijndael128:
    case TZDBCipherCode::Rijndael256:
      return std::make_unique<PublishedBlockCipher<CryptoPP::Rijndael>>(key);
    case TZDBCipherCode::DESSingle:
      return std::make_unique<PublishedBlockCipher<CryptoPP::DES>>(key);
    case TZDBCipherCode::DESTriple:
      if (!TripleDES24::TakesKey(key.size())) return nullptr;
      return std::make_unique<TripleDES24>(key);
    case TZDBCipherCode::Blowfish:
      return std::make_unique<PublishedBlockCipher<CryptoPP::Blowfish>>(key);
    case TZDBCipherCode::Twofish128:
    case TZDBCipherCode::Twofish256:
      return std::make_unique<PublishedBlockCipher<CryptoPP::Twofish>>(key);
    case TZDBCipherCode::Square:
      return std::make_unique<PublishedBlockCipher<CryptoPP::Square>>(key);
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<TZDBBlockCipher> TZDBBlockCipher::Create(uint8_t cipherCode, std::span<const uint8_t> key) {
  if (FindCipher(cipherCode) == nullptr) return nullptr;
  try {
    return MakeCipher(static_cast<TZDBCipherCode>(cipherCode), key);
  } catch (const CryptoPP::Exception&) {
    // A key of a length the cipher does not take.
    return nullptr;
  }
}

}  // namespace zdb
