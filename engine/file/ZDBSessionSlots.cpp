#include "engine/file/ZDBSessionSlots.h"

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBLockWait.h"

namespace zdb {
namespace {

constexpr int32_t NoSlot = -1;

// The slots file's guard byte for one operation. Waiting may fail; the operation goes on
// and Release() then reports the guard as not released. Should an error pass before
// Release(), the destructor lets go of the guard quietly.
class SlotsGuard {
 public:
  explicit SlotsGuard(TZDBActiveSessionsFile& slots) : slots_(slots) {
    WaitForLock(slots_.PageManager().LockRetry(), [&] { return slots_.LockGuard(); });
  }
  ~SlotsGuard() {
    if (released_) return;
    try {
      slots_.UnlockGuard();
    } catch (...) {  // an error is passing already; it is the one to report
    }
  }
  SlotsGuard(const SlotsGuard&) = delete;
  SlotsGuard& operator=(const SlotsGuard&) = delete;

  bool Release() {
    released_ = true;
    return slots_.UnlockGuard();
  }

 private:
  TZDBActiveSessionsFile& slots_;
  bool released_ = false;
};

void UnlockEverySlot(TZDBActiveSessionsFile& slots) {
  for (int32_t slot = 0; slot < slots.SlotCount(); ++slot) slots.UnlockSlot(slot);
}

}  // namespace

int32_t ConnectSession(TZDBActiveSessionsFile& slots) {
  SlotsGuard guard(slots);
  int32_t session = NoSlot;
  for (int32_t slot = 0; slot < slots.SlotCount() && session == NoSlot; ++slot) {
    if (slots.LockSlot(slot)) session = slot;
  }
  if (!guard.Release()) {
    if (session != NoSlot) slots.UnlockSlot(session);
    RaiseError(errors::ConnectUnlock);
  }
  if (session == NoSlot)
    RaiseError(errors::NoFreeSlot);
  return session;
}

void DisconnectSession(TZDBActiveSessionsFile& slots, int32_t session) {
  SlotsGuard guard(slots);
  const bool unlocked = session >= 0 && session < slots.SlotCount() && slots.UnlockSlot(session);
  if (!guard.Release()) RaiseError(errors::DisconnectUnlock);
  if (!unlocked) RaiseError(errors::Disconnect);
}

bool ClaimAllSlots(TZDBActiveSessionsFile& slots) {
  SlotsGuard guard(slots);
  bool claimed = false;
  if (!slots.IsAnySlotLocked()) {
    // Under the guard nobody else can take a slot now; a slot that still cannot be locked
    // means an unguarded taker got in, and then the claim is given up whole.
    int32_t locked = 0;
    while (locked < slots.SlotCount() && slots.LockSlot(locked)) ++locked;
    claimed = locked == slots.SlotCount();
    if (!claimed) {
      for (int32_t slot = 0; slot < locked; ++slot) slots.UnlockSlot(slot);
    }
  }
  if (!guard.Release()) {
    if (claimed) UnlockEverySlot(slots);
    RaiseError(errors::ClaimUnlock);
  }
  return claimed;
}

void ReleaseAllSlots(TZDBActiveSessionsFile& slots) {
  SlotsGuard guard(slots);
  UnlockEverySlot(slots);
  if (!guard.Release()) RaiseError(errors::ReleaseUnlock);
}

}  // namespace zdb
