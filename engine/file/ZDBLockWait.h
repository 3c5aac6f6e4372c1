// The bounded wait every lock of the engine uses: try; after a failure sleep and try
// again, at most retry.attempts tries in all, with no sleep after the last one. Callers
// that must let go of something while they sleep (the table lock manager's section) pass
// their own sleep.
#pragma once

#include "engine/file/ZDBLockBytes.h"
#include "platform/os/System.h"

namespace zdb {

template <typename Attempt, typename Sleep>
bool WaitForLock(const TZDBLockRetry& retry, Attempt attempt, Sleep sleep) {
  for (int32_t tries = 1; tries <= retry.attempts; ++tries) {
    if (attempt()) return true;
    if (tries < retry.attempts) sleep(retry.delayMs);
  }
  return false;
}

template <typename Attempt>
bool WaitForLock(const TZDBLockRetry& retry, Attempt attempt) {
  return WaitForLock(retry, attempt, [](uint32_t ms) { os::SleepMs(ms); });
}

}  // namespace zdb
