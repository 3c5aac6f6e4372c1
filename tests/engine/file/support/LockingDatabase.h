// Databases for the locking tests and the two ways to be "another user" of one: a
// LockingPeer (peer/LockingPeer.cpp, a process of its own, spoken to through pipes) and
// an OpenedDatabase (a page manager of this process: its own file handle, so its locks
// exclude this process's other handles exactly as another process's do).
#pragma once


#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableLockManager.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "tests/support/ChildProcess.h"

namespace zdb::test {

struct LockingLayout {
  int32_t slotsPage = -1;
  std::vector<int32_t> regions;  // StartPageNo of each table lock region
};

// A database with its system directory, a session slots file of slotCount slots and one
// table lock region per entry of regionSlots (made for that many slots).
inline LockingLayout CreateLockingDatabase(const std::string& path, int32_t slotCount,
                                           const std::vector<int32_t>& regionSlots) {
  TZDBDiskPageManager manager;
  manager.CreateDatabaseFile(path, TZDBPassword{});
  LockingLayout layout;
  TZDBSystemDirectory directory(manager);
  directory.Create();
  TZDBActiveSessionsFile slots(manager);
  layout.slotsPage = slots.Create(slotCount);
  directory.AddEntry(TZDBSystemDirectory::ActiveSessionsFileId, layout.slotsPage);
  directory.Save();
  for (int32_t count : regionSlots) {
    TZDBTableLocksFile region(manager);
    layout.regions.push_back(region.Create(count));
  }
  manager.ApplyChanges(TZDBPageManager::SystemSession);
  manager.CloseDatabaseFile();
  return layout;
}

inline TZDBTableLocksFile::RecordIDBytes RecordID(uint32_t page, uint16_t slot) {
  TZDBTableLocksFile::RecordIDBytes bytes{};
  le::PutU32(bytes.data(), page);
  le::PutU16(bytes.data() + 4, slot);
  return bytes;
}

// The database opened by a page manager of this process, with its slots file, its lock
// manager and its regions.
class OpenedDatabase {
 public:
  OpenedDatabase(const std::string& path, const LockingLayout& layout, bool multiUser = true) {
    bool readOnly = false;
    pageManager_.OpenDatabaseFile(path, TZDBPassword{}, multiUser, false, readOnly);
    // Waits for guard bytes stay short: a test that waits, waits for a failure.
    pageManager_.SetLockRetry({3, 1});
    slots_.Open(layout.slotsPage);
    locks_ = std::make_unique<TZDBDatabaseTableLockManager>(pageManager_, slots_.SlotCount());
    locks_->SetCommitLockRetry({2, 2});
    for (int32_t start : layout.regions) {
      auto region = std::make_unique<TZDBTableLocksFile>(pageManager_);
      region->Open(start);
      regions_.push_back(std::move(region));
    }
  }

  TZDBDiskPageManager& PageManager() { return pageManager_; }
  TZDBActiveSessionsFile& Slots() { return slots_; }
  TZDBDatabaseTableLockManager& Locks() { return *locks_; }
  TZDBTableLocksFile& Region(size_t index) { return *regions_.at(index); }

  // A single attempt, no waiting.
  bool Lock(int32_t session, TZDBTableLockKind kind, size_t region, bool flag = false) {
    return locks_->LockTable(session, kind, flag, false, 0, 1, Region(region));
  }
  bool Unlock(int32_t session, TZDBTableLockKind kind, size_t region) {
    return locks_->UnlockTable(session, kind, false, false, Region(region));
  }
  bool LockRecord(int32_t session, size_t region, uint32_t page, uint16_t slot, int32_t delayMs = 0,
                  int32_t attempts = 1) {
    return locks_->LockRecord(session, Region(region), delayMs, attempts, RecordID(page, slot));
  }

 private:
  TZDBDiskPageManager pageManager_;
  TZDBActiveSessionsFile slots_{pageManager_};
  std::unique_ptr<TZDBDatabaseTableLockManager> locks_;
  std::vector<std::unique_ptr<TZDBTableLocksFile>> regions_;
};

#ifdef ZDB_LOCKING_PEER_PATH
// The peer program in a process of its own: one command line in, one number back.
class LockingPeer : public zdbtest::ChildProcess {
 public:
  LockingPeer() : ChildProcess(ZDB_LOCKING_PEER_PATH) {}

  // Opens the database (multi-user unless told otherwise) with short guard waits.
  void Open(const std::string& path, const LockingLayout& layout, bool multiUser = true) {
    if (Run("open " + path + " " + std::to_string(layout.slotsPage) + " " + (multiUser ? "1" : "0")) != 0 ||
        Run("retry 3 1") != 0)
      throw std::runtime_error("the peer cannot open the database");
  }
};
#endif

}  // namespace zdb::test
