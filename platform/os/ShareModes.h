// Win32 share modes emulated with OFD locks on sentinel bytes beyond MaxLockEnd.
//
// Every open holds read locks on the bytes that describe it:
//   ReadAccess  - every open (all access modes read)
//   WriteAccess - opens with AccessMode::ReadWrite
//   DenyRead    - opens with ShareMode::Exclusive
//   DenyWrite   - opens with ShareMode::Exclusive or ShareMode::Read
// A new open conflicts when another open holds the counterpart of one of its bytes
// (ReadAccess against DenyRead, WriteAccess against DenyWrite, in both directions). Read
// locks do not exclude each other, so that test is made under a gate byte that every
// opener holds exclusively for the few calls it takes; read locks also work on descriptors
// opened read-only, which cannot take write locks.
#pragma once

#include <cstdint>

#include "platform/os/File.h"

namespace os::share {

// Holds the gate for its lifetime; waits a bounded time (about a second) for it.
class Gate {
 public:
  Gate(int fd, bool writable);
  ~Gate();
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;

  // 0 when the gate is held, else the Win32 error (SharingViolation when it stayed busy).
  uint32_t Error() const { return error_; }

 private:
  int fd_;
  uint32_t error_;
};

// Takes the share-mode locks of a newly opened description; 0, or SharingViolation when an
// open elsewhere conflicts, or another Win32 error.
uint32_t Claim(int fd, bool writable, AccessMode access, ShareMode share);

// Whether another description has the file open through this layer; the caller holds the
// gate, so that no open can start meanwhile.
uint32_t OpenElsewhere(int fd, bool& open);

}  // namespace os::share
