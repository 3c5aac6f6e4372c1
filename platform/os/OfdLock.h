// Open-file-description locks: the primitive under byte locks and share modes.
//
// OFD locks belong to an open file description, not to a process: they conflict between
// two opens of a file also inside one process, and closing some other descriptor of the
// file does not drop them (classic POSIX locks would be dropped, so they are never used).
// Nothing here blocks. Results are 0 or a Win32 error number; a range held elsewhere gives
// win32::LockViolation.
#pragma once

#include <cstdint>

namespace os::ofd {

// Locks the range so that no other open file description can lock any of it. A descriptor
// opened for writing takes a write lock. A read-only one cannot (the kernel refuses write
// locks there), so it takes a read lock and then checks that nobody else holds any of the
// range; two read-only descriptors racing for one range may then both fail, never both win.
uint32_t LockExclusive(int fd, bool writable, int64_t start, int64_t length);
// A read lock: compatible with other read locks, refused while a write lock is held.
uint32_t LockShared(int fd, int64_t start, int64_t length);
uint32_t Unlock(int fd, int64_t start, int64_t length);
// Whether another open file description holds any lock on the range.
uint32_t HeldElsewhere(int fd, int64_t start, int64_t length, bool& held);

}  // namespace os::ofd
