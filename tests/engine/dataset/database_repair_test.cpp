// What the database component asks the user while it connects: the repair of a file
// that was not closed properly, the conversion of an old one, the password of an
// encrypted one; and the repair's copy, its failures and its abort.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/ZDBCipherCodes.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/SessionTestSupport.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::Raised;
using test::RecordingDataset;
using test::ScriptedUserScope;

TZDBSession& DefaultSession() { return Sessions().DefaultSession(); }

class DatabaseRepair : public testing::Test {
 protected:
  DatabaseRepair() {
    test::MakeDatabaseFile(path_);
    zelmarot_.SetDatabaseName("Zelmarot");
    zelmarot_.SetMultiUser(true);
    zelmarot_.SetDatabaseFileName(path_);
  }
  ~DatabaseRepair() override {
    TZDBDatabase::SetTableCopier(nullptr);  // the default copier again
    zelmarot_.Close();
    EXPECT_FALSE(test::IsOpenInProcess(path_));
    EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("Zelmarot.zdb");
  TZDBDatabase zelmarot_;
};

TEST_F(DatabaseRepair, DamagedFileIsAskedAboutOnceAndOpensAsItIsOnNo) {
  test::MarkCommitCutShort(path_);
  ScriptedUserScope user;
  {
    RecordingDataset maximo(DefaultSession(), "Zelmarot");
    RecordingDataset porcentajes(DefaultSession(), "Zelmarot");
  }
  RecordingDataset maximo(DefaultSession(), "Zelmarot");
  EXPECT_EQ(user->questions,
            std::vector<std::string>{"Database file was not correctly closed last time. Do you want to repair it?"});
  EXPECT_TRUE(zelmarot_.Connected());
  EXPECT_TRUE(user->waitMessages.empty());
  EXPECT_EQ(test::WriteState(path_), layout::WriteStateWriting);

  // Asked again at the next connect only.
  maximo.Close();
  zelmarot_.Close();
  zelmarot_.Open();
  EXPECT_EQ(user->questions.size(), 2u);
}

// A journal left by another database's writer (the file was replaced after it died) is
// not applied to this one: the user hears where it was kept, and nothing needs repair.
TEST_F(DatabaseRepair, AJournalOfAnotherDatabaseIsKeptAsideWithAWarning) {
  const std::string other = folder_.File("Otra.zdb");
  test::MakeDatabaseFile(other);
  {
    os::FaultInjectingFileSystem faulty(os::FileSystem::Default());
    TZDBDiskPageManager writer(faulty);
    bool multiUser = false;
    bool readOnly = false;
    writer.OpenDatabaseFile(other, TZDBPassword{}, multiUser, false, readOnly);
    for (int round = 0; round < 4; ++round) {  // a commit history of its own
      TZDBPageRef page(writer, 0, 2, false, TZDBPageManager::AnyPageType);
      page->MarkDirty();
      page.Release();
      writer.ApplyChanges(0);
    }
    TZDBPageRef page(writer, 0, 2, false, TZDBPageManager::AnyPageType);
    page->MarkDirty();
    page.Release();
    faulty.CrashAfterWrites(2);
    writer.ApplyChanges(0);
  }
  std::filesystem::copy_file(other + "-journal", path_ + "-journal");
  ScriptedUserScope user;
  zelmarot_.Open();
  ASSERT_EQ(user->warnings.size(), 1u);
  EXPECT_EQ(user->warnings[0].rfind("A rollback journal beside the database file belonged to another database and "
                                    "was not applied. It was kept as '" + path_ + "-journal-kept-", 0), 0u)
      << user->warnings[0];
  EXPECT_TRUE(user->questions.empty());
  EXPECT_FALSE(std::filesystem::exists(path_ + "-journal"));
}

TEST_F(DatabaseRepair, WithoutAUserTheDamagedFileOpensAsItIs) {
  test::MarkCommitCutShort(path_);
  zelmarot_.Open();
  EXPECT_TRUE(zelmarot_.Connected());
  EXPECT_EQ(test::WriteState(path_), layout::WriteStateWriting);
}

TEST_F(DatabaseRepair, WhoDecidesAboutADamagedFile) {
  struct Case {
    const char* what;
    bool silent;
    bool eventSet;
    bool eventAnswer;
    size_t questions;
    bool repaired;
  };
  const Case cases[] = {
      {"silent: nobody is asked", true, false, false, 0, false},
      {"the event decides: no", false, true, false, 0, false},
      {"the event decides: yes", false, true, true, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::MarkCommitCutShort(path_);
    ScriptedUserScope user;
    user->repair = true;
    zelmarot_.SetSilentMode(c.silent);
    int events = 0;
    zelmarot_.OnNeedRepair = nullptr;
    if (c.eventSet)
      zelmarot_.OnNeedRepair = [&](TZDBDatabase&) {
        ++events;
        return c.eventAnswer;
      };
    zelmarot_.Open();
    EXPECT_TRUE(zelmarot_.Connected());
    EXPECT_EQ(user->questions.size(), c.questions);
    EXPECT_EQ(events, c.eventSet ? 1 : 0);
    EXPECT_EQ(test::WriteState(path_), c.repaired ? layout::WriteStateConsistent : layout::WriteStateWriting);
    zelmarot_.Close();
  }
}

TEST_F(DatabaseRepair, YesRepairsTheFileAndConnectsToTheRepairedOne) {
  test::MarkCommitCutShort(path_);
  ScriptedUserScope user;
  user->repair = true;
  RecordingDataset maximo(DefaultSession(), "Zelmarot");
  EXPECT_EQ(user->questions.size(), 1u);
  EXPECT_EQ(user->waitMessages, std::vector<std::string>{"Repairing Database..."});
  EXPECT_TRUE(user->warnings.empty());
  EXPECT_TRUE(zelmarot_.Connected());
  EXPECT_FALSE(zelmarot_.IsRepairing());
  EXPECT_EQ(test::WriteState(path_), layout::WriteStateConsistent);
  // The component's own settings are back: multi-user, not exclusive.
  EXPECT_TRUE(zelmarot_.Handle()->MultiUser());
  EXPECT_FALSE(zelmarot_.Exclusive());
  // The copy's temporary component has gone.
  EXPECT_EQ(DefaultSession().Databases(), std::vector<TZDBDatabase*>{&zelmarot_});
}

TEST_F(DatabaseRepair, EveryRepairKeepsItsOwnBackupOfTheDamagedFile) {
  // An older backup of the same name stays as it is.
  test::WriteBytes(path_ + ".bak", {1, 2, 3});
  std::vector<std::vector<uint8_t>> damaged;
  for (int i = 0; i < 2; ++i) {
    test::MarkCommitCutShort(path_);
    damaged.push_back(test::ReadBytes(path_));
    EXPECT_TRUE(zelmarot_.Repair());
    EXPECT_EQ(test::WriteState(path_), layout::WriteStateConsistent);
  }
  EXPECT_EQ(test::ReadBytes(path_ + ".bak"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(test::ReadBytes(path_ + ".1.bak"), damaged[0]);
  EXPECT_EQ(test::ReadBytes(path_ + ".2.bak"), damaged[1]);
  EXPECT_EQ(zelmarot_.LastRepairReport().BackupFileName, path_ + ".2.bak");
  EXPECT_EQ(zelmarot_.LastRepairReport().Lines(), std::vector<std::string>{"Backup of the damaged file: " + path_ +
                                                                           ".2.bak"});
}

TEST_F(DatabaseRepair, TheFilesGoThroughTheFileSystemTheComponentIsGiven) {
  os::FaultInjectingFileSystem files(os::FileSystem::Default());
  zelmarot_.SetFileSystem(files);
  zelmarot_.Open();
  EXPECT_GT(files.CallCount(os::FileOperation::Open), 0u);
  zelmarot_.Close();

  // The repair's copy, backup and swap go through it too: a refused swap keeps the
  // damaged file in place and takes its fresh backup away again.
  test::MarkCommitCutShort(path_);
  const std::vector<uint8_t> damaged = test::ReadBytes(path_);
  files.FailCall(os::FileOperation::Rename, 1, os::win32::AccessDenied, true);
  ScriptedUserScope user;
  EXPECT_FALSE(zelmarot_.Repair());
  EXPECT_GT(files.CallCount(os::FileOperation::Copy), 0u);
  EXPECT_EQ(test::ReadBytes(path_), damaged);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".bak"));
  EXPECT_FALSE(zelmarot_.LastRepairReport().Replaced);
}

TEST_F(DatabaseRepair, RepairThatCannotReadTheTableListLeavesTheFileAsItWas) {
  test::ListTables(path_, {"Maximo"});
  test::MarkCommitCutShort(path_);
  // The table list is page 4 of a new file.
  std::vector<uint8_t> bytes = test::ReadBytes(path_);
  std::fill_n(bytes.begin() + 380 + 4 * 4096, 4096, uint8_t{0xAB});
  test::WriteBytes(path_, bytes);
  ScriptedUserScope user;
  EXPECT_FALSE(zelmarot_.Repair());
  ASSERT_EQ(user->warnings.size(), 1u);
  EXPECT_EQ(user->warnings[0].rfind("The list of tables cannot be read, so nothing can be copied: ", 0), 0u)
      << user->warnings[0];
  EXPECT_EQ(test::ReadBytes(path_), bytes);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".bak"));
  EXPECT_FALSE(zelmarot_.LastRepairReport().Replaced);
}

TEST_F(DatabaseRepair, OldFormatIsConvertedAfterANotice) {
  test::SetFormatVersion(path_, 2.5);
  ScriptedUserScope user;
  zelmarot_.Open();
  EXPECT_TRUE(user->questions.empty());
  EXPECT_EQ(user->notices,
            std::vector<std::string>{"Database file you are opening is of old format. It will be converted to the "
                                     "current database format now. It is recommended to make a backup of the "
                                     "database before continuing."});
  EXPECT_EQ(test::FormatVersion(path_), layout::CurrentFormatVersion);
  EXPECT_TRUE(zelmarot_.Connected());
}

TEST_F(DatabaseRepair, ReadOnlyFileOpensReadOnlyWithoutARepair) {
  test::MarkCommitCutShort(path_);
  test::MakeReadOnly(path_);
  ScriptedUserScope user;
  user->repair = true;
  zelmarot_.Open();
  EXPECT_TRUE(zelmarot_.ReadOnly());
  // Others may write the file: it is read with the coordination asked for.
  EXPECT_TRUE(zelmarot_.Handle()->MultiUser());
  EXPECT_TRUE(user->questions.empty());
  EXPECT_EQ(test::WriteState(path_), layout::WriteStateWriting);

  // A second multi-user component joins the file, read-only as well.
  TZDBDatabase other;
  other.SetDatabaseName("Other");
  other.SetMultiUser(true);
  other.SetDatabaseFileName(path_);
  other.Open();
  EXPECT_EQ(other.DatabaseData(), zelmarot_.DatabaseData());
  EXPECT_TRUE(other.ReadOnly());
  other.Close();
}

TEST_F(DatabaseRepair, EveryTableGoesThroughTheCopier) {
  test::ListTables(path_, {"Maximo", "Porcentajes"});
  std::vector<std::string> copied;
  std::string targetFile;
  TZDBDatabase::SetTableCopier(
      [&](TZDBDiskPageManager& source, const TZDBTableListEntry& table, TZDBDatabase& target) {
        EXPECT_TRUE(source.IsFileOpen());
        EXPECT_TRUE(zelmarot_.IsRepairing());
        EXPECT_TRUE(target.Connected());
        targetFile = target.DatabaseFileName();
        copied.push_back(table.Name);
        TZDBTableRepairReport report;
        report.TableName = table.Name;
        return report;
      });
  std::vector<int> progress;
  zelmarot_.OnRepairProgress = [&](TZDBDatabase&, int percent) {
    progress.push_back(percent);
    return true;
  };
  ScriptedUserScope user;
  EXPECT_TRUE(zelmarot_.Repair());
  EXPECT_EQ(copied, (std::vector<std::string>{"Maximo", "Porcentajes"}));
  EXPECT_EQ(targetFile, path_ + ".tmp");
  EXPECT_EQ(progress, (std::vector<int>{0, 50, 100}));
  // The events replace the wait window.
  EXPECT_TRUE(user->waitMessages.empty());
  EXPECT_FALSE(zelmarot_.Connected());
}

TEST_F(DatabaseRepair, FailedOrAbortedCopyLeavesTheOldFile) {
  struct Case {
    const char* what;
    bool failingCopier;  // else the default one
    bool abort;
    const char* warning;  // nullptr: none
  };
  const Case cases[] = {
      {"a table fails", true, false, "Problem occured while copying table 'Maximo': 'boom'"},
      // A name in the table list without the table's files behind it.
      {"the default copier meets a table it cannot read", false, false,
       "Problem occured while copying table 'Maximo': 'Cannot perform this operation (ReadFile) on closed internal "
       "file - Native error: 30389'"},
      {"aborted", true, true, nullptr},
  };
  test::ListTables(path_, {"Maximo"});
  test::MarkCommitCutShort(path_);
  const std::vector<uint8_t> before = test::ReadBytes(path_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TZDBDatabase::SetTableCopier(nullptr);
    if (c.failingCopier)
      TZDBDatabase::SetTableCopier([](TZDBDiskPageManager&, const TZDBTableListEntry&, TZDBDatabase&)
                                       -> TZDBTableRepairReport { throw data::EDatabaseError("boom"); });
    ScriptedUserScope user;
    user->repair = true;
    user->abortWait = c.abort;
    zelmarot_.Open();
    EXPECT_EQ(user->questions.size(), 1u);
    EXPECT_EQ(user->warnings, c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
    // Connected to the file as it was.
    EXPECT_TRUE(zelmarot_.Connected());
    EXPECT_EQ(test::ReadBytes(path_), before);
    EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
    zelmarot_.Close();
  }
}

TEST_F(DatabaseRepair, FileInUseElsewhereIsNotReplaced) {
  test::MarkCommitCutShort(path_);
  ScriptedUserScope user;
  // Another component of the process holds the file open.
  TZDBDatabase other;
  other.SetDatabaseName("Other");
  other.SetDatabaseFileName(path_);
  other.SetMultiUser(true);
  other.SetSilentMode(true);
  other.Open();
  user->repair = true;
  EXPECT_FALSE(zelmarot_.Repair());
  ASSERT_EQ(user->warnings.size(), 1u);
  EXPECT_EQ(user->warnings[0].rfind("Cannot open file:'" + path_ + "' Error code: 32.", 0), 0u) << user->warnings[0];
  EXPECT_EQ(test::WriteState(path_), layout::WriteStateWriting);
  other.Close();
}

class EncryptedDatabase : public DatabaseRepair {
 protected:
  EncryptedDatabase() {
    std::filesystem::remove(path_);
    test::MakeDatabaseFile(path_, 500, {"secreto", CipherCodeOf(TZDBCipherCode::Blowfish)});
  }
};

TEST_F(EncryptedDatabase, PasswordPromptUntilTheRightOneOrCancel) {
  // Without a user nobody types a password.
  EXPECT_EQ(Raised([&] { zelmarot_.Open(); }).code, 30445);

  ScriptedUserScope user;
  user->passwords = {"wrong", "secreto"};
  zelmarot_.Open();
  EXPECT_EQ(user->passwordPrompts, 2);
  EXPECT_EQ(zelmarot_.Password(), "secreto");
  EXPECT_EQ(zelmarot_.EncryptionAlgorithm(), CipherCodeOf(TZDBCipherCode::Blowfish));
  zelmarot_.Close();

  // Cancel lets the password error pass on.
  zelmarot_.SetPassword("");
  user->passwords.clear();
  user->passwordPrompts = 0;
  EXPECT_EQ(Raised([&] { zelmarot_.Open(); }).text, ErrorText("Cannot open database - incorrect password", 30445));
  EXPECT_EQ(user->passwordPrompts, 1);
  EXPECT_FALSE(zelmarot_.Connected());

  // Silent: no prompt at all.
  zelmarot_.SetSilentMode(true);
  EXPECT_EQ(Raised([&] { zelmarot_.Open(); }).code, 30445);
  EXPECT_EQ(user->passwordPrompts, 1);

  // The event answers instead of the prompt.
  zelmarot_.OnPassword = [](TZDBDatabase& database) {
    database.SetPassword("secreto");
    return true;
  };
  zelmarot_.Open();
  EXPECT_TRUE(zelmarot_.Connected());
}

TEST_F(EncryptedDatabase, OpenFileRefusesAnotherPassword) {
  zelmarot_.SetPassword("secreto");
  zelmarot_.Open();
  TZDBDatabase other;
  other.SetDatabaseName("Other");
  other.SetDatabaseFileName(path_);
  other.SetMultiUser(true);
  other.SetPassword("otro");
  EXPECT_EQ(Raised([&] { other.Open(); }).text, ErrorText("Database password is invalid.", 20298));
  EXPECT_FALSE(other.Connected());
  other.SetPassword("secreto");
  other.Open();
  EXPECT_EQ(other.DatabaseData(), zelmarot_.DatabaseData());
  other.Close();
}

}  // namespace
}  // namespace zdb
