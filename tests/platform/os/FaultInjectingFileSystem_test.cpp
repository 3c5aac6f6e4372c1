// The fault-injecting wrapper the engine's tests use to fail calls and simulate crashes.
#include "platform/os/FaultInjectingFileSystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "support/ScratchFolder.h"

namespace {

using os::AccessMode;
using os::FaultInjectingFileSystem;
using os::FileOperation;
using os::FileSystem;
using os::IFile;
using os::ShareMode;
namespace win32 = os::win32;

class FaultInjection : public testing::Test {
 protected:
  FaultInjection() : path_(scratch_.File("faults.db")) {
    uint32_t error = 0;
    file_ = faulty_.Create(path_, error);
    EXPECT_NE(file_, nullptr) << error;
  }

  std::string OnDisk() { return ostest::ReadWholeFile(path_); }

  ostest::ScratchFolder scratch_;
  FaultInjectingFileSystem faulty_{FileSystem::Default()};
  std::string path_;
  std::unique_ptr<IFile> file_;
};

TEST_F(FaultInjection, TheNthWriteFailsAndTouchesNothing) {
  faulty_.FailCall(FileOperation::Write, 2, win32::DiskFull);
  EXPECT_TRUE(file_->Write("aa", 0, 2));
  EXPECT_FALSE(file_->Write("bb", 2, 2));
  EXPECT_EQ(file_->LastError(), win32::DiskFull);
  EXPECT_TRUE(file_->Write("cc", 4, 2));
  EXPECT_EQ(file_->LastError(), win32::Success);
  EXPECT_EQ(OnDisk(), std::string("aa\0\0cc", 6));
  EXPECT_EQ(faulty_.CallCount(FileOperation::Write), 3u);
}

TEST_F(FaultInjection, CallsAreCountedFromWhenTheFaultIsPlantedAcrossFiles) {
  ASSERT_TRUE(file_->Write("x", 0, 1));
  uint32_t error = 0;
  auto temporary = faulty_.CreateTemporary(error);
  ASSERT_NE(temporary, nullptr);
  faulty_.FailCall(FileOperation::Write, 2, win32::WriteFault, true);
  EXPECT_TRUE(temporary->Write("t", 0, 1));
  EXPECT_FALSE(file_->Write("y", 1, 1));  // second write from now, another file
  EXPECT_EQ(file_->LastError(), win32::WriteFault);
  EXPECT_FALSE(temporary->Write("t", 0, 1));  // persistent
  EXPECT_EQ(temporary->LastError(), win32::WriteFault);

  faulty_.Reset();
  EXPECT_TRUE(file_->Write("y", 1, 1));
  EXPECT_EQ(faulty_.CallCount(FileOperation::Write), 1u);
}

// A full disk refuses only the writes that need room: bytes the file never held, holes
// left by growing it included. Overwrites go on working, and clearing the faults gives
// the room back.
TEST_F(FaultInjection, AFullDiskRefusesOnlyWritesThatNeedRoom) {
  ASSERT_TRUE(file_->Write("abcd", 0, 4));
  ASSERT_TRUE(file_->SetSize(8));
  faulty_.FillDiskAfterWrites(1);
  EXPECT_TRUE(file_->Write("x", 8, 1)) << "one more write still has room";
  EXPECT_FALSE(file_->Write("y", 9, 1));
  EXPECT_EQ(file_->LastError(), win32::DiskFull);
  EXPECT_FALSE(file_->Write("h", 5, 1)) << "a hole takes room once written";
  EXPECT_TRUE(file_->Write("AB", 0, 2));
  EXPECT_TRUE(file_->SetSize(2));
  EXPECT_FALSE(file_->Write("c", 2, 1)) << "what was cut off is room no more";
  EXPECT_EQ(OnDisk(), "AB");
  faulty_.ClearFaults();
  EXPECT_TRUE(file_->Write("cd", 2, 2));
  EXPECT_EQ(OnDisk(), "ABcd");
}

TEST_F(FaultInjection, EveryOperationCanBeFailed) {
  ASSERT_TRUE(file_->Write("data", 0, 4));
  ASSERT_TRUE(file_->Lock(9, 1));
  char buffer[4];
  size_t bytesRead = 0;
  int64_t size = 0;
  uint32_t error = 0;
  const std::string other = scratch_.File("other.db");
  ostest::WriteWholeFile(other, "other");

  struct Case {
    FileOperation operation;
    std::function<bool()> call;  // true when the call succeeded
    std::function<uint32_t()> error;
  };
  auto fileError = [&] { return file_->LastError(); };
  auto openError = [&] { return error; };
  const Case cases[] = {
      {FileOperation::Read, [&] { return file_->Read(buffer, 0, 4, bytesRead); }, fileError},
      {FileOperation::Write, [&] { return file_->Write("z", 0, 1); }, fileError},
      {FileOperation::Flush, [&] { return file_->Flush(); }, fileError},
      {FileOperation::GetSize, [&] { return file_->GetSize(size); }, fileError},
      {FileOperation::SetSize, [&] { return file_->SetSize(1); }, fileError},
      {FileOperation::Lock, [&] { return file_->Lock(5, 1); }, fileError},
      {FileOperation::Unlock, [&] { return file_->Unlock(9, 1); }, fileError},
      {FileOperation::Open,
       [&] {
         return faulty_.Open(other, AccessMode::Read, ShareMode::ReadWrite, error) != nullptr;
       },
       openError},
      {FileOperation::Create, [&] { return faulty_.Create(other, error) != nullptr; }, openError},
      {FileOperation::CreateTemporary, [&] { return faulty_.CreateTemporary(error) != nullptr; },
       openError},
      {FileOperation::Delete, [&] { return faulty_.Delete(other, error); }, openError},
      {FileOperation::Copy, [&] { return faulty_.Copy(other, scratch_.File("copy.db"), error); }, openError},
      {FileOperation::Rename, [&] { return faulty_.Rename(other, path_, error); }, openError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.operation));
    faulty_.FailCall(c.operation, 1, win32::GenFailure);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(c.error(), win32::GenFailure);
  }
  // Nothing failed for real: the data, the size, the lock and the other file are intact.
  EXPECT_EQ(OnDisk(), "data");
  EXPECT_FALSE(file_->Lock(9, 1));
  EXPECT_EQ(file_->LastError(), win32::LockViolation);
  EXPECT_EQ(ostest::ReadWholeFile(other), "other");
  EXPECT_FALSE(FileSystem::Default().Exists(scratch_.File("copy.db")));
  EXPECT_EQ(bytesRead, 0u);
}

TEST_F(FaultInjection, ACrashKeepsTheWritesBeforeItAndTearsTheNextOne) {
  ASSERT_TRUE(file_->Write("AAAA", 0, 4));
  faulty_.CrashAfterWrites(1, 2);
  EXPECT_TRUE(file_->Write("BBBB", 4, 4));
  EXPECT_FALSE(faulty_.Crashed());
  EXPECT_TRUE(file_->Write("CCCC", 8, 4));  // torn: only "CC" lands
  EXPECT_TRUE(faulty_.Crashed());
  // After the crash everything "succeeds" and nothing reaches the file.
  EXPECT_TRUE(file_->Write("DDDD", 0, 4));
  EXPECT_TRUE(file_->SetSize(0));
  EXPECT_TRUE(file_->Flush());
  EXPECT_EQ(file_->LastError(), win32::Success);

  file_.reset();
  uint32_t error = 0;
  auto reopened = FileSystem::Default().Open(path_, AccessMode::Read, ShareMode::ReadWrite, error);
  ASSERT_NE(reopened, nullptr);
  char text[16] = {};
  size_t bytesRead = 0;
  ASSERT_TRUE(reopened->Read(text, 0, sizeof text, bytesRead));
  EXPECT_EQ(std::string(text, bytesRead), "AAAABBBBCC");
}

TEST_F(FaultInjection, FilesOutliveTheFileSystemThatOpenedThem) {
  std::unique_ptr<IFile> file;
  {
    FaultInjectingFileSystem shortLived(FileSystem::Default());
    uint32_t error = 0;
    file = shortLived.CreateTemporary(error);
    ASSERT_NE(file, nullptr);
  }
  EXPECT_TRUE(file->Write("still here", 0, 10));
}

}  // namespace
