#include "platform/os/OfdLock.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/os/File.h"

namespace os::ofd {
namespace {

// A refused lock is reported as EAGAIN or EACCES (POSIX allows both). Either means "held
// elsewhere", never "access denied".
uint32_t LockErrorFromErrno(int err) {
  if (err == EAGAIN || err == EACCES) return win32::LockViolation;
  return Win32ErrorFromErrno(err);
}

struct flock Range(short type, int64_t start, int64_t length) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  range.l_pid = 0;  // must be 0 for OFD locks
  return range;
}

uint32_t Set(int fd, short type, int64_t start, int64_t length) {
  struct flock range = Range(type, start, length);
  while (fcntl(fd, F_OFD_SETLK, &range) != 0) {
    if (errno != EINTR) return LockErrorFromErrno(errno);
  }
  return win32::Success;
}

}  // namespace

uint32_t LockExclusive(int fd, bool writable, int64_t start, int64_t length) {
  if (writable) return Set(fd, F_WRLCK, start, length);
  if (uint32_t error = Set(fd, F_RDLCK, start, length)) return error;
  bool held = false;
  uint32_t error = HeldElsewhere(fd, start, length, held);
  if (error == win32::Success && !held) return win32::Success;
  Unlock(fd, start, length);
  return error != win32::Success ? error : win32::LockViolation;
}

uint32_t LockShared(int fd, int64_t start, int64_t length) {
  return Set(fd, F_RDLCK, start, length);
}

uint32_t Unlock(int fd, int64_t start, int64_t length) {
  return Set(fd, F_UNLCK, start, length);
}

uint32_t HeldElsewhere(int fd, int64_t start, int64_t length, bool& held) {
  // A write lock conflicts with every lock; the kernel ignores this description's own.
  struct flock range = Range(F_WRLCK, start, length);
  while (fcntl(fd, F_OFD_GETLK, &range) != 0) {
    if (errno != EINTR) return LockErrorFromErrno(errno);
  }
  held = range.l_type != F_UNLCK;
  return win32::Success;
}

}  // namespace os::ofd
