#include "engine/base/ZDBCipher.h"

#include <cryptopp/ripemd.h>

#include <algorithm>

#include "engine/base/ZDBCipherCodes.h"

namespace zdb {
namespace {

constexpr uint8_t InitialVectorByte = 0xFF;

template <typename Hash>
std::vector<uint8_t> Digest(std::string_view text) {
  Hash hash;
  std::vector<uint8_t> digest(Hash::DIGESTSIZE);
  hash.CalculateDigest(digest.data(), reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
  return digest;
}

void XorInto(uint8_t* target, const uint8_t* source, size_t count) {
  for (size_t i = 0; i < count; ++i) target[i] ^= source[i];
}

}  // namespace

std::vector<uint8_t> TZDBCipher::DeriveKey(std::string_view password, uint8_t cipherCode) {
  const TZDBCipherInfo* cipher = FindCipher(cipherCode);
  if (cipher == nullptr) return {};
  std::vector<uint8_t> digest = cipher->Hash == TZDBKeyHash::RIPEMD128 ? Digest<CryptoPP::RIPEMD128>(password)
                                                                      : Digest<CryptoPP::RIPEMD256>(password);
  digest.resize(cipher->KeySize());
  return digest;
}

std::unique_ptr<TZDBCipher> TZDBCipher::Create(std::string_view password, uint8_t cipherCode) {
  const std::vector<uint8_t> key = DeriveKey(password, cipherCode);
  if (key.empty()) return nullptr;
  std::unique_ptr<TZDBBlockCipher> blockCipher = TZDBBlockCipher::Create(cipherCode, key);
  if (!blockCipher) return nullptr;
  return std::unique_ptr<TZDBCipher>(new TZDBCipher(cipherCode, std::move(blockCipher)));
}

TZDBCipher::TZDBCipher(uint8_t cipherCode, std::unique_ptr<TZDBBlockCipher> blockCipher)
    : cipherCode_(cipherCode), blockCipher_(std::move(blockCipher)) {}

void TZDBCipher::XorFinalPart(std::span<uint8_t> part, std::span<const uint8_t> vector) const {
  if (part.empty()) return;
  std::vector<uint8_t> stream(vector.size());
  blockCipher_->EncryptBlock(vector.data(), stream.data());
  XorInto(part.data(), stream.data(), part.size());
}

void TZDBCipher::Encipher(std::span<uint8_t> unit) const {
  const size_t blockSize = blockCipher_->BlockSize();
  std::vector<uint8_t> vector(blockSize, InitialVectorByte);
  size_t offset = 0;
  for (; offset + blockSize <= unit.size(); offset += blockSize) {
    uint8_t* block = unit.data() + offset;
    XorInto(block, vector.data(), blockSize);
    blockCipher_->EncryptBlock(block, block);
    XorInto(vector.data(), block, blockSize);
  }
  XorFinalPart(unit.subspan(offset), vector);
}

void TZDBCipher::Decipher(std::span<uint8_t> unit) const {
  const size_t blockSize = blockCipher_->BlockSize();
  std::vector<uint8_t> vector(blockSize, InitialVectorByte);
  std::vector<uint8_t> enciphered(blockSize);
  size_t offset = 0;
  for (; offset + blockSize <= unit.size(); offset += blockSize) {
    uint8_t* block = unit.data() + offset;
    std::copy_n(block, blockSize, enciphered.begin());
    blockCipher_->DecryptBlock(block, block);
    XorInto(block, vector.data(), blockSize);
    XorInto(vector.data(), enciphered.data(), blockSize);
  }
  XorFinalPart(unit.subspan(offset), vector);
}

}  // namespace zdb
