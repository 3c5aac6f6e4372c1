// Encrypted database files through the page manager and the database data object: what
// lands in the file, reopening with the right and the wrong password, damaged pages, and
// the pages that stay plain (bitmaps, direct internal files).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/base/ZDBCipherCodes.h"
#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::PageValue;
using test::Raised;
using Bytes = std::vector<uint8_t>;

constexpr int64_t PageAreaStart = 380;
constexpr size_t PageSize = 4096;
constexpr size_t DataSize = PageSize - TZDBPage::HeaderSize;
constexpr int64_t EncryptionRecord = 76;

const uint8_t* PageIn(const Bytes& file, int64_t pageNo) {
  return file.data() + PageAreaStart + pageNo * static_cast<int64_t>(PageSize);
}
Bytes DataArea(const Bytes& file, int64_t pageNo) {
  const uint8_t* data = PageIn(file, pageNo) + TZDBPage::HeaderSize;
  return Bytes(data, data + DataSize);
}
// The data area of a value page as the engine holds it in memory.
Bytes PlainValueData(uint32_t value) {
  Bytes data(DataSize, 0);
  le::PutU32(data.data(), value);
  return data;
}

// A database with one committed record page per value (pages 2, 3, ...).
void CreateDatabase(const std::string& path, const TZDBPassword& password, const std::vector<uint32_t>& values) {
  TZDBDiskPageManager manager;
  manager.CreateDatabaseFile(path, password);
  for (uint32_t value : values) test::AddValuePage(manager, value);
  manager.ApplyChanges(test::Session);
  manager.CloseDatabaseFile();
}

bool Open(TZDBDiskPageManager& manager, const std::string& path, const TZDBPassword& password,
          bool multiUser = false) {
  bool readOnly = false;
  return manager.OpenDatabaseFile(path, password, multiUser, false, readOnly);
}

class EncryptedDatabase : public testing::Test {
 protected:
  test::TempFolder folder_;
  std::string path_ = folder_.File("secret.zdb");
  std::string plainPath_ = folder_.File("plain.zdb");
};

TEST_F(EncryptedDatabase, EveryCipherWritesEncipheredPagesAndReadsThemBack) {
  CreateDatabase(plainPath_, TZDBPassword{}, {10, 20});
  const Bytes plainFile = test::ReadBytes(plainPath_);

  for (uint8_t code = 0; code < CipherCodeCount; ++code) {
    const TZDBPassword password{"clave secreta", code};
    CreateDatabase(path_, password, {10, 20});
    const Bytes file = test::ReadBytes(path_);
    ASSERT_EQ(file.size(), plainFile.size()) << int(code);
    EXPECT_EQ(file[layout::HeaderEncryptedOffset], layout::EncryptedFlagEncrypted);
    EXPECT_EQ(file[EncryptionRecord + layout::EncCipherCodeOffset], code);

    for (int64_t pageNo : {2, 3}) {
      const uint32_t value = pageNo == 2 ? 10 : 20;
      const uint8_t* header = PageIn(file, pageNo);
      EXPECT_EQ(header[TZDBPage::PageCipherCodeOffset], code) << int(code);
      const Bytes plain = PlainValueData(value);
      EXPECT_EQ(le::GetU32(header + TZDBPage::DataCRCOffset), Crc32(plain.data(), plain.size())) << int(code);
      EXPECT_NE(DataArea(file, pageNo), plain) << int(code);
    }
    // The free-space bitmaps are other processes' to read as they stand: byte for byte
    // those of the plain file, headers included.
    for (int64_t pageNo : {0, 1})
      EXPECT_TRUE(std::equal(PageIn(file, pageNo), PageIn(file, pageNo) + PageSize, PageIn(plainFile, pageNo)))
          << int(code) << " page " << pageNo;

    TZDBDiskPageManager manager;
    Open(manager, path_, password);
    EXPECT_EQ(PageValue(manager, 2), 10u) << int(code);
    EXPECT_EQ(PageValue(manager, 3), 20u) << int(code);
    test::SetPageValue(manager, 3, 21);
    manager.ApplyChanges(test::Session);
    // The committed page stays plain in the cache.
    EXPECT_EQ(PageValue(manager, 3), 21u) << int(code);
    manager.CloseDatabaseFile();

    TZDBDiskPageManager again;
    Open(again, path_, TZDBPassword{"clave secreta", 0});  // the file's own code counts
    EXPECT_EQ(PageValue(again, 3), 21u) << int(code);
    // A new page takes its number from the plain bitmaps of the reopened file.
    const int32_t added = test::AddValuePage(again, 30);
    again.ApplyChanges(test::Session);
    again.CloseDatabaseFile();
    TZDBDiskPageManager last;
    Open(last, path_, password);
    EXPECT_EQ(PageValue(last, added), 30u) << int(code);
  }
}

TEST_F(EncryptedDatabase, AWrongPasswordLeavesTheFileClosed) {
  CreateDatabase(path_, TZDBPassword{"secret", 4}, {7});
  const Bytes before = test::ReadBytes(path_);
  TZDBDiskPageManager manager;
  for (const char* wrong : {"", "Secret", "secret ", "secre"}) {
    const auto raised = Raised([&] { Open(manager, path_, TZDBPassword{wrong, 4}); });
    EXPECT_EQ(raised.text, ErrorText("Cannot open database - incorrect password", 30445)) << wrong;
    EXPECT_FALSE(manager.IsFileOpen()) << wrong;
  }
  EXPECT_EQ(test::ReadBytes(path_), before);
  // The same manager may ask again, and the right password opens.
  Open(manager, path_, TZDBPassword{"secret", 4});
  EXPECT_EQ(PageValue(manager, 2), 7u);

  // A check block that no longer matches its CRC: no password opens the file.
  Bytes damaged = before;
  damaged[EncryptionRecord + layout::EncCheckBlockOffset + 17] ^= 0x04;
  test::WriteBytes(plainPath_, damaged);
  TZDBDiskPageManager other;
  EXPECT_EQ(Raised([&] { Open(other, plainPath_, TZDBPassword{"secret", 4}); }).code, 30445);
  // A cipher code the engine does not know fails the same way.
  damaged = before;
  damaged[EncryptionRecord + layout::EncCipherCodeOffset] = 8;
  test::WriteBytes(plainPath_, damaged);
  EXPECT_EQ(Raised([&] { Open(other, plainPath_, TZDBPassword{"secret", 4}); }).code, 30445);
  EXPECT_FALSE(other.IsFileOpen());
}

TEST_F(EncryptedDatabase, AnEmptyPasswordMakesAPlainFile) {
  // Whatever code comes with it.
  CreateDatabase(path_, TZDBPassword{"", 9}, {7});
  CreateDatabase(plainPath_, TZDBPassword{}, {7});
  const Bytes file = test::ReadBytes(path_);
  EXPECT_EQ(file[layout::HeaderEncryptedOffset], layout::EncryptedFlagPlain);
  Bytes record(file.begin() + EncryptionRecord, file.begin() + EncryptionRecord + layout::EncryptionRecordSize);
  EXPECT_EQ(le::GetU16(record.data()), layout::EncryptionRecordSize);
  EXPECT_TRUE(std::all_of(record.begin() + 2, record.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(DataArea(file, 2), PlainValueData(7));
  EXPECT_EQ(PageIn(file, 2)[TZDBPage::PageCipherCodeOffset], 0);
  EXPECT_EQ(le::GetU32(PageIn(file, 2) + TZDBPage::DataCRCOffset), 0u);

  // A password given for a plain file is not needed and does no harm.
  TZDBDiskPageManager manager;
  Open(manager, path_, TZDBPassword{"anything", 2});
  EXPECT_EQ(PageValue(manager, 2), 7u);
}

TEST_F(EncryptedDatabase, ADamagedPageFailsWithItsNumber) {
  const TZDBPassword password{"secret", 0};
  CreateDatabase(path_, password, {5, 6});
  const Bytes good = test::ReadBytes(path_);
  const struct {
    const char* name;
    size_t offset;  // inside page 3
  } cases[] = {
      {"first data byte", TZDBPage::HeaderSize},
      {"last data byte", PageSize - 1},
      {"DataCRC", TZDBPage::DataCRCOffset + 3},
      {"PageCipherCode", TZDBPage::PageCipherCodeOffset},
  };
  for (const auto& c : cases) {
    Bytes bytes = good;
    bytes[PageAreaStart + 3 * PageSize + c.offset] ^= 0x01;
    test::WriteBytes(path_, bytes);
    TZDBDiskPageManager manager;
    Open(manager, path_, password);
    EXPECT_EQ(PageValue(manager, 2), 5u) << c.name;
    for (int attempt = 0; attempt < 2; ++attempt) {  // nothing of the bad page is cached
      const auto raised = Raised([&] { PageValue(manager, 3); });
      EXPECT_EQ(raised.text, ErrorText("Decrypt page error. Check CRC failed. PageNo: 3", 30446)) << c.name;
    }
    EXPECT_FALSE(manager.IsCached(3)) << c.name;
  }
}

// Session slots and table lock regions are locked and read in place by other processes,
// so their pages stay plain; the transacted system files are enciphered.
TEST_F(EncryptedDatabase, DirectFilePagesStayPlainAndTheSystemFilesWork) {
  const TZDBPassword password{"secret", 6};
  {
    TZDBDiskDatabaseData creator(path_);
    creator.SetPassword(password);
    creator.CreateDatabase();
    TZDBDiskDatabaseData plain(plainPath_);
    plain.CreateDatabase();
  }
  const Bytes file = test::ReadBytes(path_);
  const Bytes plainFile = test::ReadBytes(plainPath_);
  constexpr int64_t Directory = 2, Slots = 3, TableList = 4;
  EXPECT_EQ(le::GetU16(PageIn(file, Slots) + TZDBPage::PageTypeOffset), PageTypeCode(TZDBPageType::ActiveSessionList));
  EXPECT_EQ(DataArea(file, Slots), DataArea(plainFile, Slots));
  EXPECT_EQ(PageIn(file, Slots)[TZDBPage::PageCipherCodeOffset], 0);
  EXPECT_NE(DataArea(file, Directory), DataArea(plainFile, Directory));
  EXPECT_NE(DataArea(file, TableList), DataArea(plainFile, TableList));

  // A slots page read through the page cache is not taken for an enciphered one.
  {
    TZDBDiskPageManager manager;
    Open(manager, path_, password);
    TZDBPageRef slots(manager, test::Session, Slots, false, TZDBPageManager::AnyPageType);
    EXPECT_EQ(slots->PageType(), PageTypeCode(TZDBPageType::ActiveSessionList));
  }

  TZDBDiskDatabaseData data(path_);
  TZDBSessionConnection intruder;
  intruder.MultiUser = true;
  intruder.Password = TZDBPassword{"guess", 6};
  EXPECT_EQ(Raised([&] { data.AddSession(intruder); }).code, 30445);
  EXPECT_FALSE(data.IsOpen());

  TZDBSessionConnection session;
  session.MultiUser = true;
  session.Password = password;
  data.AddSession(session);
  EXPECT_EQ(session.SessionID, 0);
  data.AddTableToList("Maximo", 7, 10, 11, 12);
  data.Commit(TZDBPageManager::SystemSession, false);
  data.RemoveSession(session);

  TZDBSessionConnection again = session;
  data.AddSession(again);
  EXPECT_EQ(data.GetTableFromList("Maximo").LocksStartPageNo, 12);
  data.RemoveSession(again);
}

TEST_F(EncryptedDatabase, AnotherUsersCommitIsDecipheredWhenVersionsAreChecked) {
  const TZDBPassword password{"secret", 3};
  CreateDatabase(path_, password, {10, 20});
  TZDBDiskPageManager reader;
  TZDBDiskPageManager writer;
  Open(reader, path_, password, true);
  Open(writer, path_, password, true);
  ASSERT_TRUE(reader.MultiUser());
  EXPECT_EQ(PageValue(reader, 2), 10u);  // now cached
  test::SetPageValue(writer, 2, 11);
  writer.ApplyChanges(test::Session);
  EXPECT_EQ(PageValue(reader, 2, true), 11u);
}

}  // namespace
}  // namespace zdb
