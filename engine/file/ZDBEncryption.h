// The encryption of one database file: the check block that tells a right password from
// a wrong one, and the enciphering of page data areas.
//
// Contract: a page is enciphered for writing with the database's cipher code, which goes
// into its header as PageCipherCode together with DataCRC, the CRC-32 of the plain data
// area; the header itself stays plain. A page is deciphered with its own PageCipherCode
// and accepted only when the CRC of the result matches DataCRC. Which pages are
// enciphered at all is the page manager's decision (bitmap pages and the pages of direct
// internal files stay plain, see IsPlainPageType).
//
// The check block is 256 random bytes (each 0..254) whose CRC-32 is stored beside the
// enciphered block; deciphering it with the right password gives that CRC again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/base/ZDBCipher.h"
#include "engine/base/ZDBCipherCodes.h"
#include "engine/file/ZDBFilePrologue.h"

namespace zdb {

class TZDBDatabaseEncryption {
 public:
  // The encryption with the password and the database's cipher code; nullptr for an
  // unknown code.
  static std::unique_ptr<TZDBDatabaseEncryption> Create(std::string password, uint8_t cipherCode);

  uint8_t CipherCode() const { return cipherCode_; }

  // The encryption record of a new file: the cipher code, a fresh random check block,
  // its CRC, and the block enciphered.
  TZDBEncryptionRecord NewEncryptionRecord() const;
  // Whether the record's check block deciphers to its CRC with this password. A record of
  // another cipher code than this encryption's never matches.
  bool CheckBlockMatches(const TZDBEncryptionRecord& record) const;

  // page is a whole page buffer whose first headerSize bytes are the page header.
  // Sets PageCipherCode and DataCRC in the header and enciphers the data area in place.
  void EncipherPage(std::span<uint8_t> page, size_t headerSize) const;
  // Deciphers the data area in place with the page's own PageCipherCode; false when that
  // code is unknown or the CRC of the result differs from DataCRC.
  bool DecipherPage(std::span<uint8_t> page, size_t headerSize) const;

  // Pages of direct internal files (session slots, table lock regions) are read and
  // locked in place by other processes, so they are written plain in every file.
  static bool IsPlainPageType(uint16_t pageType);

 private:
  TZDBDatabaseEncryption(std::string password, uint8_t cipherCode, std::unique_ptr<TZDBCipher> cipher);
  // The password's cipher for the code, made on first use; nullptr for an unknown code.
  const TZDBCipher* CipherFor(uint8_t cipherCode) const;

  std::string password_;
  uint8_t cipherCode_;
  mutable std::array<std::unique_ptr<TZDBCipher>, CipherCodeCount> ciphers_;
};

}  // namespace zdb
