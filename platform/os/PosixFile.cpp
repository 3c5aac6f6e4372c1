#include "platform/os/PosixFile.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <limits>

#include "platform/os/OfdLock.h"

namespace os {
namespace {

// Largest single transfer handed to the kernel (it caps one call near 2 GiB anyway).
constexpr size_t kMaxChunk = size_t{1} << 30;

constexpr int64_t kMaxPosition = std::numeric_limits<int64_t>::max();

bool FitsAfter(int64_t position, size_t count) {
  return count <= static_cast<uint64_t>(kMaxPosition - position);
}

}  // namespace

PosixFile::PosixFile(int fd, bool writable) : fd_(fd), writable_(writable) {}

PosixFile::~PosixFile() {
  if (view_ != nullptr) ::munmap(view_, viewSize_);
  // Closing the only descriptor of the open file description drops all of its locks.
  ::close(fd_);
}

bool PosixFile::Succeed() {
  lastError_ = win32::Success;
  return true;
}

bool PosixFile::Fail(uint32_t error) {
  lastError_ = error;
  return false;
}

bool PosixFile::FailWithErrno() { return Fail(Win32ErrorFromErrno(errno)); }

bool PosixFile::Read(void* buffer, int64_t position, size_t count, size_t& bytesRead) {
  bytesRead = 0;
  if (position < 0) return Fail(win32::NegativeSeek);
  if (!FitsAfter(position, count)) return Fail(win32::InvalidParameter);
  auto* bytes = static_cast<std::byte*>(buffer);
  while (bytesRead < count) {
    const size_t chunk = std::min(count - bytesRead, kMaxChunk);
    const ssize_t n = ::pread(fd_, bytes + bytesRead, chunk,
                              static_cast<off_t>(position + static_cast<int64_t>(bytesRead)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno();
    }
    if (n == 0) break;  // end of file: a short read is a successful one
    bytesRead += static_cast<size_t>(n);
  }
  return Succeed();
}

bool PosixFile::Write(const void* buffer, int64_t position, size_t count) {
  if (!writable_) return Fail(win32::AccessDenied);
  if (position < 0) return Fail(win32::NegativeSeek);
  if (!FitsAfter(position, count)) return Fail(win32::InvalidParameter);
  const auto* bytes = static_cast<const std::byte*>(buffer);
  size_t written = 0;
  while (written < count) {
    const size_t chunk = std::min(count - written, kMaxChunk);
    const ssize_t n = ::pwrite(fd_, bytes + written, chunk,
                               static_cast<off_t>(position + static_cast<int64_t>(written)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno();
    }
    if (n == 0) return Fail(win32::DiskFull);  // no progress and no reason given
    written += static_cast<size_t>(n);
  }
  return Succeed();
}

bool PosixFile::Flush() {
  // The data and what it takes to read it back (the size) reach the disk; the times of
  // last access and change need not, and leaving them saves the file system a journal
  // commit of its own on every flush.
  while (::fdatasync(fd_) != 0) {
    if (errno != EINTR) return FailWithErrno();
  }
  return Succeed();
}

bool PosixFile::GetSize(int64_t& size) {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return FailWithErrno();
  size = status.st_size;
  return Succeed();
}

bool PosixFile::SetSize(int64_t size) {
  if (!writable_) return Fail(win32::AccessDenied);
  if (size < 0) return Fail(win32::NegativeSeek);
  while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return FailWithErrno();
  }
  return Succeed();
}

bool PosixFile::OverlapsHeldLock(int64_t position, int64_t count) const {
  auto next = heldLocks_.lower_bound(position);
  if (next != heldLocks_.end() && next->first < position + count) return true;
  if (next == heldLocks_.begin()) return false;
  auto previous = std::prev(next);
  return previous->first + previous->second > position;
}

bool PosixFile::Lock(int64_t position, int64_t count) {
  if (position < 0 || count <= 0 || count > MaxLockEnd - position) {
    return Fail(win32::InvalidParameter);
  }
  // The kernel lets a description lock its own range again; Win32 handles do not.
  if (OverlapsHeldLock(position, count)) return Fail(win32::LockViolation);
  if (uint32_t error = ofd::LockExclusive(fd_, writable_, position, count)) return Fail(error);
  heldLocks_.emplace(position, count);
  return Succeed();
}

bool PosixFile::Unlock(int64_t position, int64_t count) {
  auto held = heldLocks_.find(position);
  if (held == heldLocks_.end() || held->second != count) return Fail(win32::NotLocked);
  if (uint32_t error = ofd::Unlock(fd_, position, count)) return Fail(error);
  heldLocks_.erase(held);
  return Succeed();
}

bool PosixFile::TestLock(int64_t position, int64_t count, bool& locked) {
  if (position < 0 || count <= 0 || count > MaxLockEnd - position) {
    return Fail(win32::InvalidParameter);
  }
  if (OverlapsHeldLock(position, count)) {
    locked = true;
    return Succeed();
  }
  if (uint32_t error = ofd::HeldElsewhere(fd_, position, count, locked)) return Fail(error);
  return Succeed();
}

const volatile uint8_t* PosixFile::SharedView(size_t count) {
  if (count == 0) return nullptr;
  if (view_ != nullptr && count <= viewSize_) return static_cast<const volatile uint8_t*>(view_);
  // Bytes past the end of the file would fault when touched: only what the file holds.
  struct stat status {};
  if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
      static_cast<uint64_t>(status.st_size) < count)
    return nullptr;
  void* view = ::mmap(nullptr, count, PROT_READ, MAP_SHARED, fd_, 0);
  if (view == MAP_FAILED) return nullptr;
  if (view_ != nullptr) ::munmap(view_, viewSize_);
  view_ = view;
  viewSize_ = count;
  return static_cast<const volatile uint8_t*>(view_);
}

}  // namespace os
