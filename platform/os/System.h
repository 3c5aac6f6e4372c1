// Time, randomness, memory and mutual exclusion: the small platform services the
// engine's retry loops, page versions and cache sizing rely on.
#pragma once

#include <cstdint>
#include <mutex>

namespace os {

void SleepMs(uint32_t milliseconds);
// Milliseconds since some fixed moment; wraps like the 32-bit Win32 tick count.
uint32_t TickCountMs();
// A pseudo-random integer in 0 .. range - 1 (0 when range <= 0); seeded once per process
// (a forked child seeds anew, so processes retrying for one lock do not draw alike);
// safe from any thread.
int32_t Random(int32_t range);
// Bytes of physical memory currently available to the process: the machine's available
// memory, lowered to the room left under the memory limit of the process's cgroup.
uint64_t AvailablePhysicalMemory();

// Re-entrant, like a Win32 critical section: the owning thread may enter again.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }

  // Lockable, so std::lock_guard / std::unique_lock serve as the RAII guard.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

}  // namespace os
