// Reading, writing and sizing at 64-bit positions, and temporary files.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/os/File.h"
#include "support/ScratchFolder.h"

namespace {

using os::AccessMode;
using os::FileSystem;
using os::IFile;
using os::ShareMode;
namespace win32 = os::win32;

class FileIo : public testing::Test {
 protected:
  FileIo() : path_(scratch_.File("io.db")) {
    uint32_t error = 0;
    file_ = FileSystem::Default().Create(path_, error);
    EXPECT_NE(file_, nullptr) << error;
  }

  std::string ReadText(IFile& file, int64_t position, size_t count) {
    std::string text(count, '?');
    size_t bytesRead = 99;
    EXPECT_TRUE(file.Read(text.data(), position, count, bytesRead)) << file.LastError();
    text.resize(bytesRead);
    return text;
  }

  int64_t Size() {
    int64_t size = -1;
    EXPECT_TRUE(file_->GetSize(size));
    return size;
  }

  ostest::ScratchFolder scratch_;
  std::string path_;
  std::unique_ptr<IFile> file_;
};

TEST_F(FileIo, ReadsStopQuietlyAtTheEndOfTheFile) {
  ASSERT_TRUE(file_->Write("0123456789", 0, 10));
  struct Case {
    int64_t position;
    size_t count;
    std::string expected;
  };
  const Case cases[] = {
      {0, 10, "0123456789"},
      {3, 4, "3456"},
      {7, 10, "789"},  // a short read
      {10, 5, ""},     // at the end
      {int64_t{1} << 40, 5, ""},
      {4, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << "+" << c.count);
    EXPECT_EQ(ReadText(*file_, c.position, c.count), c.expected);
  }
}

TEST_F(FileIo, WritesBeyondTheEndExtendWithZerosAndSizesFollow) {
  ASSERT_TRUE(file_->Write("ab", 4, 2));
  EXPECT_EQ(Size(), 6);
  EXPECT_EQ(ReadText(*file_, 0, 6), std::string("\0\0\0\0ab", 6));

  // Positions past 32 bits (a sparse file: no disk space is used for the gap).
  const int64_t far = (int64_t{1} << 33) + 7;
  ASSERT_TRUE(file_->Write("far", far, 3)) << file_->LastError();
  EXPECT_EQ(Size(), far + 3);
  EXPECT_EQ(ReadText(*file_, far - 1, 10), std::string("\0far", 4));

  ASSERT_TRUE(file_->SetSize(5));
  EXPECT_EQ(Size(), 5);
  EXPECT_EQ(ReadText(*file_, 0, 10), std::string("\0\0\0\0a", 5));
  ASSERT_TRUE(file_->SetSize(8));
  EXPECT_EQ(ReadText(*file_, 4, 10), std::string("a\0\0\0", 4));
  EXPECT_TRUE(file_->Flush());
  EXPECT_EQ(ostest::ReadWholeFile(path_), std::string("\0\0\0\0a\0\0\0", 8));
}

TEST_F(FileIo, BadPositionsAndReadOnlyHandlesAreRefused) {
  file_.reset();
  uint32_t error = 0;
  auto reader = FileSystem::Default().Open(path_, AccessMode::Read, ShareMode::ReadWrite, error);
  auto writer =
      FileSystem::Default().Open(path_, AccessMode::ReadWrite, ShareMode::ReadWrite, error);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  char buffer[4] = {};
  size_t bytesRead = 0;

  EXPECT_FALSE(writer->Read(buffer, -1, 1, bytesRead));
  EXPECT_EQ(writer->LastError(), win32::NegativeSeek);
  EXPECT_FALSE(writer->Write(buffer, -4, 1));
  EXPECT_EQ(writer->LastError(), win32::NegativeSeek);
  EXPECT_FALSE(writer->SetSize(-1));
  EXPECT_EQ(writer->LastError(), win32::NegativeSeek);
  EXPECT_FALSE(writer->Write(buffer, INT64_MAX - 1, 4));
  EXPECT_EQ(writer->LastError(), win32::InvalidParameter);

  EXPECT_FALSE(reader->Write(buffer, 0, 1));
  EXPECT_EQ(reader->LastError(), win32::AccessDenied);
  EXPECT_FALSE(reader->SetSize(0));
  EXPECT_EQ(reader->LastError(), win32::AccessDenied);
  EXPECT_TRUE(reader->Read(buffer, 0, 4, bytesRead));
  EXPECT_EQ(reader->LastError(), win32::Success);
  EXPECT_TRUE(reader->Flush());
}

// Points TMPDIR somewhere else for one test.
class TemporaryFolderOverride {
 public:
  explicit TemporaryFolderOverride(const std::string& folder) {
    if (const char* old = ::getenv("TMPDIR")) old_ = old;
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TemporaryFolderOverride() {
    if (old_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", old_.c_str(), 1);
    }
  }

 private:
  std::string old_;
};

TEST(FileNames, CopyNeverReplacesAndReadsAFileHeldExclusively) {
  ostest::ScratchFolder scratch;
  FileSystem& files = FileSystem::Default();
  const std::string original = scratch.File("a.db");
  const std::string backup = scratch.File("a.db.bak");
  ostest::WriteWholeFile(original, "damaged");
  uint32_t error = 0;
  // Held exclusively, as a repair holds the file it replaces.
  const std::unique_ptr<IFile> held = files.Open(original, AccessMode::ReadWrite, ShareMode::Exclusive, error);
  ASSERT_NE(held, nullptr) << error;
  ASSERT_TRUE(files.Copy(original, backup, error)) << error;
  EXPECT_EQ(ostest::ReadWholeFile(backup), "damaged");

  ostest::WriteWholeFile(original, "newer");
  EXPECT_FALSE(files.Copy(original, backup, error));
  EXPECT_EQ(error, win32::FileExists);
  EXPECT_EQ(ostest::ReadWholeFile(backup), "damaged");

  EXPECT_FALSE(files.Copy(scratch.File("missing.db"), scratch.File("other.db"), error));
  EXPECT_EQ(error, win32::FileNotFound);
  EXPECT_FALSE(files.Exists(scratch.File("other.db")));
}

TEST(FileNames, RenameReplacesTheTargetInOneStep) {
  ostest::ScratchFolder scratch;
  FileSystem& files = FileSystem::Default();
  const std::string target = scratch.File("a.db");
  const std::string copy = scratch.File("a.db.tmp");
  ostest::WriteWholeFile(target, "old");
  ostest::WriteWholeFile(copy, "repaired");
  uint32_t error = 0;
  const std::unique_ptr<IFile> held = files.Open(target, AccessMode::ReadWrite, ShareMode::Exclusive, error);
  ASSERT_NE(held, nullptr) << error;
  ASSERT_TRUE(files.Rename(copy, target, error)) << error;
  EXPECT_EQ(ostest::ReadWholeFile(target), "repaired");
  EXPECT_FALSE(files.Exists(copy));
  // The handle open before keeps the file it opened.
  char buffer[3] = {};
  size_t bytesRead = 0;
  ASSERT_TRUE(held->Read(buffer, 0, sizeof buffer, bytesRead));
  EXPECT_EQ(std::string(buffer, bytesRead), "old");

  EXPECT_FALSE(files.Rename(copy, target, error));
  EXPECT_EQ(error, win32::FileNotFound);
}

TEST(SharedView, ShowsWhatAnyHandleWritesAndOnlyBytesTheFileHas) {
  ostest::ScratchFolder scratch;
  const std::string path = scratch.File("view.db");
  ostest::WriteWholeFile(path, "0123456789");
  uint32_t error = 0;
  auto reader = FileSystem::Default().Open(path, AccessMode::Read, ShareMode::ReadWrite, error);
  auto writer = FileSystem::Default().Open(path, AccessMode::ReadWrite, ShareMode::ReadWrite, error);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);

  EXPECT_EQ(reader->SharedView(11), nullptr);  // beyond the end
  EXPECT_EQ(reader->SharedView(0), nullptr);
  const volatile uint8_t* view = reader->SharedView(10);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[3], '3');
  ASSERT_TRUE(writer->Write("x", 3, 1));
  EXPECT_EQ(view[3], 'x');
  // A shorter view of the same handle is the same memory.
  EXPECT_EQ(reader->SharedView(4), view);
}

TEST(TemporaryFile, WorksLikeAFileAndLeavesNothingBehind) {
  ostest::ScratchFolder scratch;
  TemporaryFolderOverride redirect(scratch.Path());
  uint32_t error = 0;
  auto first = FileSystem::Default().CreateTemporary(error);
  auto second = FileSystem::Default().CreateTemporary(error);
  ASSERT_NE(first, nullptr) << error;
  ASSERT_NE(second, nullptr) << error;

  ASSERT_TRUE(first->Write("block", 0, 5));
  ASSERT_TRUE(second->Write("other", 0, 5));
  char text[5] = {};
  size_t bytesRead = 0;
  ASSERT_TRUE(first->Read(text, 0, 5, bytesRead));
  EXPECT_EQ(std::string(text, bytesRead), "block");
  EXPECT_TRUE(first->Lock(0, 1));
  EXPECT_TRUE(second->Lock(0, 1));  // two separate files

  // No name is ever visible, so nothing can outlive the handles, even after a crash.
  EXPECT_TRUE(std::filesystem::is_empty(scratch.Path()));
  first.reset();
  second.reset();
  EXPECT_TRUE(std::filesystem::is_empty(scratch.Path()));
}

TEST(TemporaryFile, MissingTemporaryFolderIsReported) {
  ostest::ScratchFolder scratch;
  TemporaryFolderOverride redirect(scratch.File("gone"));
  uint32_t error = 0;
  EXPECT_EQ(FileSystem::Default().CreateTemporary(error), nullptr);
  EXPECT_EQ(error, win32::PathNotFound);
}

}  // namespace
