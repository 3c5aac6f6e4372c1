#include "engine/file/ZDBEncryption.h"

#include <cryptopp/osrng.h>

#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

// Check block bytes are drawn from 0 .. 254.
constexpr CryptoPP::word32 HighestCheckByte = 254;

}  // namespace

std::unique_ptr<TZDBDatabaseEncryption> TZDBDatabaseEncryption::Create(std::string password, uint8_t cipherCode) {
  std::unique_ptr<TZDBCipher> cipher = TZDBCipher::Create(password, cipherCode);
  if (!cipher) return nullptr;
  return std::unique_ptr<TZDBDatabaseEncryption>(
      new TZDBDatabaseEncryption(std::move(password), cipherCode, std::move(cipher)));
}

TZDBDatabaseEncryption::TZDBDatabaseEncryption(std::string password, uint8_t cipherCode,
                                               std::unique_ptr<TZDBCipher> cipher)
    : password_(std::move(password)), cipherCode_(cipherCode) {
  ciphers_[cipherCode] = std::move(cipher);
}

const TZDBCipher* TZDBDatabaseEncryption::CipherFor(uint8_t cipherCode) const {
  if (cipherCode >= ciphers_.size()) return nullptr;
  std::unique_ptr<TZDBCipher>& cipher = ciphers_[cipherCode];
  if (!cipher) cipher = TZDBCipher::Create(password_, cipherCode);
  return cipher.get();
}

TZDBEncryptionRecord TZDBDatabaseEncryption::NewEncryptionRecord() const {
  TZDBEncryptionRecord record;
  record.CipherCode = cipherCode_;
  CryptoPP::AutoSeededRandomPool random;
  for (uint8_t& byte : record.CheckBlock) byte = static_cast<uint8_t>(random.GenerateWord32(0, HighestCheckByte));
  record.CheckBlockCRC = Crc32(record.CheckBlock.data(), record.CheckBlock.size());
  CipherFor(cipherCode_)->Encipher(record.CheckBlock);
  return record;
}

bool TZDBDatabaseEncryption::CheckBlockMatches(const TZDBEncryptionRecord& record) const {
  if (record.CipherCode != cipherCode_) return false;
  std::array<uint8_t, layout::EncCheckBlockSize> block = record.CheckBlock;
  CipherFor(cipherCode_)->Decipher(block);
  return Crc32(block.data(), block.size()) == record.CheckBlockCRC;
}

void TZDBDatabaseEncryption::EncipherPage(std::span<uint8_t> page, size_t headerSize) const {
  const std::span<uint8_t> data = page.subspan(headerSize);
  le::PutU8(page.data() + TZDBPage::PageCipherCodeOffset, cipherCode_);
  le::PutU32(page.data() + TZDBPage::DataCRCOffset, Crc32(data.data(), data.size()));
  CipherFor(cipherCode_)->Encipher(data);
}

bool TZDBDatabaseEncryption::DecipherPage(std::span<uint8_t> page, size_t headerSize) const {
  const TZDBCipher* cipher = CipherFor(le::GetU8(page.data() + TZDBPage::PageCipherCodeOffset));
  if (cipher == nullptr) return false;
  const std::span<uint8_t> data = page.subspan(headerSize);
  cipher->Decipher(data);
  return Crc32(data.data(), data.size()) == le::GetU32(page.data() + TZDBPage::DataCRCOffset);
}

bool TZDBDatabaseEncryption::IsPlainPageType(uint16_t pageType) {
  return pageType == PageTypeCode(TZDBPageType::ActiveSessionList) ||
         pageType == PageTypeCode(TZDBPageType::TableLocks);
}

}  // namespace zdb
