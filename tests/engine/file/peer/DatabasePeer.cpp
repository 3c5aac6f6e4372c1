// The other process of the multi-process tests: opens a database file through its own
// page manager and acts on it on command. One command line in, one number back: 0 or the
// result asked for, or the native code of the engine exception the command raised.
//
// Commands: "open PATH" (multi-user), "lockdb", "unlockdb", "holddb MS" (locks the
// database lock byte, answers, and releases it MS milliseconds later), "write PAGE VALUE"
// (the first four data bytes of the page, committed), "read PAGE" (those bytes, with
// revalidation), "die-in-commit PAGE VALUE WRITES" (the commit of such a write lets WRITES
// writes reach the file, then the process dies on the spot), "close".
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "platform/os/System.h"

namespace {

using namespace zdb;

constexpr int32_t Session = 0;
constexpr TZDBLockRetry Quick{1, 0};

// Every file goes through it, so that a commit can be cut short where a test wants it.
os::FaultInjectingFileSystem& Files() {
  static os::FaultInjectingFileSystem files(os::FileSystem::Default());
  return files;
}

void WritePageValue(TZDBDiskPageManager& manager, int32_t pageNo, uint32_t value) {
  TZDBPageRef page(manager, Session, pageNo, true, TZDBPageManager::AnyPageType);
  le::PutU32(page->Data(), value);
  page->MarkDirty();
}

int64_t Execute(const std::string& line, std::unique_ptr<TZDBDiskPageManager>& manager) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") {
    std::string path;
    std::getline(in >> std::ws, path);
    manager = std::make_unique<TZDBDiskPageManager>(Files());
    bool multiUser = true;
    bool readOnly = false;
    manager->OpenDatabaseFile(path, TZDBPassword{}, multiUser, false, readOnly);
    return 0;
  }
  if (!manager) return -1;
  if (command == "lockdb") {
    manager->DatabaseLock().Lock(errors::DatabaseLockedAtOpen, Quick);
    return 0;
  }
  if (command == "unlockdb") {
    manager->DatabaseLock().Unlock();
    return 0;
  }
  if (command == "holddb") {
    uint32_t ms = 0;
    in >> ms;
    manager->DatabaseLock().Lock(errors::DatabaseLockedAtOpen, Quick);
    std::cout << 0 << std::endl;
    os::SleepMs(ms);
    manager->DatabaseLock().Unlock();
    return INT64_MIN;  // answered already
  }
  if (command == "read") {
    int32_t pageNo = 0;
    in >> pageNo;
    TZDBPageRef page(*manager, Session, pageNo, true, TZDBPageManager::AnyPageType);
    return le::GetU32(page->Data());
  }
  if (command == "write") {
    int32_t pageNo = 0;
    uint32_t value = 0;
    in >> pageNo >> value;
    WritePageValue(*manager, pageNo, value);
    manager->ApplyChanges(Session);
    return 0;
  }
  if (command == "die-in-commit") {
    int32_t pageNo = 0;
    uint32_t value = 0;
    uint64_t writes = 0;
    in >> pageNo >> value >> writes;
    WritePageValue(*manager, pageNo, value);
    Files().CrashAfterWrites(writes);
    manager->ApplyChanges(Session);
    std::cout << 0 << std::endl;
    std::_Exit(0);  // no destructor runs: nothing is cleaned up, as after a crash
  }
  if (command == "close") {
    manager.reset();
    return 0;
  }
  return -1;
}

}  // namespace

int main() {
  std::unique_ptr<TZDBDiskPageManager> manager;
  std::string line;
  while (std::getline(std::cin, line)) {
    int64_t reply = 0;
    try {
      reply = Execute(line, manager);
    } catch (const EZDBException& e) {
      reply = e.NativeError();
    }
    if (reply != INT64_MIN) std::cout << reply << std::endl;
  }
  return 0;
}
