// Share modes, and the file-level calls that must respect them: Create replaces a file
// only when nobody has it open, Delete likewise.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/os/File.h"
#include "support/PeerProcess.h"
#include "support/ScratchFolder.h"

namespace {

using os::AccessMode;
using os::FileSystem;
using os::ShareMode;
namespace win32 = os::win32;

struct OpenMode {
  AccessMode access;
  ShareMode share;
  const char* name;
};

constexpr std::array<OpenMode, 6> Modes = {{
    {AccessMode::Read, ShareMode::Exclusive, "R/excl"},
    {AccessMode::Read, ShareMode::ReadWrite, "R/shareRW"},
    {AccessMode::Read, ShareMode::Read, "R/shareR"},
    {AccessMode::ReadWrite, ShareMode::Exclusive, "RW/excl"},
    {AccessMode::ReadWrite, ShareMode::ReadWrite, "RW/shareRW"},
    {AccessMode::ReadWrite, ShareMode::Read, "RW/shareR"},
}};

// Row: the open already made; column: the open attempted next ('x' = sharing violation).
// An exclusive open admits nothing; a Read share admits no writer; a writer admits no
// open that shares only reading.
constexpr std::array<const char*, 6> Conflicts = {
    "xxxxxx",  // R/excl
    "x..x..",  // R/shareRW
    "x..xxx",  // R/shareR
    "xxxxxx",  // RW/excl
    "x.xx.x",  // RW/shareRW
    "x.xxxx",  // RW/shareR
};

class FileShare : public testing::Test {
 protected:
  FileShare() : path_(scratch_.File("shared.db")) { ostest::WriteWholeFile(path_, "data"); }

  uint32_t OpenError(const OpenMode& mode) {
    uint32_t error = 0;
    auto file = files_.Open(path_, mode.access, mode.share, error);
    EXPECT_EQ(file != nullptr, error == win32::Success);
    return error;
  }

  FileSystem& files_ = FileSystem::Default();
  ostest::ScratchFolder scratch_;
  std::string path_;
};

TEST_F(FileShare, ConflictsFollowTheWin32Rules) {
  ostest::PeerProcess peer;
  for (size_t first = 0; first < Modes.size(); ++first) {
    for (size_t second = 0; second < Modes.size(); ++second) {
      SCOPED_TRACE(testing::Message() << Modes[first].name << " then " << Modes[second].name);
      const uint32_t expected =
          Conflicts[first][second] == 'x' ? win32::SharingViolation : win32::Success;
      {
        uint32_t error = 0;
        auto held = files_.Open(path_, Modes[first].access, Modes[first].share, error);
        ASSERT_NE(held, nullptr) << error;
        EXPECT_EQ(OpenError(Modes[second]), expected) << "same process";
      }
      ASSERT_EQ(peer.Open(path_, static_cast<int>(Modes[first].access),
                          static_cast<int>(Modes[first].share)),
                win32::Success);
      EXPECT_EQ(OpenError(Modes[second]), expected) << "other process";
      ASSERT_EQ(peer.Run("close"), win32::Success);
    }
  }
}

TEST_F(FileShare, ClosingTheConflictingOpenEndsTheConflict) {
  uint32_t error = 0;
  auto exclusive = files_.Open(path_, AccessMode::ReadWrite, ShareMode::Exclusive, error);
  ASSERT_NE(exclusive, nullptr);
  EXPECT_EQ(OpenError(Modes[1]), win32::SharingViolation);
  exclusive.reset();
  EXPECT_EQ(OpenError(Modes[1]), win32::Success);

  // Two readers that share only reading coexist; a writer then has to wait for both.
  auto reader1 = files_.Open(path_, AccessMode::Read, ShareMode::Read, error);
  auto reader2 = files_.Open(path_, AccessMode::Read, ShareMode::Read, error);
  ASSERT_NE(reader1, nullptr);
  ASSERT_NE(reader2, nullptr);
  reader1.reset();
  EXPECT_EQ(OpenError(Modes[4]), win32::SharingViolation);
  reader2.reset();
  EXPECT_EQ(OpenError(Modes[4]), win32::Success);
}

TEST_F(FileShare, OpenFailuresNameTheirCause) {
  ASSERT_EQ(::mkdir(scratch_.File("folder").c_str(), 0755), 0);
  struct Case {
    std::string path;
    AccessMode access;
    ShareMode share;
    uint32_t expected;
  };
  const Case cases[] = {
      {scratch_.File("missing.db"), AccessMode::Read, ShareMode::ReadWrite, win32::FileNotFound},
      {scratch_.File("nofolder/x.db"), AccessMode::Read, ShareMode::ReadWrite,
       win32::PathNotFound},
      {path_ + "/x.db", AccessMode::Read, ShareMode::ReadWrite, win32::PathNotFound},
      {scratch_.File("folder"), AccessMode::Read, ShareMode::ReadWrite, win32::AccessDenied},
      {scratch_.File("folder"), AccessMode::ReadWrite, ShareMode::ReadWrite,
       win32::AccessDenied},
      {path_, static_cast<AccessMode>(2), ShareMode::ReadWrite, win32::InvalidParameter},
      {path_, AccessMode::Read, static_cast<ShareMode>(3), win32::InvalidParameter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    uint32_t error = 0;
    EXPECT_EQ(files_.Open(c.path, c.access, c.share, error), nullptr);
    EXPECT_EQ(error, c.expected);
  }
}

TEST_F(FileShare, ReadOnlyFileOpensForReadingAndIsReported) {
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  EXPECT_TRUE(files_.IsReadOnly(path_));
  uint32_t error = 0;
  auto file = files_.Open(path_, AccessMode::Read, ShareMode::ReadWrite, error);
  ASSERT_NE(file, nullptr) << error;
  EXPECT_TRUE(file->Lock(360, 1));  // a read-only handle still takes exclusive locks
  if (::geteuid() != 0) {  // root writes whatever the permission bits say
    EXPECT_EQ(files_.Open(path_, AccessMode::ReadWrite, ShareMode::ReadWrite, error), nullptr);
    EXPECT_EQ(error, win32::AccessDenied);
  }
}

TEST_F(FileShare, ExistsAndIsReadOnlyAnswerForFilesOnly) {
  ASSERT_EQ(::mkdir(scratch_.File("folder").c_str(), 0755), 0);
  EXPECT_TRUE(files_.Exists(path_));
  EXPECT_FALSE(files_.Exists(scratch_.File("folder")));
  EXPECT_FALSE(files_.Exists(scratch_.File("missing.db")));
  EXPECT_FALSE(files_.IsReadOnly(path_));
  EXPECT_FALSE(files_.IsReadOnly(scratch_.File("missing.db")));
}

TEST_F(FileShare, CreateMakesANewExclusiveFileReplacingAnOldOne) {
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);  // a read-only file is replaced all the same
  uint32_t error = 0;
  auto file = files_.Create(path_, error);
  ASSERT_NE(file, nullptr) << error;
  int64_t size = -1;
  ASSERT_TRUE(file->GetSize(size));
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(file->Write("new", 0, 3));
  EXPECT_FALSE(files_.IsReadOnly(path_));
  EXPECT_EQ(OpenError(Modes[1]), win32::SharingViolation);

  const std::string fresh = scratch_.File("fresh.db");
  EXPECT_NE(files_.Create(fresh, error), nullptr);
  EXPECT_TRUE(files_.Exists(fresh));
}

TEST_F(FileShare, CreateAndDeleteRefuseAFileThatIsOpen) {
  ostest::PeerProcess peer;
  ASSERT_EQ(peer.Open(path_, 0, 1), win32::Success);
  uint32_t error = 0;
  EXPECT_EQ(files_.Create(path_, error), nullptr);
  EXPECT_EQ(error, win32::SharingViolation);
  EXPECT_FALSE(files_.Delete(path_, error));
  EXPECT_EQ(error, win32::SharingViolation);
  EXPECT_EQ(ostest::ReadWholeFile(path_), "data");  // untouched

  ASSERT_EQ(peer.Run("close"), win32::Success);
  auto reader = files_.Open(path_, AccessMode::Read, ShareMode::ReadWrite, error);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(peer.Run("delete " + path_), win32::SharingViolation);
  reader.reset();
  EXPECT_EQ(peer.Run("delete " + path_), win32::Success);
  EXPECT_FALSE(files_.Exists(path_));
}

TEST_F(FileShare, DeleteFailuresNameTheirCause) {
  ASSERT_EQ(::mkdir(scratch_.File("folder").c_str(), 0755), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  uint32_t error = 0;
  EXPECT_TRUE(files_.Delete(path_, error)) << error;  // read-only is no obstacle
  EXPECT_FALSE(files_.Exists(path_));

  struct Case {
    std::string path;
    uint32_t expected;
  };
  const Case cases[] = {
      {path_, win32::FileNotFound},
      {scratch_.File("nofolder/x.db"), win32::PathNotFound},
      {scratch_.File("folder"), win32::AccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(files_.Delete(c.path, error));
    EXPECT_EQ(error, c.expected);
  }
  EXPECT_EQ(files_.Create(scratch_.File("folder"), error), nullptr);
  EXPECT_EQ(error, win32::AccessDenied);
  EXPECT_EQ(files_.Create(scratch_.File("nofolder/x.db"), error), nullptr);
  EXPECT_EQ(error, win32::PathNotFound);
}

}  // namespace
