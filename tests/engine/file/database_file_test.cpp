// The operating-system file object under a database: state checks, messages, the retry
// after a lost handle and the rule for lock errors.
#include "engine/file/ZDBDatabaseFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/os/FaultInjectingFileSystem.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using os::FileOperation;
using test::ErrorText;
using test::Raised;
namespace win32 = os::win32;

class DatabaseFile : public testing::Test {
 protected:
  DatabaseFile() { file_.SetReopenPolicy({3, 0}); }

  void CreateWith(const std::vector<uint8_t>& bytes) {
    file_.CreateFile(path_);
    file_.WriteBuffer(bytes.data(), 0, bytes.size(), errors::PageWrite);
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("data.zdb");
  os::FaultInjectingFileSystem faulty_{os::FileSystem::Default()};
  TZDBDatabaseFile file_{faulty_};
};

TEST_F(DatabaseFile, EveryOperationChecksTheOpenStateFirst) {
  uint8_t byte = 0;
  const struct {
    const char* operation;
    std::function<void()> call;
  } closedCases[] = {
      {"CloseFile", [&] { file_.CloseFile(); }},
      {"Seek", [&] { file_.Seek(0); }},
      {"GetPosition", [&] { file_.GetPosition(); }},
      {"SetSize", [&] { file_.SetSize(0); }},
      {"GetSize", [&] { file_.GetSize(); }},
      {"ReadBuffer", [&] { file_.ReadBuffer(&byte, 0, 1); }},
      {"ReadBuffer", [&] { file_.ReadBuffer(&byte, 0, 1, errors::HeaderRead); }},
      {"WriteBuffer", [&] { file_.WriteBuffer(&byte, 0, 1, errors::HeaderWrite); }},
      {"FlushFileBuffers", [&] { file_.FlushFileBuffers(); }},
      {"LockByte", [&] { file_.LockByte(1, 0); }},
      {"UnlockByte", [&] { file_.UnlockByte(1, 0); }},
      {"IsByteLocked", [&] { file_.IsByteLocked(0); }},
      {"IsRegionLocked", [&] { file_.IsRegionLocked(1, 0); }},
  };
  for (const auto& c : closedCases) {
    auto raised = Raised(c.call);
    EXPECT_EQ(raised.code, 30376) << c.operation;
    EXPECT_EQ(raised.text, ErrorText(std::string("Cannot perform this operation (") + c.operation +
                                         ") on a closed file", 30376));
  }

  file_.CreateFile(path_);
  auto create = Raised([&] { file_.CreateFile(path_); });
  EXPECT_EQ(create.text, ErrorText("Cannot perform this operation (CreateFile) on a opened file", 30377));
  auto open = Raised([&] { file_.OpenFile(path_, 1, 1); });
  EXPECT_EQ(open.text, ErrorText("Cannot perform this operation (OpenFile) on a opened file", 30377));
}

TEST_F(DatabaseFile, CreateAndOpenReportTheirFailures) {
  EXPECT_EQ(Raised([&] { file_.CreateFile(""); }).text, ErrorText("Cannot create file with blank FileName", 30374));

  const std::string missing = folder_.File("missing.zdb");
  EXPECT_EQ(Raised([&] { file_.OpenFile(missing, 1, 1); }).text,
            ErrorText("Cannot open file:'" + missing +
                          "' Error code: 2. ErrorMessage: The system cannot find the file specified.",
                      30364));
  const std::string inMissingFolder = folder_.File("no/such.zdb");
  EXPECT_EQ(Raised([&] { file_.CreateFile(inMissingFolder); }).code, 30361);

  test::WriteBytes(path_, {1, 2, 3});
  EXPECT_EQ(Raised([&] { file_.OpenFile(path_, 2, 1); }).text, ErrorText("Unknown Access mode: '2'", 30366));
  EXPECT_EQ(Raised([&] { file_.OpenFile(path_, 1, 3); }).text, ErrorText("Unknown Share mode: '3'", 30367));
  EXPECT_FALSE(file_.IsOpen());
}

TEST_F(DatabaseFile, CreateReplacesAFileButNotOneInUse) {
  test::WriteBytes(path_, {1, 2, 3});
  file_.CreateFile(path_);
  EXPECT_EQ(file_.GetSize(), 0);
  file_.CloseFile();

  TZDBDatabaseFile user;
  user.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
  user.WriteBuffer("abc", 0, 3, errors::PageWrite);
  auto raised = Raised([&] { file_.CreateFile(path_); });
  EXPECT_EQ(raised.code, 30361);
  EXPECT_NE(raised.text.find("Error code: 32."), std::string::npos) << raised.text;
  EXPECT_EQ(test::ReadBytes(path_), (std::vector<uint8_t>{'a', 'b', 'c'}));
}

TEST_F(DatabaseFile, ReadsAtTheEndAreShortAndZeroFilled) {
  CreateWith({1, 2, 3, 4});
  std::vector<uint8_t> buffer(6, 0xEE);
  EXPECT_TRUE(file_.ReadBuffer(buffer.data(), 2, buffer.size()));
  EXPECT_EQ(buffer, (std::vector<uint8_t>{3, 4, 0, 0, 0, 0}));
  EXPECT_EQ(file_.GetPosition(), 4);
  EXPECT_FALSE(file_.ReadBufferFully(buffer.data(), 2, buffer.size()));
  EXPECT_TRUE(file_.ReadBufferFully(buffer.data(), 0, 4));
  EXPECT_FALSE(file_.ReadBuffer(buffer.data(), -1, 1));
}

TEST_F(DatabaseFile, FailuresCarryTheCallersCodeAndTheSystemError) {
  CreateWith({1, 2, 3, 4});
  uint8_t byte = 0;
  faulty_.FailCall(FileOperation::Read, 1, win32::ReadFault, true);
  EXPECT_EQ(Raised([&] { file_.ReadBuffer(&byte, 2, 1, errors::HeaderRead); }).text,
            ErrorText("Cannot Read from file: '" + path_ +
                          "' Position = 2, Count = 1, FilePosition = 4, FileSize = 4, ErrorCode:30. "
                          "ErrorMessage: The system cannot read from the specified device.",
                      10464));
  faulty_.Reset();
  faulty_.FailCall(FileOperation::Write, 1, win32::DiskFull, true);
  EXPECT_EQ(Raised([&] { file_.WriteBuffer(&byte, 8, 1, errors::PageWrite); }).text,
            ErrorText("Cannot Write to file: '" + path_ +
                          "' Position = 8, Count = 1, FilePosition = 4, FileSize = 4, ErrorCode:112. "
                          "ErrorMessage: There is not enough space on the disk.",
                      10469));
  faulty_.Reset();
  faulty_.FailCall(FileOperation::Flush, 1, win32::WriteFault, true);
  EXPECT_EQ(Raised([&] { file_.FlushFileBuffers(); }).text,
            ErrorText("Cannot flush file buffers for file: '" + path_ +
                          "'. ErrorCode:29. ErrorMessage: The system cannot write to the specified device.",
                      30379));
  faulty_.Reset();
  faulty_.FailCall(FileOperation::SetSize, 1, win32::DiskFull, true);
  EXPECT_EQ(Raised([&] { file_.SetSize(100); }).text,
            ErrorText("Cannot Truncate File '" + path_ +
                          "' to 100 bytes. ErrorCode:112. ErrorMessage: There is not enough space on the disk.",
                      30370));
  faulty_.Reset();
  EXPECT_EQ(Raised([&] { file_.Seek(-5, errors::FileSeekFailed); }).text,
            ErrorText("Cannot Set File Position to -5. FileName='" + path_ + "'. FilePosition = 4, FileSize = 4",
                      30372));
  EXPECT_EQ(Raised([&] { file_.Seek(-1); }).code, 30372);
  EXPECT_EQ(test::ReadBytes(path_), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(DatabaseFile, AFlushReachesTheDiskOnlyWhenSomethingChangedSinceTheLastOne) {
  CreateWith({1, 2, 3, 4});
  faulty_.Reset();
  file_.FlushFileBuffers();
  file_.FlushFileBuffers();  // nothing new: the commit's caller asking again
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 1u);
  const uint8_t byte = 9;
  file_.WriteBuffer(&byte, 0, 1, errors::PageWrite);
  file_.FlushFileBuffers();
  file_.SetSize(2);
  file_.FlushFileBuffers();
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 3u);
  // A failed flush is asked for again next time.
  faulty_.FailCall(FileOperation::Flush, 1, win32::WriteFault, true);
  file_.WriteBuffer(&byte, 1, 1, errors::PageWrite);
  EXPECT_EQ(Raised([&] { file_.FlushFileBuffers(); }).code, 30379);
  faulty_.Reset();
  file_.FlushFileBuffers();
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 1u);
}

TEST_F(DatabaseFile, AFailedOperationIsTriedOnceMore) {
  CreateWith({1, 2, 3, 4});
  uint8_t byte = 0;
  // The handle still works (the size can be read), so the read is simply repeated.
  faulty_.FailCall(FileOperation::Read, 1, win32::GenFailure);
  file_.ReadBuffer(&byte, 1, 1, errors::HeaderRead);
  EXPECT_EQ(byte, 2);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Read), 2u);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Open), 0u);
}

TEST_F(DatabaseFile, ALostHandleIsReopenedWithTheSameModes) {
  CreateWith({1, 2, 3, 4});
  file_.CloseFile();
  file_.OpenFile(path_, TZDBDatabaseFile::AccessReadOnly, TZDBDatabaseFile::ShareReadWrite);
  faulty_.Reset();
  // The read and the size check both fail: the handle is taken as lost.
  faulty_.FailCall(FileOperation::Read, 1, win32::InvalidHandle);
  faulty_.FailCall(FileOperation::GetSize, 1, win32::InvalidHandle);
  faulty_.FailCall(FileOperation::Open, 1, win32::BadNetPath);
  uint8_t byte = 0;
  file_.ReadBuffer(&byte, 3, 1, errors::HeaderRead);
  EXPECT_EQ(byte, 4);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Open), 2u);
  // Reopened read-only, as it was opened.
  EXPECT_EQ(Raised([&] { file_.WriteBuffer(&byte, 0, 1, errors::HeaderWrite); }).code, 10462);
}

TEST_F(DatabaseFile, AHandleThatCannotBeReopenedFailsAfterItsAttempts) {
  CreateWith({1, 2, 3, 4});
  faulty_.FailCall(FileOperation::GetSize, 1, win32::NetNameDeleted, true);
  faulty_.FailCall(FileOperation::Open, 1, win32::BadNetPath, true);
  faulty_.FailCall(FileOperation::Read, 1, win32::NetNameDeleted, true);
  uint8_t byte = 0;
  auto raised = Raised([&] { file_.ReadBuffer(&byte, 0, 1, errors::HeaderRead); });
  EXPECT_EQ(raised.code, 10464);
  EXPECT_NE(raised.text.find("ErrorCode:64."), std::string::npos) << raised.text;
  EXPECT_EQ(faulty_.CallCount(FileOperation::Open), 3u);

  faulty_.Reset();  // the network is back: the next call reopens and works
  file_.ReadBuffer(&byte, 0, 1, errors::HeaderRead);
  EXPECT_EQ(byte, 1);
}

TEST_F(DatabaseFile, LocksAreExclusivePerHandle) {
  CreateWith({0, 0, 0, 0});
  TZDBDatabaseFile other;
  file_.CloseFile();
  file_.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
  other.OpenFile(path_, TZDBDatabaseFile::AccessReadOnly, TZDBDatabaseFile::ShareReadWrite);

  EXPECT_FALSE(file_.IsByteLocked(360));
  ASSERT_TRUE(file_.LockByte(1, 360));
  EXPECT_TRUE(file_.IsByteLocked(360));  // the test lock fails through the same handle too
  EXPECT_FALSE(file_.LockByte(1, 360));
  EXPECT_TRUE(other.IsByteLocked(360));
  EXPECT_FALSE(other.LockByte(1, 360));
  EXPECT_TRUE(other.IsRegionLocked(10, 355));
  EXPECT_FALSE(other.IsRegionLocked(10, 361));
  EXPECT_FALSE(other.UnlockByte(1, 360));  // not held through this handle
  EXPECT_TRUE(file_.UnlockByte(1, 360));
  EXPECT_TRUE(other.LockByte(1, 360));
  EXPECT_FALSE(file_.LockErrorsIgnored());
  EXPECT_FALSE(other.LockErrorsIgnored());
}

// Only a file system without locks may switch lock failures off, and only for a file no
// one else can open: anywhere else another process may be relying on the byte.
TEST_F(DatabaseFile, OnlyAFileSystemWithoutLocksSwitchesLockFailuresOffAndOnlyForAnExclusiveFile) {
  CreateWith({0});
  file_.CloseFile();
  const struct {
    uint32_t error;
    uint8_t shareMode;
    bool ignored;
  } cases[] = {
      {win32::NotSupported, TZDBDatabaseFile::ShareExclusive, true},
      {win32::SharingBufferExceeded, TZDBDatabaseFile::ShareExclusive, true},
      {win32::NotSupported, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::SharingBufferExceeded, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::GenFailure, TZDBDatabaseFile::ShareExclusive, false},  // EIO and errors without a name
      {win32::AccessDenied, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::InvalidHandle, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::WriteFault, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::UnexpectedNetworkError, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::NetNameDeleted, TZDBDatabaseFile::ShareReadWrite, false},
      {win32::LockViolation, TZDBDatabaseFile::ShareExclusive, false},
  };
  for (const auto& c : cases) {
    TZDBDatabaseFile file(faulty_);
    file.SetReopenPolicy({1, 0});
    file.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, c.shareMode);
    faulty_.Reset();
    faulty_.FailCall(FileOperation::Lock, 1, c.error, true);
    EXPECT_EQ(file.LockByte(1, 7), c.ignored) << c.error;
    EXPECT_EQ(file.LockErrorsIgnored(), c.ignored) << c.error;
    // Once ignored, unlocking a byte never locked reports success as well.
    EXPECT_EQ(file.UnlockByte(1, 7), c.ignored) << c.error;
    faulty_.Reset();
  }
}

// A failed fsync may have dropped the pages it could not write; a second one would
// report them durable. The failure stands, and the next flush is a new one.
TEST_F(DatabaseFile, AFailedFlushIsNeverTriedAgain) {
  CreateWith({1, 2, 3, 4});
  faulty_.Reset();
  faulty_.FailCall(FileOperation::Flush, 1, win32::GenFailure);  // once only
  EXPECT_EQ(Raised([&] { file_.FlushFileBuffers(); }).code, 30379);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 1u);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Open), 0u);
  file_.FlushFileBuffers();
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 2u);
}

class LostHandle : public DatabaseFile {
 protected:
  void SetUp() override {
    CreateWith({1, 2, 3, 4});
    file_.CloseFile();
    file_.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
    other_.OpenFile(path_, TZDBDatabaseFile::AccessReadWrite, TZDBDatabaseFile::ShareReadWrite);
    faulty_.Reset();
  }
  // The next read finds the handle gone (the size cannot be read either) and reopens.
  uint8_t ReadThroughALostHandle() {
    faulty_.FailCall(FileOperation::Read, 1, win32::InvalidHandle);
    faulty_.FailCall(FileOperation::GetSize, 1, win32::InvalidHandle);
    uint8_t byte = 0;
    file_.ReadBuffer(&byte, 3, 1, errors::HeaderRead);
    return byte;
  }

  TZDBDatabaseFile other_;
};

TEST_F(LostHandle, TheReopenedHandleHoldsEveryLockTheOldOneHeld) {
  ASSERT_TRUE(file_.LockByte(1, 360));
  ASSERT_TRUE(file_.LockByte(2, 370));
  EXPECT_EQ(ReadThroughALostHandle(), 4);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Open), 1u);
  EXPECT_FALSE(other_.LockByte(1, 360));
  EXPECT_FALSE(other_.LockByte(1, 371));
  EXPECT_TRUE(file_.UnlockByte(1, 360));
  EXPECT_TRUE(other_.LockByte(1, 360));
}

// A lock that another process took while the handle was gone is not ours any more: its
// holder must learn of it before anything is read or written as if it still held it.
TEST_F(LostHandle, ALockThatCannotBeTakenBackFailsEveryOperationUntilItsHolderLetsGo) {
  ASSERT_TRUE(file_.LockByte(1, 360));
  faulty_.FailCall(FileOperation::Lock, 1, win32::LockViolation);  // the first lock after the reopen
  faulty_.FailCall(FileOperation::Read, 1, win32::InvalidHandle);
  faulty_.FailCall(FileOperation::GetSize, 1, win32::InvalidHandle);
  uint8_t byte = 0;
  auto raised = Raised([&] { file_.ReadBuffer(&byte, 3, 1, errors::HeaderRead); });
  EXPECT_EQ(raised.code, 10464);
  EXPECT_NE(raised.text.find("ErrorCode:158."), std::string::npos) << raised.text;
  EXPECT_EQ(Raised([&] { file_.WriteBuffer(&byte, 0, 1, errors::PageWrite); }).code, 10469);
  EXPECT_EQ(Raised([&] { file_.FlushFileBuffers(); }).code, 30379);
  EXPECT_FALSE(file_.LockByte(1, 400));
  EXPECT_FALSE(file_.ReadBuffer(&byte, 3, 1));
  EXPECT_TRUE(other_.LockByte(1, 360)) << "the byte is free for others";
  other_.UnlockByte(1, 360);

  EXPECT_TRUE(file_.UnlockByte(1, 360));  // the holder lets go
  file_.ReadBuffer(&byte, 3, 1, errors::HeaderRead);
  EXPECT_EQ(byte, 4);
  EXPECT_TRUE(file_.LockByte(1, 360));
}

// The old handle took the writes it had not flushed with it: the next flush cannot vouch
// for them, so it fails once, and the caller rewrites what matters.
TEST_F(LostHandle, WritesWaitingForAFlushMakeTheNextFlushFail) {
  const uint8_t byte = 9;
  file_.WriteBuffer(&byte, 0, 1, errors::PageWrite);
  EXPECT_EQ(ReadThroughALostHandle(), 4);
  EXPECT_EQ(Raised([&] { file_.FlushFileBuffers(); }).code, 30379);
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 0u);
  file_.WriteBuffer(&byte, 0, 1, errors::PageWrite);
  file_.FlushFileBuffers();
  EXPECT_EQ(faulty_.CallCount(FileOperation::Flush), 1u);

  // Nothing waiting for a flush, nothing in doubt.
  EXPECT_EQ(ReadThroughALostHandle(), 4);
  file_.WriteBuffer(&byte, 1, 1, errors::PageWrite);
  file_.FlushFileBuffers();
}

}  // namespace
}  // namespace zdb
