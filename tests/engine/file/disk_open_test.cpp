// Creating and opening database files: where the header is found, what the open reports,
// and the refusal of files that are not (or no longer) databases.
#include "engine/file/ZDBDiskPageManager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::OpenDatabase;
using test::OpenOptions;
using test::PageValue;
using test::Raised;

constexpr int64_t DefaultFileSize = 380 + 6 * 4096;

class DiskOpen : public testing::Test {
 protected:
  test::TempFolder folder_;
  std::string path_ = folder_.File("db.zdb");
};

TEST_F(DiskOpen, AHeaderAfterOtherBytesIsFoundAndEverythingShifts) {
  const std::string plain = folder_.File("plain.zdb");
  test::CreateDatabase(plain, {111, 222});
  const std::vector<uint8_t> database = test::ReadBytes(plain);

  // Offsets around the edges of the search windows, with decoys before the header: a
  // signature followed by another size, and a signature cut short.
  for (int64_t offset : {int64_t{30}, int64_t{9983}, int64_t{9984}, int64_t{10000}, int64_t{19968}, int64_t{25001}}) {
    std::vector<uint8_t> bytes(static_cast<size_t>(offset), 0x5A);
    const char signature[] = "ZDBPAGEDDATABASE";
    std::memcpy(bytes.data(), signature, 16);
    le::PutU16(bytes.data() + 16, 77);
    std::memcpy(bytes.data() + offset - 16, signature, 14);
    bytes.insert(bytes.end(), database.begin(), database.end());
    test::WriteBytes(path_, bytes);

    int32_t added = 0;
    {
      TZDBDiskPageManager manager;
      EXPECT_FALSE(OpenDatabase(manager, path_));
      EXPECT_EQ(manager.HeaderPosition(), offset);
      EXPECT_EQ(manager.EncryptionRecordPosition(), offset + 76);
      EXPECT_EQ(manager.LockAreaPosition(), offset + 356);
      EXPECT_EQ(manager.ObjectIDCounterPosition(), offset + 376);
      EXPECT_EQ(manager.PageAreaStart(), offset + 380);
      EXPECT_EQ(manager.DatabaseLock().Position(), offset + 360);
      EXPECT_EQ(PageValue(manager, 2), 111u);
      EXPECT_EQ(PageValue(manager, 3), 222u);
      added = test::AddValuePage(manager, 333);
      manager.ApplyChanges(test::Session);
      EXPECT_EQ(manager.TakeObjectID(), 1);
      manager.CloseDatabaseFile();
    }
    const std::vector<uint8_t> after = test::ReadBytes(path_);
    ASSERT_EQ(static_cast<int64_t>(after.size()), offset + DefaultFileSize) << offset;
    EXPECT_EQ(le::GetI32(after.data() + offset + 38), 2) << "CommitCounter";
    EXPECT_EQ(le::GetI32(after.data() + offset + 376), 1) << "NextObjectID";
    EXPECT_EQ(le::GetU32(after.data() + offset + 380 + added * 4096 + 40), 333u);
    EXPECT_EQ(after[0], 'Z') << "the bytes before the database stay as they were";
  }
}

TEST_F(DiskOpen, ACutCommitOrAnOldFormatNeedsRepair) {
  test::CreateDatabase(path_, {1});
  const std::vector<uint8_t> good = test::ReadBytes(path_);
  const struct {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    bool needsRepair;
  } cases[] = {
      {"as created", [](std::vector<uint8_t>&) {}, false},
      {"WriteState 1", [](std::vector<uint8_t>& b) { b[42] = 1; }, true},
      {"FormatVersion 2.5", [](std::vector<uint8_t>& b) { le::PutDouble(b.data() + 18, 2.5); }, true},
      {"FormatVersion 2.99", [](std::vector<uint8_t>& b) { le::PutDouble(b.data() + 18, 2.99); }, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.change(bytes);
    test::WriteBytes(path_, bytes);
    TZDBDiskPageManager manager;
    EXPECT_EQ(OpenDatabase(manager, path_), c.needsRepair) << c.name;
    EXPECT_EQ(PageValue(manager, 2), 1u) << c.name;
  }
}

// Others may still write the file: the open keeps the multi-user coordination asked for.
TEST_F(DiskOpen, AReadOnlyFileOpensReadOnlyInTheModeAskedFor) {
  test::CreateDatabase(path_, {5});
  const std::vector<uint8_t> before = test::ReadBytes(path_);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  TZDBDiskPageManager manager;
  OpenOptions options{true, false, false};
  EXPECT_FALSE(OpenDatabase(manager, path_, options));
  EXPECT_TRUE(options.readOnly);
  EXPECT_TRUE(options.multiUser);
  EXPECT_TRUE(manager.ReadOnly());
  EXPECT_EQ(PageValue(manager, 2), 5u);
  // A read-only file cannot hand out object IDs for good; it makes unlikely ones up.
  const int32_t id = manager.TakeObjectID();
  EXPECT_GE(id, 1);
  EXPECT_LE(id, 10000);
  manager.CloseDatabaseFile();
  EXPECT_EQ(test::ReadBytes(path_), before);
}

TEST_F(DiskOpen, ExclusiveOpensAreSingleUserAndKeepOthersOut) {
  test::CreateDatabase(path_, {5});
  TZDBDiskPageManager first;
  OpenOptions options{true, true, false};
  OpenDatabase(first, path_, options);
  EXPECT_FALSE(options.multiUser);
  EXPECT_TRUE(first.Exclusive());

  // A second opener finds the file unwritable, then cannot open it at all.
  TZDBDiskPageManager second;
  OpenOptions other{true, false, false};
  auto raised = Raised([&] { OpenDatabase(second, path_, other); });
  EXPECT_EQ(raised.code, 30364);
  EXPECT_NE(raised.text.find("Error code: 32."), std::string::npos) << raised.text;
  EXPECT_FALSE(second.IsFileOpen());
}

TEST_F(DiskOpen, AManagerServesOneFile) {
  TZDBDiskPageManager manager;
  EXPECT_EQ(Raised([&] { manager.GetPage(test::Session, 2, false, TZDBPageManager::AnyPageType); }).text,
            ErrorText("Cannot perform this operation (GetPage) on a closed file", 30376));
  // A failed open leaves the manager free to try again.
  test::WriteBytes(path_, std::vector<uint8_t>(500, 0));
  EXPECT_EQ(Raised([&] { OpenDatabase(manager, path_); }).code, 10470);
  test::CreateDatabase(path_, {5});
  OpenDatabase(manager, path_);
  EXPECT_EQ(PageValue(manager, 2), 5u);
  EXPECT_EQ(Raised([&] { OpenDatabase(manager, path_); }).text,
            ErrorText("Error - database file " + path_ + " is in use.", 10462));
  EXPECT_EQ(Raised([&] { manager.CreateDatabaseFile(folder_.File("other.zdb"), TZDBPassword{}); }).text,
            ErrorText("Error - database file " + path_ + " is in use.", 10461));
  manager.CloseDatabaseFile();
  EXPECT_EQ(Raised([&] { OpenDatabase(manager, path_); }).code, 10462);
}

TEST_F(DiskOpen, CreateRefusesWhatItCannotWrite) {
  const struct {
    uint16_t pageSize;
    uint16_t pagesPerExtent;
    const char* password;
    uint8_t cipherCode;
    int32_t code;
    const char* text;
  } cases[] = {
      {63, 8, "", 0, 30455, "Invalid page size: 63. It must be from 64 to 65535"},
      {4096, 0, "", 0, 30456, "Invalid number of pages per extent: 0. It must be from 1 to 65535"},
      {4096, 8, "secret", 8, 30454, "Invalid cipher code: 8. It must be from 0 to 7"},
  };
  for (const auto& c : cases) {
    TZDBDiskPageManager manager;
    auto raised = Raised([&] {
      manager.CreateDatabaseFile(path_, TZDBPassword{c.password, c.cipherCode}, c.pagesPerExtent, c.pageSize);
    });
    EXPECT_EQ(raised.text, ErrorText(c.text, c.code));
    EXPECT_FALSE(manager.IsFileOpen());
    EXPECT_FALSE(os::FileSystem::Default().Exists(path_));
  }
  // The smallest page size makes a working file.
  test::CreateDatabase(path_, {9}, 64, 1);
  TZDBDiskPageManager manager;
  OpenDatabase(manager, path_);
  EXPECT_EQ(PageValue(manager, 2), 9u);
}

// Files that are not databases, or are damaged: each is refused with its error, the file
// is left as it was and the manager keeps nothing open.
TEST_F(DiskOpen, DamagedFilesAreRefusedAndLeftAlone) {
  test::CreateDatabase(path_, {1, 2, 3, 4});
  const std::vector<uint8_t> good = test::ReadBytes(path_);
  const std::string expectedSignature = "', expected: 'ZDBPAGEDDATABASE'";
  auto withHeader = [&](int offset, std::function<void(uint8_t*)> change) {
    std::vector<uint8_t> bytes = good;
    change(bytes.data() + offset);
    return bytes;
  };
  auto truncated = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + size); };

  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t code;
    std::string message;
  } cases[] = {
      {"empty file", {}, 10470, "Invalid file format. Found signature: '" + std::string(16, '.') + expectedSignature},
      {"zeros", std::vector<uint8_t>(30000, 0), 10470,
       "Invalid file format. Found signature: '" + std::string(16, '.') + expectedSignature},
      {"bad signature", withHeader(14, [](uint8_t* p) { p[0] = 0x01; p[1] = 'X'; }), 10470,
       "Invalid file format. Found signature: 'ZDBPAGEDDATABA.X" + expectedSignature},
      {"signature only", truncated(17), 20237, "Invalid database format"},
      {"cut in the header", truncated(50), 20237, "Invalid database format"},
      {"cut in the prologue", truncated(370), 20237,
       "Invalid database format: the file is 370 bytes long, its header describes " + std::to_string(good.size()) +
           " bytes"},
      {"cut in the pages", truncated(good.size() - 1), 20237,
       "Invalid database format: the file is " + std::to_string(good.size() - 1) + " bytes long, its header describes " +
           std::to_string(good.size()) + " bytes"},
      {"header size 77", withHeader(16, [](uint8_t* p) { le::PutU16(p, 77); }), 20237, "Invalid database format"},
      {"page size 0", withHeader(26, [](uint8_t* p) { le::PutU16(p, 0); }), 20237, "Invalid database format"},
      {"no pages per extent", withHeader(28, [](uint8_t* p) { le::PutU16(p, 0); }), 20237, "Invalid database format"},
      {"negative page count", withHeader(30, [](uint8_t* p) { le::PutI32(p, -6); }), 20237, "Invalid database format"},
      {"last page beyond the end", withHeader(34, [](uint8_t* p) { le::PutI32(p, 6); }), 20237,
       "Invalid database format"},
      {"encryption record size", withHeader(76, [](uint8_t* p) { le::PutU16(p, 200); }), 20237,
       "Invalid database format"},
      {"lock area size 0", withHeader(356, [](uint8_t* p) { le::PutU16(p, 0); }), 20237, "Invalid database format"},
      // Marked encrypted, but its zero check block is not one enciphered with no password.
      {"encrypted", withHeader(43, [](uint8_t* p) { *p = 0xFF; }), 30445, "Cannot open database - incorrect password"},
  };
  for (const auto& c : cases) {
    test::WriteBytes(path_, c.bytes);
    TZDBDiskPageManager manager;
    auto raised = Raised([&] { OpenDatabase(manager, path_); });
    EXPECT_EQ(raised.code, c.code) << c.name;
    EXPECT_EQ(raised.text, ErrorText(c.message, c.code)) << c.name;
    EXPECT_FALSE(manager.IsFileOpen()) << c.name;
    EXPECT_EQ(test::ReadBytes(path_), c.bytes) << c.name;
  }
}

TEST_F(DiskOpen, OpenWaitsForTheDatabaseLockByteThenGivesUp) {
  test::CreateDatabase(path_, {1});
  TZDBDiskPageManager holder;
  OpenOptions shared{true, false, false};
  OpenDatabase(holder, path_, shared);
  TZDBDatabaseLockGuard held(holder.DatabaseLock(), errors::DatabaseLockedAtOpen, holder.LockRetry());

  TZDBDiskPageManager manager;
  manager.SetLockRetry({3, 1});
  OpenOptions options{true, false, false};
  EXPECT_EQ(Raised([&] { OpenDatabase(manager, path_, options); }).text, ErrorText("Database is locked", 20230));
  EXPECT_FALSE(manager.IsFileOpen());
}

TEST_F(DiskOpen, PagesThatCannotBeHadRaiseTheirErrors) {
  test::CreateDatabase(path_, {1, 2, 3, 4});
  const std::vector<uint8_t> before = test::ReadBytes(path_);
  TZDBDiskPageManager manager;
  OpenDatabase(manager, path_);
  const uint16_t indexPage = PageTypeCode(TZDBPageType::TableIndex);
  const struct {
    int32_t pageNo;
    uint16_t type;
    int32_t code;
    std::string message;
  } cases[] = {
      {6, TZDBPageManager::AnyPageType, 20299, "Error reading database file page. Page No: 6, type 255"},
      {1000000, indexPage, 20299, "Error reading database file page. Page No: 1000000, type 12"},
      {-1, TZDBPageManager::AnyPageType, 10471, "Invalid PageNo = -1"},
      {-7, TZDBPageManager::AnyPageType, 10471, "Invalid PageNo = -7"},
      {2, indexPage, 20153, "Invalid page type. Possible data corruption. Expecting type 12, but found 10"},
      {0, TZDBPageManager::AnyPageType, 30434, "Cannot delete PFS or EAM page. PageNo=0"},
      {1, TZDBPageManager::AnyPageType, 30434, "Cannot delete PFS or EAM page. PageNo=1"},
  };
  for (const auto& c : cases) {
    auto raised = Raised([&] { manager.GetPage(test::Session, c.pageNo, false, c.type); });
    EXPECT_EQ(raised.text, ErrorText(c.message, c.code)) << c.pageNo;
  }
  EXPECT_EQ(Raised([&] { manager.RemovePage(test::Session, 1); }).code, 30434);
  uint8_t bytes[8];
  EXPECT_EQ(Raised([&] { manager.ReadPageBytes(2, 4090, bytes, 8); }).text,
            ErrorText("Error - invalid page offset = 4090, page size = 4096", 10476));
  EXPECT_EQ(Raised([&] { manager.WritePageBytes(2, -1, bytes, 1); }).code, 10477);
  manager.ApplyChanges(test::Session);
  manager.CloseDatabaseFile();
  EXPECT_EQ(test::ReadBytes(path_), before);
}

}  // namespace
}  // namespace zdb
