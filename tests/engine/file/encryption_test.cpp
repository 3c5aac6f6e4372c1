// The ciphers of encrypted databases: keys from the password, the block ciphers behind
// each cipher code, the chaining of a unit checked against a plain re-statement over the
// raw published ciphers, and the page and check-block layer above it.
#include <cryptopp/blowfish.h>
#include <cryptopp/des.h>
#include <cryptopp/rijndael.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/square.h>
#include <cryptopp/twofish.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBBlockCipher.h"
#include "engine/base/ZDBCipher.h"
#include "engine/base/ZDBCipherCodes.h"
#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBEncryption.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

Bytes Pattern(size_t size, uint8_t seed = 3) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return bytes;
}

// --- an independent statement of each code: hash, key length and raw block cipher -----------

using RawBlock = std::function<void(const uint8_t* in, uint8_t* out)>;

template <typename Cipher>
RawBlock Raw(const Bytes& key) {
  auto cipher = std::make_shared<typename Cipher::Encryption>(key.data(), key.size());
  return [cipher](const uint8_t* in, uint8_t* out) { cipher->ProcessBlock(in, out); };
}

// Three DES blocks side by side: E with the key's first half on each, the six 32-bit
// words moved one place to the left, D with the second half, moved again, E with the
// first half.
RawBlock TripleDES24(const Bytes& key) {
  auto e1 = std::make_shared<CryptoPP::DES::Encryption>(key.data(), 8);
  auto d2 = std::make_shared<CryptoPP::DES::Decryption>(key.data() + 8, 8);
  return [e1, d2](const uint8_t* in, uint8_t* out) {
    uint8_t block[24];
    std::memcpy(block, in, 24);
    auto eachDES = [&](const CryptoPP::BlockTransformation& des) {
      for (int i = 0; i < 3; ++i) des.ProcessBlock(block + 8 * i);
    };
    auto wordsLeft = [&] {
      uint8_t moved[24];
      for (int word = 0; word < 6; ++word) std::memcpy(moved + 4 * word, block + 4 * ((word + 1) % 6), 4);
      std::memcpy(block, moved, 24);
    };
    eachDES(*e1);
    wordsLeft();
    eachDES(*d2);
    wordsLeft();
    eachDES(*e1);
    std::memcpy(out, block, 24);
  };
}

struct CodeCase {
  uint8_t code;
  const char* name;
  bool ripemd256;
  size_t keySize;
  size_t blockSize;
  std::function<RawBlock(const Bytes&)> raw;
};

const std::vector<CodeCase>& Codes() {
  static const std::vector<CodeCase> codes = {
      {0, "Rijndael_128", false, 16, 16, Raw<CryptoPP::Rijndael>},
      {1, "Rijndael_256", true, 32, 16, Raw<CryptoPP::Rijndael>},
      {2, "DES_Single", false, 8, 8, Raw<CryptoPP::DES>},
      {3, "DES_Triple", false, 16, 24, TripleDES24},
      {4, "Blowfish", true, 32, 8, Raw<CryptoPP::Blowfish>},
      {5, "Twofish_128", false, 16, 16, Raw<CryptoPP::Twofish>},
      {6, "Twofish_256", true, 32, 16, Raw<CryptoPP::Twofish>},
      {7, "Square", false, 16, 16, Raw<CryptoPP::Square>},
  };
  return codes;
}

Bytes ReferenceKey(const CodeCase& c, const std::string& password) {
  Bytes digest(32);
  const auto* text = reinterpret_cast<const CryptoPP::byte*>(password.data());
  if (c.ripemd256) {
    CryptoPP::RIPEMD256().CalculateDigest(digest.data(), text, password.size());
  } else {
    CryptoPP::RIPEMD128().CalculateDigest(digest.data(), text, password.size());
  }
  digest.resize(c.keySize);
  return digest;
}

// The chaining spelled out: F starts as 0xFF bytes; Y = E(X xor F), F = Y xor F; a short
// tail is X xor E(F).
Bytes ReferenceEncipher(const CodeCase& c, const std::string& password, Bytes data) {
  const RawBlock encrypt = c.raw(ReferenceKey(c, password));
  const size_t n = c.blockSize;
  Bytes f(n, 0xFF);
  Bytes x(n);
  Bytes y(n);
  size_t at = 0;
  for (; at + n <= data.size(); at += n) {
    for (size_t k = 0; k < n; ++k) x[k] = data[at + k] ^ f[k];
    encrypt(x.data(), y.data());
    for (size_t k = 0; k < n; ++k) {
      data[at + k] = y[k];
      f[k] ^= y[k];
    }
  }
  encrypt(f.data(), y.data());
  for (size_t k = 0; at + k < data.size(); ++k) data[at + k] ^= y[k];
  return data;
}

// --- tests ---------------------------------------------------------------------------------

TEST(Ciphers, CodesNamesAndKeySizes) {
  for (const CodeCase& c : Codes()) {
    const TZDBCipherInfo* info = FindCipher(c.code);
    ASSERT_NE(info, nullptr) << c.name;
    EXPECT_STREQ(info->Name, c.name);
    EXPECT_EQ(info->BlockSize, c.blockSize) << c.name;
    EXPECT_EQ(info->KeySize(), c.keySize) << c.name;
    EXPECT_EQ(FindCipherCode(c.name), c.code);
  }
  EXPECT_EQ(FindCipherCode("twofish_256"), 6);
  EXPECT_EQ(FindCipherCode("Twofish"), std::nullopt);
  EXPECT_EQ(FindCipherCode(""), std::nullopt);
  EXPECT_EQ(FindCipher(8), nullptr);
  EXPECT_EQ(TZDBCipher::Create("secret", 8), nullptr);
  EXPECT_EQ(TZDBBlockCipher::Create(3, Bytes(8)), nullptr) << "triple DES needs two or three DES keys";
}

// Published digests of "abc": RIPEMD-128 c14a1219..., RIPEMD-256 afbd6e22...
TEST(Ciphers, KeyIsThePrefixOfThePasswordsDigest) {
  const Bytes ripemd128 = FromHex("c14a12199c66e4ba84636b0f69144c77");
  const Bytes ripemd256 = FromHex("afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65");
  for (const CodeCase& c : Codes()) {
    const Bytes& digest = c.ripemd256 ? ripemd256 : ripemd128;
    EXPECT_EQ(TZDBCipher::DeriveKey("abc", c.code), Bytes(digest.begin(), digest.begin() + c.keySize)) << c.name;
  }
}

// The block ciphers keep the published byte conventions (FIPS-197 appendix C, the DES
// textbook example, the Blowfish and Twofish reference vectors).
TEST(Ciphers, BlockCiphersMatchPublishedVectors) {
  const struct {
    uint8_t code;
    const char* key;
    const char* plain;
    const char* enciphered;
  } vectors[] = {
      {0, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {1, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
       "8ea2b7ca516745bfeafc49904b496089"},
      {2, "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
      {4, "0000000000000000", "0000000000000000", "4ef997456198dd78"},
      {5, "00000000000000000000000000000000", "00000000000000000000000000000000", "9f589f5cf6122c32b6bfec2f2ae8c35a"},
      {6, "0000000000000000000000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
       "57ff739d4dc92c1bd7fc01700cc8216f"},
  };
  for (const auto& v : vectors) {
    auto cipher = TZDBBlockCipher::Create(v.code, FromHex(v.key));
    ASSERT_NE(cipher, nullptr) << int(v.code);
    const Bytes plain = FromHex(v.plain);
    Bytes block(plain.size());
    cipher->EncryptBlock(plain.data(), block.data());
    EXPECT_EQ(block, FromHex(v.enciphered)) << int(v.code);
    cipher->DecryptBlock(block.data(), block.data());
    EXPECT_EQ(block, plain) << int(v.code);
  }
}

// Unit sizes: a 4096-byte page's data area (16-byte blocks leave an 8-byte tail, 8- and
// 24-byte blocks none), the check block (a 16-byte tail for 24-byte blocks), a 100-byte
// page's data area (a tail for every block size), a unit shorter than any block, none.
TEST(Ciphers, ChainingMatchesTheReferenceForEveryCode) {
  const std::string password = "Contraseña 2023";
  for (const CodeCase& c : Codes()) {
    auto cipher = TZDBCipher::Create(password, c.code);
    ASSERT_NE(cipher, nullptr) << c.name;
    for (size_t size : {4056u, 256u, 60u, 5u, 0u}) {
      const Bytes plain = Pattern(size);
      Bytes unit = plain;
      cipher->Encipher(unit);
      EXPECT_EQ(unit, ReferenceEncipher(c, password, plain)) << c.name << " size " << size;
      cipher->Decipher(unit);
      EXPECT_EQ(unit, plain) << c.name << " size " << size;
    }
  }
}

// --- pages and the check block ---------------------------------------------------------------

constexpr size_t PageSize = 4096;
constexpr size_t HeaderSize = TZDBPage::HeaderSize;

Bytes PlainPage() {
  Bytes page = Pattern(PageSize, 11);
  le::PutU16(page.data() + TZDBPage::PageTypeOffset, PageTypeCode(TZDBPageType::TableRecord));
  return page;
}

TEST(PageEncryption, APageCarriesItsCodeAndTheCrcOfItsPlainData) {
  for (const CodeCase& c : Codes()) {
    auto encryption = TZDBDatabaseEncryption::Create("secret", c.code);
    ASSERT_NE(encryption, nullptr);
    const Bytes plain = PlainPage();
    Bytes page = plain;
    encryption->EncipherPage(page, HeaderSize);

    EXPECT_EQ(page[TZDBPage::PageCipherCodeOffset], c.code) << c.name;
    EXPECT_EQ(le::GetU32(page.data() + TZDBPage::DataCRCOffset),
              Crc32(plain.data() + HeaderSize, PageSize - HeaderSize));
    EXPECT_EQ(Bytes(page.begin() + HeaderSize, page.end()),
              ReferenceEncipher(c, "secret", Bytes(plain.begin() + HeaderSize, plain.end())))
        << c.name;
    // The rest of the header stays as it was.
    EXPECT_TRUE(std::equal(page.begin(), page.begin() + TZDBPage::DataCRCOffset, plain.begin())) << c.name;

    ASSERT_TRUE(encryption->DecipherPage(page, HeaderSize)) << c.name;
    EXPECT_TRUE(std::equal(page.begin() + HeaderSize, page.end(), plain.begin() + HeaderSize)) << c.name;
  }
}

TEST(PageEncryption, APageIsDecipheredWithItsOwnCode) {
  // Written under Twofish_256, read by a database whose code is now Square.
  Bytes page = PlainPage();
  TZDBDatabaseEncryption::Create("secret", 6)->EncipherPage(page, HeaderSize);
  auto reader = TZDBDatabaseEncryption::Create("secret", 7);
  ASSERT_TRUE(reader->DecipherPage(page, HeaderSize));
  EXPECT_EQ(page[HeaderSize], PlainPage()[HeaderSize]);
}

TEST(PageEncryption, DecipheringFailsOnAnythingButTheRightPasswordAndBytes) {
  Bytes written = PlainPage();
  TZDBDatabaseEncryption::Create("secret", 0)->EncipherPage(written, HeaderSize);
  auto right = TZDBDatabaseEncryption::Create("secret", 0);

  const struct {
    const char* name;
    std::function<void(Bytes&)> change;
    const char* password;
  } cases[] = {
      {"wrong password", [](Bytes&) {}, "Secret"},
      {"empty password", [](Bytes&) {}, ""},
      {"a data byte changed", [](Bytes& p) { p[HeaderSize + 100] ^= 0x01; }, "secret"},
      {"the last data byte changed", [](Bytes& p) { p[PageSize - 1] ^= 0x80; }, "secret"},
      {"DataCRC changed", [](Bytes& p) { p[TZDBPage::DataCRCOffset] ^= 0x01; }, "secret"},
      {"another cipher code", [](Bytes& p) { p[TZDBPage::PageCipherCodeOffset] = 5; }, "secret"},
      {"an unknown cipher code", [](Bytes& p) { p[TZDBPage::PageCipherCodeOffset] = 200; }, "secret"},
  };
  for (const auto& c : cases) {
    Bytes page = written;
    c.change(page);
    EXPECT_FALSE(TZDBDatabaseEncryption::Create(c.password, 0)->DecipherPage(page, HeaderSize)) << c.name;
  }
  Bytes page = written;
  EXPECT_TRUE(right->DecipherPage(page, HeaderSize));
}

TEST(PageEncryption, TheCheckBlockTellsTheRightPassword) {
  for (const CodeCase& c : Codes()) {
    auto encryption = TZDBDatabaseEncryption::Create("secret", c.code);
    const TZDBEncryptionRecord record = encryption->NewEncryptionRecord();
    EXPECT_EQ(record.CipherCode, c.code);
    EXPECT_TRUE(encryption->CheckBlockMatches(record)) << c.name;
    EXPECT_TRUE(TZDBDatabaseEncryption::Create("secret", c.code)->CheckBlockMatches(record)) << c.name;
    EXPECT_FALSE(TZDBDatabaseEncryption::Create("secreT", c.code)->CheckBlockMatches(record)) << c.name;

    // Stored enciphered; its plain bytes are random in 0..254 and carry the stored CRC.
    auto plain = record.CheckBlock;
    TZDBCipher::Create("secret", c.code)->Decipher(plain);
    EXPECT_EQ(Crc32(plain.data(), plain.size()), record.CheckBlockCRC) << c.name;
    EXPECT_TRUE(std::none_of(plain.begin(), plain.end(), [](uint8_t b) { return b == 255; })) << c.name;
    EXPECT_NE(plain, record.CheckBlock) << c.name;
  }
  // Each new record draws a new block.
  auto encryption = TZDBDatabaseEncryption::Create("secret", 0);
  EXPECT_NE(encryption->NewEncryptionRecord().CheckBlock, encryption->NewEncryptionRecord().CheckBlock);
}

}  // namespace
}  // namespace zdb
