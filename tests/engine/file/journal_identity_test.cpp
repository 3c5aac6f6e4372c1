// Whose journal is it: a journal rolls back only the database it was written for, whatever
// name reaches that file, and a journal of the first format is still recovered.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBRollbackJournal.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using test::OpenDatabase;
using test::PageValue;
using test::Session;
using test::SetPageValue;
namespace J = journal_layout;

class JournalIdentity : public testing::Test {
 protected:
  void SetUp() override { pages_ = test::CreateDatabase(path_, {1, 2, 3}); }

  // A writer through that name dies in the middle of the commit that would make every
  // page 100 + its number: its journal is valid, the header says WriteState 1.
  void DieInACommit(const std::string& name) {
    os::FaultInjectingFileSystem faulty(os::FileSystem::Default());
    TZDBDiskPageManager manager(faulty);
    OpenDatabase(manager, name);
    for (const int32_t pageNo : pages_) SetPageValue(manager, pageNo, 100 + static_cast<uint32_t>(pageNo));
    faulty.CrashAfterWrites(3);  // the journal, the header's mark, one page
    manager.ApplyChanges(Session);
    ASSERT_TRUE(faulty.Crashed());
  }

  std::vector<uint32_t> Values(TZDBDiskPageManager& manager) {
    std::vector<uint32_t> values;
    for (const int32_t pageNo : pages_) values.push_back(PageValue(manager, pageNo));
    return values;
  }

  bool JournalIsValid(const std::string& databaseName) {
    return TZDBRollbackJournal(os::FileSystem::Default(), databaseName).ReadValid().has_value();
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("Zelmarot.zdb");
  std::vector<int32_t> pages_;
};

// The file was replaced (copied over in place) after its writer died: the journal beside
// it is another database's last commit, and rolling it back would write that database's
// pages into this one. It is renamed aside and reported instead.
TEST_F(JournalIdentity, AJournalOfAReplacedFileIsKeptAsideNeverRolledBack) {
  DieInACommit(path_);
  const std::string other = folder_.File("other.zdb");
  test::CreateDatabase(other, {7, 8, 9});
  {
    TZDBDiskPageManager manager;
    OpenDatabase(manager, other);
    for (uint32_t round = 0; round < 5; ++round) {  // a history of its own
      SetPageValue(manager, 2, 7 + round);
      manager.ApplyChanges(Session);
    }
    SetPageValue(manager, 2, 7);
    manager.ApplyChanges(Session);
  }
  test::WriteBytes(path_, test::ReadBytes(other));

  TZDBDiskPageManager manager;
  EXPECT_FALSE(OpenDatabase(manager, path_));
  EXPECT_EQ(Values(manager), (std::vector<uint32_t>{7, 8, 9}));
  ASSERT_FALSE(manager.KeptAsideJournal().empty());
  EXPECT_FALSE(std::filesystem::exists(TZDBRollbackJournal::FileNameFor(path_)));
  EXPECT_TRUE(std::filesystem::exists(manager.KeptAsideJournal())) << manager.KeptAsideJournal();
  EXPECT_EQ(manager.KeptAsideJournal().rfind(TZDBRollbackJournal::FileNameFor(path_) + "-kept-", 0), 0u);
}

// A journal written before the journal named its database still rolls its commit back.
TEST_F(JournalIdentity, AJournalOfTheFirstFormatIsStillRecovered) {
  DieInACommit(path_);
  const std::string journalName = TZDBRollbackJournal::FileNameFor(path_);
  std::vector<uint8_t> journal = test::ReadBytes(journalName);
  const uint32_t newPages = le::GetU32(journal.data() + J::NewPageCountOffset);
  const size_t oldBlock = J::HeaderBlockSize(newPages);
  // The same block without the identity, under format 1, with its CRC.
  std::vector<uint8_t> first(journal.begin(), journal.begin() + J::IdentityOffset);
  first.insert(first.end(), journal.begin() + J::NewPagesOffset(J::FormatVersion),
               journal.begin() + static_cast<std::ptrdiff_t>(oldBlock - J::CrcSize));
  le::PutU32(first.data() + J::FormatOffset, J::FormatWithoutIdentity);
  first.resize(first.size() + J::CrcSize);
  le::PutU32(first.data() + first.size() - J::CrcSize, Crc32(first.data(), first.size() - J::CrcSize));
  first.insert(first.end(), journal.begin() + static_cast<std::ptrdiff_t>(oldBlock), journal.end());
  test::WriteBytes(journalName, first);
  ASSERT_TRUE(JournalIsValid(path_));

  TZDBDiskPageManager manager;
  EXPECT_FALSE(OpenDatabase(manager, path_));
  EXPECT_EQ(Values(manager), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_FALSE(JournalIsValid(path_));
}

// Two names of one file are one database: a commit cut short through one name is rolled
// back by an open through the other, and one process shares one object for both.
TEST_F(JournalIdentity, TwoNamesOfOneFileAreOneDatabase) {
  const std::string link = folder_.File("Enlace.zdb");
  ASSERT_EQ(::link(path_.c_str(), link.c_str()), 0);
  DieInACommit(path_);
  {
    TZDBDiskPageManager manager;
    EXPECT_FALSE(OpenDatabase(manager, link)) << "recovered, not left for a repair";
    EXPECT_EQ(Values(manager), (std::vector<uint32_t>{1, 2, 3}));
  }
  EXPECT_FALSE(JournalIsValid(path_));

  TZDBSessionConnection first;
  TZDBSessionConnection second;
  TZDBDatabaseDataRegistry& registry = TZDBDatabaseDataRegistry::Instance();
  std::filesystem::remove(path_);
  TZDBDiskDatabaseData creator(path_);
  creator.CreateDatabase();
  std::filesystem::remove(link);
  ASSERT_EQ(::link(path_.c_str(), link.c_str()), 0);
  TZDBDiskDatabaseData& one = registry.Connect(path_, first);
  TZDBDiskDatabaseData& other = registry.Connect(link, second);
  EXPECT_EQ(&one, &other);
  registry.Disconnect(other, second);
  registry.Disconnect(one, first);
}

}  // namespace
}  // namespace zdb
