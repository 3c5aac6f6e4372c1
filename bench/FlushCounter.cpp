#include "bench/FlushCounter.h"

#include <dlfcn.h>

#include <atomic>

namespace {

std::atomic<int64_t> flushes{0};

using SyncCall = int (*)(int);

SyncCall Next(const char* name) {
  return reinterpret_cast<SyncCall>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace bench {

int64_t FlushCount() { return flushes.load(); }

}  // namespace bench

// The executable's own definitions take the place of the C library's for every library of
// the process, SQLite's included.
extern "C" int fsync(int fd) {
  static const SyncCall real = Next("fsync");
  ++flushes;
  return real(fd);
}

extern "C" int fdatasync(int fd) {
  static const SyncCall real = Next("fdatasync");
  ++flushes;
  return real(fd);
}
