#include "platform/os/ShareModes.h"

#include "platform/os/OfdLock.h"
#include "platform/os/System.h"

namespace os::share {
namespace {

constexpr int64_t kGate = MaxLockEnd;
constexpr int64_t kReadAccess = MaxLockEnd + 1;
constexpr int64_t kWriteAccess = MaxLockEnd + 2;
constexpr int64_t kDenyRead = MaxLockEnd + 3;
constexpr int64_t kDenyWrite = MaxLockEnd + 4;

// The gate is held for a handful of system calls, so a short bounded wait suffices.
constexpr int kGateAttempts = 1000;
constexpr uint32_t kGateDelayMs = 1;

uint32_t AcquireGate(int fd, bool writable) {
  for (int attempt = 0;; ++attempt) {
    uint32_t error = ofd::LockExclusive(fd, writable, kGate, 1);
    if (error != win32::LockViolation) return error;
    if (attempt + 1 == kGateAttempts) return win32::SharingViolation;
    SleepMs(kGateDelayMs + static_cast<uint32_t>(Random(2)));  // jitter breaks lockstep
  }
}

}  // namespace

Gate::Gate(int fd, bool writable) : fd_(fd), error_(AcquireGate(fd, writable)) {}

Gate::~Gate() {
  if (error_ == win32::Success) ofd::Unlock(fd_, kGate, 1);
}

uint32_t Claim(int fd, bool writable, AccessMode access, ShareMode share) {
  const bool writes = access == AccessMode::ReadWrite;
  const bool deniesRead = share == ShareMode::Exclusive;
  const bool deniesWrite = share == ShareMode::Exclusive || share == ShareMode::Read;

  Gate gate(fd, writable);
  if (gate.Error() != win32::Success) return gate.Error();

  struct Need {
    bool applies;
    int64_t mine;
    int64_t against;
  };
  const Need needs[] = {{true, kReadAccess, kDenyRead},
                        {writes, kWriteAccess, kDenyWrite},
                        {deniesRead, kDenyRead, kReadAccess},
                        {deniesWrite, kDenyWrite, kWriteAccess}};
  for (const Need& need : needs) {
    if (!need.applies) continue;
    bool held = false;
    if (uint32_t error = ofd::HeldElsewhere(fd, need.against, 1, held)) return error;
    if (held) return win32::SharingViolation;
  }
  for (const Need& need : needs) {
    if (!need.applies) continue;
    // Only a writer that ignores the gate could refuse this; report it as a conflict.
    if (uint32_t error = ofd::LockShared(fd, need.mine, 1)) {
      return error == win32::LockViolation ? win32::SharingViolation : error;
    }
  }
  return win32::Success;
}

uint32_t OpenElsewhere(int fd, bool& open) {
  return ofd::HeldElsewhere(fd, kReadAccess, 1, open);
}

}  // namespace os::share
