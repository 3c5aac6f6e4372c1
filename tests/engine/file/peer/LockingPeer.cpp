// The other process of the locking tests: opens a database file, takes session slots and
// table and record locks on command. One command line in, one number back: the result
// asked for (a session number, 1 or 0 for a lock, 0 for done) or the native code of the
// engine exception the command raised; -1 for a command it does not know.
//
// Commands:
//   open PATH SLOTS_PAGE MULTI_USER   open the file and its session slots file
//   retry ATTEMPTS DELAY_MS           the wait for guard bytes
//   connect [COUNT]                   COUNT sessions (1 by default); answers the last number
//   disconnect SESSION
//   claim / release                   the single-user claim of every slot
//   lock SESSION KIND FLAG REGION DELAY_BASE ATTEMPTS
//   unlock SESSION KIND REGION
//   lockrecord SESSION REGION PAGE SLOT DELAY ATTEMPTS
//   unlockrecord SESSION REGION
//   holdrecord SESSION REGION PAGE SLOT MS   locks, answers, and unlocks MS ms later
//   modified SESSION / release_tx SESSION    commit start / end
//   close
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBSessionSlots.h"
#include "engine/file/ZDBTableLockManager.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "platform/os/System.h"

namespace {

using namespace zdb;

constexpr int64_t AnsweredAlready = INT64_MIN;
constexpr int64_t UnknownCommand = -1;

struct Database {
  std::unique_ptr<TZDBDiskPageManager> pageManager;
  std::unique_ptr<TZDBActiveSessionsFile> slots;
  std::unique_ptr<TZDBDatabaseTableLockManager> locks;
  std::map<int32_t, std::unique_ptr<TZDBTableLocksFile>> regions;

  TZDBTableLocksFile& Region(int32_t startPageNo) {
    auto& region = regions[startPageNo];
    if (!region) {
      region = std::make_unique<TZDBTableLocksFile>(*pageManager);
      region->Open(startPageNo);
    }
    return *region;
  }
};

TZDBTableLocksFile::RecordIDBytes RecordID(uint32_t page, uint16_t slot) {
  TZDBTableLocksFile::RecordIDBytes bytes{};
  le::PutU32(bytes.data(), page);
  le::PutU16(bytes.data() + 4, slot);
  return bytes;
}

int64_t Execute(const std::string& line, Database& db) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "open") {
    std::string path;
    int32_t slotsPage = 0;
    int multiUserFlag = 1;
    in >> path >> slotsPage >> multiUserFlag;
    db.pageManager = std::make_unique<TZDBDiskPageManager>();
    bool multiUser = multiUserFlag != 0;
    bool readOnly = false;
    db.pageManager->OpenDatabaseFile(path, TZDBPassword{}, multiUser, false, readOnly);
    db.slots = std::make_unique<TZDBActiveSessionsFile>(*db.pageManager);
    const int32_t slotCount = db.slots->Open(slotsPage);
    db.locks = std::make_unique<TZDBDatabaseTableLockManager>(*db.pageManager, slotCount);
    return 0;
  }
  if (!db.pageManager) return UnknownCommand;
  int32_t session = 0;
  int32_t region = 0;
  if (command == "retry") {
    TZDBLockRetry retry;
    in >> retry.attempts >> retry.delayMs;
    db.pageManager->SetLockRetry(retry);
    return 0;
  }
  if (command == "connect") {
    int count = 1;
    in >> count;
    int64_t last = -1;
    for (int i = 0; i < count; ++i) last = ConnectSession(*db.slots);
    return last;
  }
  if (command == "disconnect") {
    in >> session;
    DisconnectSession(*db.slots, session);
    return 0;
  }
  if (command == "claim") return ClaimAllSlots(*db.slots) ? 1 : 0;
  if (command == "release") {
    ReleaseAllSlots(*db.slots);
    return 0;
  }
  if (command == "lock") {
    int kind = 0;
    int flag = 0;
    int32_t delayBase = 0;
    int32_t attempts = 1;
    in >> session >> kind >> flag >> region >> delayBase >> attempts;
    return db.locks->LockTable(session, static_cast<TZDBTableLockKind>(kind), flag != 0, false, delayBase, attempts,
                               db.Region(region));
  }
  if (command == "unlock") {
    int kind = 0;
    in >> session >> kind >> region;
    return db.locks->UnlockTable(session, static_cast<TZDBTableLockKind>(kind), false, false, db.Region(region));
  }
  uint32_t page = 0;
  uint16_t slot = 0;
  if (command == "lockrecord") {
    int32_t delay = 0;
    int32_t attempts = 1;
    in >> session >> region >> page >> slot >> delay >> attempts;
    return db.locks->LockRecord(session, db.Region(region), delay, attempts, RecordID(page, slot));
  }
  if (command == "unlockrecord") {
    in >> session >> region;
    return db.locks->UnlockRecord(session, db.Region(region), {});
  }
  if (command == "holdrecord") {
    uint32_t ms = 0;
    in >> session >> region >> page >> slot >> ms;
    const bool locked = db.locks->LockRecord(session, db.Region(region), 0, 1, RecordID(page, slot));
    std::cout << (locked ? 1 : 0) << std::endl;
    if (locked) {
      os::SleepMs(ms);
      db.locks->UnlockRecord(session, db.Region(region), {});
    }
    return AnsweredAlready;
  }
  if (command == "modified") {
    in >> session;
    return db.locks->LockModifiedTables(session);
  }
  if (command == "release_tx") {
    in >> session;
    return db.locks->ReleaseTransactionLocks(session);
  }
  if (command == "close") {
    db.regions.clear();  // they use the page manager: gone first
    db.locks.reset();
    db.slots.reset();
    db.pageManager.reset();
    return 0;
  }
  return UnknownCommand;
}

}  // namespace

int main() {
  Database db;
  std::string line;
  while (std::getline(std::cin, line)) {
    int64_t reply = 0;
    try {
      reply = Execute(line, db);
    } catch (const EZDBException& e) {
      reply = e.NativeError();
    }
    if (reply != AnsweredAlready) std::cout << reply << std::endl;
  }
  return 0;
}
