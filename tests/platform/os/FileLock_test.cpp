// Byte-range locks: exclusive, never waiting, held per handle, released with the handle
// or the process, at any position below MaxLockEnd.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os/File.h"
#include "support/PeerProcess.h"
#include "support/ScratchFolder.h"

namespace {

using os::AccessMode;
using os::IFile;
using os::ShareMode;
namespace win32 = os::win32;

constexpr int64_t Huge = os::MaxLockEnd - 16;

class FileLock : public testing::Test {
 protected:
  FileLock() : path_(scratch_.File("locks.db")) { ostest::WriteWholeFile(path_, "0123456789"); }

  std::unique_ptr<IFile> OpenShared(AccessMode access = AccessMode::ReadWrite) {
    uint32_t error = 0;
    auto file = os::FileSystem::Default().Open(path_, access, ShareMode::ReadWrite, error);
    EXPECT_NE(file, nullptr) << error;
    return file;
  }

  // The Win32 error of a lock (0 when it was taken).
  static uint32_t LockError(IFile& file, int64_t position, int64_t count) {
    return file.Lock(position, count) ? win32::Success : file.LastError();
  }

  // What TestLock finds (a failed question fails the test).
  static bool TestedLock(IFile& file, int64_t position, int64_t count) {
    bool locked = false;
    EXPECT_TRUE(file.TestLock(position, count, locked)) << file.LastError();
    return locked;
  }

  ostest::ScratchFolder scratch_;
  std::string path_;
};

// Who asks for the second lock while the first handle holds the first one.
enum class Asker { SameHandle, OtherHandle, OtherProcess };

struct LockCase {
  const char* name;
  int64_t heldPosition, heldCount;
  int64_t askedPosition, askedCount;
  bool conflicts;
};

TEST_F(FileLock, SecondLockOfAHeldByteFailsWhoeverAsks) {
  const LockCase cases[] = {
      {"same byte", 3, 1, 3, 1, true},
      {"overlap at the start", 10, 10, 5, 6, true},
      {"overlap at the end", 10, 10, 19, 5, true},
      {"inside", 10, 10, 12, 2, true},
      {"around", 10, 10, 0, 100, true},
      {"adjacent before", 10, 10, 0, 10, false},
      {"adjacent after", 10, 10, 20, 10, false},
      {"beyond the end of the file", 1000000, 1, 1000000, 1, true},
      {"huge offset", Huge, 16, Huge + 15, 1, true},
      {"next to a huge lock", Huge, 8, Huge + 8, 8, false},
  };
  ostest::PeerProcess peer;
  // Every access-mode pairing: read-only handles cannot take kernel write locks.
  for (AccessMode holderAccess : {AccessMode::ReadWrite, AccessMode::Read}) {
    for (AccessMode askerAccess : {AccessMode::ReadWrite, AccessMode::Read}) {
      for (Asker asker : {Asker::SameHandle, Asker::OtherHandle, Asker::OtherProcess}) {
        for (const LockCase& c : cases) {
          SCOPED_TRACE(testing::Message()
                       << c.name << ", asker " << static_cast<int>(asker) << ", holder access "
                       << static_cast<int>(holderAccess) << ", asker access "
                       << static_cast<int>(askerAccess));
          auto holder = OpenShared(holderAccess);
          ASSERT_EQ(LockError(*holder, c.heldPosition, c.heldCount), win32::Success);
          const uint32_t expected = c.conflicts ? win32::LockViolation : win32::Success;
          switch (asker) {
            case Asker::SameHandle:
              if (askerAccess != holderAccess) continue;
              EXPECT_EQ(TestedLock(*holder, c.askedPosition, c.askedCount), c.conflicts);
              EXPECT_EQ(LockError(*holder, c.askedPosition, c.askedCount), expected);
              break;
            case Asker::OtherHandle: {
              auto other = OpenShared(askerAccess);
              EXPECT_EQ(TestedLock(*other, c.askedPosition, c.askedCount), c.conflicts);
              EXPECT_EQ(LockError(*other, c.askedPosition, c.askedCount), expected);
              break;
            }
            case Asker::OtherProcess:
              ASSERT_EQ(peer.Open(path_, static_cast<int>(askerAccess), 1), win32::Success);
              EXPECT_EQ(peer.Lock(c.askedPosition, c.askedCount), expected);
              ASSERT_EQ(peer.Run("close"), win32::Success);
              break;
          }
        }
      }
    }
  }
}

TEST_F(FileLock, ProcessLockBlocksThisProcessUntilItEnds) {
  auto file = OpenShared();
  ostest::PeerProcess peer;
  ASSERT_EQ(peer.Open(path_, 1, 1), win32::Success);
  ASSERT_EQ(peer.Lock(360, 1), win32::Success);
  EXPECT_EQ(LockError(*file, 360, 1), win32::LockViolation);
  EXPECT_EQ(LockError(*file, 359, 1), win32::Success);

  EXPECT_EQ(peer.Run("unlock 360 1"), win32::Success);
  EXPECT_EQ(LockError(*file, 360, 1), win32::Success);
  EXPECT_EQ(peer.Lock(360, 1), win32::LockViolation);

  // A process that dies holding locks leaves none behind.
  ostest::PeerProcess crashing;
  ASSERT_EQ(crashing.Open(path_, 1, 1), win32::Success);
  ASSERT_EQ(crashing.Lock(Huge, 1), win32::Success);
  EXPECT_EQ(LockError(*file, Huge, 1), win32::LockViolation);
  crashing.Kill();
  EXPECT_EQ(LockError(*file, Huge, 1), win32::Success);
}

TEST_F(FileLock, TestingALockTakesNothingAndSeesOtherProcesses) {
  auto file = OpenShared();
  EXPECT_FALSE(TestedLock(*file, 360, 1));
  // Nothing was taken: the byte can be locked by anyone afterwards.
  ostest::PeerProcess peer;
  ASSERT_EQ(peer.Open(path_, 1, 1), win32::Success);
  ASSERT_EQ(peer.Lock(360, 1), win32::Success);
  EXPECT_TRUE(TestedLock(*file, 360, 1));
  EXPECT_TRUE(TestedLock(*file, 350, 20));
  EXPECT_FALSE(TestedLock(*file, 361, 5));
  EXPECT_EQ(peer.Run("unlock 360 1"), win32::Success);
  EXPECT_FALSE(TestedLock(*file, 360, 1));

  bool locked = false;
  EXPECT_FALSE(file->TestLock(-1, 1, locked));
  EXPECT_EQ(file->LastError(), win32::InvalidParameter);
  EXPECT_FALSE(file->TestLock(0, 0, locked));
}

TEST_F(FileLock, LocksLiveExactlyAsLongAsTheirHandle) {
  auto holder = OpenShared();
  ASSERT_TRUE(holder->Lock(5, 1));
  // Closing another handle of the same file must not drop the holder's locks (classic
  // POSIX record locks would).
  OpenShared().reset();
  EXPECT_EQ(LockError(*OpenShared(), 5, 1), win32::LockViolation);

  holder.reset();
  EXPECT_EQ(LockError(*OpenShared(), 5, 1), win32::Success);
}

TEST_F(FileLock, UnlockNeedsTheExactRangeThatWasLocked) {
  auto file = OpenShared();
  auto other = OpenShared();
  ASSERT_TRUE(file->Lock(10, 5));
  ASSERT_TRUE(file->Lock(15, 5));  // adjacent: the kernel merges them into one range

  struct UnlockCase {
    int64_t position, count;
    uint32_t expected;
  };
  const UnlockCase cases[] = {
      {10, 10, win32::NotLocked},  // the union of two locks is not one of them
      {10, 4, win32::NotLocked},
      {11, 4, win32::NotLocked},
      {100, 1, win32::NotLocked},
      {10, 5, win32::Success},
      {10, 5, win32::NotLocked},  // already released
  };
  for (const UnlockCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << "+" << c.count);
    EXPECT_EQ(file->Unlock(c.position, c.count), c.expected == win32::Success);
    EXPECT_EQ(file->LastError(), c.expected);
  }
  // Releasing the first lock left the second one whole.
  EXPECT_EQ(LockError(*other, 12, 1), win32::Success);
  EXPECT_EQ(LockError(*other, 15, 1), win32::LockViolation);
  EXPECT_EQ(LockError(*other, 19, 1), win32::LockViolation);
}

TEST_F(FileLock, RangesOutsideTheLockableSpanAreRefused) {
  auto file = OpenShared();
  const int64_t invalid[][2] = {
      {0, 0}, {5, -1}, {-1, 1}, {os::MaxLockEnd, 1}, {os::MaxLockEnd - 1, 2}};
  for (const auto& range : invalid) {
    SCOPED_TRACE(testing::Message() << range[0] << "+" << range[1]);
    EXPECT_EQ(LockError(*file, range[0], range[1]), win32::InvalidParameter);
  }
  EXPECT_EQ(LockError(*file, os::MaxLockEnd - 1, 1), win32::Success);
  EXPECT_EQ(LockError(*file, 0, os::MaxLockEnd - 1), win32::Success);
}

TEST_F(FileLock, LastErrorIsClearedBySuccess) {
  auto file = OpenShared();
  ASSERT_TRUE(file->Lock(1, 1));
  ASSERT_FALSE(file->Lock(1, 1));
  EXPECT_EQ(file->LastError(), win32::LockViolation);
  EXPECT_TRUE(file->Unlock(1, 1));
  EXPECT_EQ(file->LastError(), win32::Success);
}

}  // namespace
