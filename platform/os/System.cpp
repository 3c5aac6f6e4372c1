#include "platform/os/System.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace os {
namespace {

// A number from a cgroup or meminfo file; nullopt for "max", a missing file or junk.
std::optional<uint64_t> ReadNumber(const std::string& path) {
  std::ifstream in(path);
  uint64_t value = 0;
  if (in >> value) return value;
  return std::nullopt;
}

// MemAvailable counts reclaimable cache, unlike the free-page count of sysconf.
uint64_t MachineAvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes) {
    std::getline(meminfo, unit);
    if (key == "MemAvailable:") return kilobytes * 1024;
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

// The room left under the memory limits of this process's cgroup (v2) and its ancestors.
uint64_t CgroupHeadroom() {
  std::ifstream self("/proc/self/cgroup");
  std::string line;
  uint64_t headroom = std::numeric_limits<uint64_t>::max();
  while (std::getline(self, line)) {
    if (line.rfind("0::", 0) != 0) continue;  // the unified (v2) hierarchy
    std::string group = line.substr(3);
    while (!group.empty() && group != "/") {
      const std::string folder = "/sys/fs/cgroup" + group;
      const auto limit = ReadNumber(folder + "/memory.max");
      const auto current = ReadNumber(folder + "/memory.current");
      if (limit && current) {
        headroom = std::min(headroom, *limit > *current ? *limit - *current : 0);
      }
      group = group.substr(0, group.find_last_of('/'));
    }
  }
  return headroom;
}

}  // namespace

void SleepMs(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t TickCountMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int32_t Random(int32_t range) {
  if (range <= 0) return 0;
  static std::mutex mutex;
  static std::mt19937 generator;
  static pid_t seededFor = 0;
  std::lock_guard<std::mutex> guard(mutex);
  // A forked child reseeds, so that parent and child do not retry in lockstep.
  if (seededFor != ::getpid()) {
    seededFor = ::getpid();
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    unsigned entropy[2] = {static_cast<unsigned>(ticks), static_cast<unsigned>(ticks >> 32)};
    try {
      std::random_device device;
      entropy[0] ^= device();
      entropy[1] ^= device();
    } catch (const std::exception&) {
      // No entropy source: the clock and the process id still differ between processes.
    }
    std::seed_seq seed{entropy[0], entropy[1], static_cast<unsigned>(seededFor)};
    generator.seed(seed);
  }
  return std::uniform_int_distribution<int32_t>(0, range - 1)(generator);
}

uint64_t AvailablePhysicalMemory() {
  return std::min(MachineAvailableMemory(), CgroupHeadroom());
}

}  // namespace os
