#include "engine/file/ZDBTableLockManager.h"

#include <algorithm>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBLockWait.h"

namespace zdb {
namespace {

[[noreturn]] void RaiseSessionBeyondRegion() {
  RaiseError(errors::SessionBeyondRegion);
}

// Kinds 0..5 have a byte per slot of the region; a session beyond them can hold none.
void CheckSessionInRegion(int32_t session, TZDBTableLocksFile& region) {
  if (session < 0 || session >= region.SlotCount()) RaiseSessionBeyondRegion();
}

// Releases a guard byte taken here on every path; a guard held for an exclusive lock is
// left alone.
class GuardHold {
 public:
  GuardHold(TZDBTableLocksFile& region, bool takenHere) : region_(region), takenHere_(takenHere) {}
  ~GuardHold() {
    if (!takenHere_) return;
    try {
      region_.UnlockGuard();
    } catch (...) {  // an error is passing already; it is the one to report
    }
  }
  // Keeps the guard (it now stands for an exclusive lock).
  void Keep() { takenHere_ = false; }
  GuardHold(const GuardHold&) = delete;
  GuardHold& operator=(const GuardHold&) = delete;

 private:
  TZDBTableLocksFile& region_;
  bool takenHere_;
};

}  // namespace

// The manager's critical section for one call: entered unless the caller is inside
// already, left for every sleep and at the end.
class TZDBDatabaseTableLockManager::SectionScope {
 public:
  SectionScope(os::CriticalSection& section, bool alreadyInside) : section_(section), owned_(!alreadyInside) {
    if (owned_) section_.Enter();
  }
  ~SectionScope() {
    if (owned_) section_.Leave();
  }
  SectionScope(const SectionScope&) = delete;
  SectionScope& operator=(const SectionScope&) = delete;

  void SleepOutside(uint32_t ms) {
    section_.Leave();
    os::SleepMs(ms);
    section_.Enter();
  }

 private:
  os::CriticalSection& section_;
  bool owned_;
};

TZDBDatabaseTableLockManager::TZDBDatabaseTableLockManager(TZDBDiskPageManager& pageManager, int32_t slotCount)
    : pageManager_(pageManager),
      slotCount_(std::max(slotCount, 0)),
      exclusive_(pageManager.Exclusive()),
      lists_(static_cast<size_t>(slotCount_)) {}

TZDBTableLockList& TZDBDatabaseTableLockManager::ListFor(int32_t session) {
  if (session < 0 || session >= slotCount_) RaiseSessionBeyondRegion();
  return lists_[static_cast<size_t>(session)];
}

const TZDBTableLockList& TZDBDatabaseTableLockManager::SessionLocks(int32_t session) const {
  static const TZDBTableLockList none;
  if (session < 0 || session >= slotCount_) return none;
  return lists_[static_cast<size_t>(session)];
}

void TZDBDatabaseTableLockManager::CheckNoLocksLeft() const {
  for (const TZDBTableLockList& list : lists_) list.CheckEmpty();
}

// --- table locks ----------------------------------------------------------------------------

bool TZDBDatabaseTableLockManager::LockTable(int32_t session, TZDBTableLockKind kind, bool flag,
                                             bool insideSection, int32_t delayBaseMs, int32_t attempts,
                                             TZDBTableLocksFile& region) {
  if (exclusive_) return true;
  if (!IsTableLockKind(kind)) RaiseError(errors::SetTableLock);
  SectionScope section(section_, insideSection);
  TZDBTableLockList& list = ListFor(session);
  const int32_t table = region.StartPageNo();

  if (TZDBTableLockEntry* held = list.Find(kind, table)) {
    if (kind == TableLockEdit) return false;
    ++held->Count;
    return true;
  }
  if (list.FindCovering(kind, table)) {
    list.Add({kind, table, 1, false, true, {}});
    return true;
  }
  if (kind != TableLockExclusive) CheckSessionInRegion(session, region);

  const int32_t half = std::max(delayBaseMs, 0) / 2;
  for (int32_t attempt = 0; attempt < attempts; ++attempt) {
    if (TryLockTable(session, kind, flag, region)) {
      list.Add({kind, table, 1, true, flag, {}});
      return true;
    }
    // Randomised, so that processes that collided do not collide again in step.
    section.SleepOutside(static_cast<uint32_t>(half + os::Random(half)));
  }
  return false;
}

bool TZDBDatabaseTableLockManager::TryLockTable(int32_t session, TZDBTableLockKind kind, bool flag,
                                                TZDBTableLocksFile& region) {
  if (!region.LockGuard()) return false;  // someone is changing the region, or holds it exclusively
  GuardHold guard(region, true);
  if (Conflicts(session, kind, flag, region)) return false;
  if (kind == TableLockExclusive) {
    guard.Keep();
    return true;
  }
  if (!region.LockKind(kind, session)) RaiseError(errors::SetTableLock);
  return true;
}

bool TZDBDatabaseTableLockManager::Conflicts(int32_t session, TZDBTableLockKind kind, bool flag,
                                             TZDBTableLocksFile& region) {
  // Kind 6 is not looked for: its holder keeps the guard byte we hold now.
  for (int held = 0; held < TZDBTableLocksFile::LockKindCount; ++held) {
    const auto heldKind = static_cast<TZDBTableLockKind>(held);
    if (Compatible(heldKind, kind)) continue;
    if (kind == TableLockTransaction && flag && heldKind == TableLockEdit) continue;
    if (HeldByOthers(heldKind, session, region)) return true;
  }
  return false;
}

bool TZDBDatabaseTableLockManager::HeldByOthers(TZDBTableLockKind kind, int32_t session,
                                                TZDBTableLocksFile& region) {
  if (session >= 0 && session < region.SlotCount()) return region.IsKindLockedByOthers(kind, session);
  // A session beyond the region (asking for kind 6) holds none of its bytes.
  return region.File().IsRegionLocked(region.LockBytePosition(kind, 0), region.SlotCount());
}

bool TZDBDatabaseTableLockManager::UnlockTable(int32_t session, TZDBTableLockKind kind, bool force,
                                               bool onlyIfHeld, TZDBTableLocksFile& region) {
  if (exclusive_) return true;
  SectionScope section(section_, false);
  return UnlockTableInside(session, kind, force, onlyIfHeld, region, section);
}

bool TZDBDatabaseTableLockManager::UnlockTableInside(int32_t session, TZDBTableLockKind kind, bool force,
                                                     bool onlyIfHeld, TZDBTableLocksFile& region,
                                                     SectionScope& section) {
  const bool known = session >= 0 && session < slotCount_;
  TZDBTableLockEntry* held = known ? ListFor(session).Find(kind, region.StartPageNo()) : nullptr;
  if (!held) {
    if (onlyIfHeld) return true;
    RaiseError(errors::LockNotFound);
  }
  if (--held->Count > 0 && !force) return true;

  TZDBTableLockList& list = ListFor(session);
  TZDBTableLockEntry removed = *held;
  removed.Count = held->Count + 1;  // as it stood before this call, should it come back
  list.Remove(kind, removed.Table);
  if (!removed.Applied) return true;

  const ReleaseResult result = ReleaseApplied(session, removed, region, section);
  if (result == ReleaseResult::Released) return true;
  // The byte is still held: so is the lock.
  list.Add(removed);
  if (result == ReleaseResult::UnlockFailed) RaiseError(errors::UnlockTable);
  return false;
}

TZDBDatabaseTableLockManager::ReleaseResult TZDBDatabaseTableLockManager::ReleaseApplied(
    int32_t session, const TZDBTableLockEntry& removed, TZDBTableLocksFile& region, SectionScope& section) {
  const bool exclusive = removed.Kind == TableLockExclusive;
  // A session holding the table exclusively holds its guard byte already.
  const bool holdsGuard = exclusive || lists_[static_cast<size_t>(session)].Find(TableLockExclusive, removed.Table);
  if (!holdsGuard && !WaitForGuard(region, section)) return ReleaseResult::GuardNotObtained;
  GuardHold guard(region, !holdsGuard);
  if (!ApplyCovered(session, removed.Kind, region)) return ReleaseResult::UnlockFailed;
  const bool unlocked = exclusive ? region.UnlockGuard() : region.UnlockKind(removed.Kind, session);
  return unlocked ? ReleaseResult::Released : ReleaseResult::UnlockFailed;
}

bool TZDBDatabaseTableLockManager::ApplyCovered(int32_t session, TZDBTableLockKind covering,
                                                TZDBTableLocksFile& region) {
  const int32_t table = region.StartPageNo();
  for (TZDBTableLockEntry& entry : lists_[static_cast<size_t>(session)].Entries()) {
    if (entry.Table != table || entry.Applied || !Covers(covering, entry.Kind)) continue;
    CheckSessionInRegion(session, region);
    if (!region.LockKind(entry.Kind, session)) return false;
    if (entry.Kind == TableLockRecord) region.WriteRecordID(session, entry.Record);
    entry.Applied = true;
  }
  return true;
}

bool TZDBDatabaseTableLockManager::WaitForGuard(TZDBTableLocksFile& region, SectionScope& section) {
  return WaitForLock(
      pageManager_.LockRetry(), [&] { return region.LockGuard(); }, [&](uint32_t ms) { section.SleepOutside(ms); });
}

// --- record locks ---------------------------------------------------------------------------

bool TZDBDatabaseTableLockManager::LockRecord(int32_t session, TZDBTableLocksFile& region, int32_t delayMs,
                                              int32_t attempts, const RecordIDBytes& record) {
  const uint32_t start = os::TickCountMs();
  SectionScope section(section_, false);
  TZDBTableLockList& list = ListFor(session);
  const int32_t table = region.StartPageNo();
  if (list.Find(TableLockRecord, table)) return false;  // one record per session and table

  // Nobody else can be editing this table: note the record, and put it in the file if
  // the lock that keeps the others out goes first.
  const TZDBTableLockEntry* transaction = list.Find(TableLockTransaction, table);
  if (list.Find(TableLockExclusive, table) || (transaction && !transaction->Flag)) {
    list.Add({TableLockRecord, table, 1, false, true, record});
    return true;
  }
  CheckSessionInRegion(session, region);

  const uint32_t delay = static_cast<uint32_t>(std::max(delayMs, 0));
  const uint64_t deadline = static_cast<uint64_t>(delay) * static_cast<uint64_t>(std::max(attempts, 0));
  for (int32_t attempt = 0; attempt < attempts; ++attempt) {
    if (TryLockRecord(session, region, record)) {
      list.Add({TableLockRecord, table, 1, true, true, record});
      return true;
    }
    section.SleepOutside(delay);
    if (static_cast<uint32_t>(os::TickCountMs() - start) >= deadline) break;
  }
  return false;
}

bool TZDBDatabaseTableLockManager::TryLockRecord(int32_t session, TZDBTableLocksFile& region,
                                                 const RecordIDBytes& record) {
  if (!region.LockGuard()) return false;
  GuardHold guard(region, true);
  if (RecordLockedByOthers(session, region, record)) return false;
  if (!region.LockKind(TableLockRecord, session)) RaiseError(errors::LockRecord);
  region.WriteRecordID(session, record);
  return true;
}

bool TZDBDatabaseTableLockManager::RecordLockedByOthers(int32_t session, TZDBTableLocksFile& region,
                                                        const RecordIDBytes& record) {
  if (!region.IsKindLockedByOthers(TableLockRecord, session)) return false;
  // Some other session has a record locked: read every stored identifier at once and
  // test the lock byte only of those that name this record (a stale identifier whose
  // byte is free does not count).
  const int32_t slots = region.SlotCount();
  std::vector<uint8_t> ids(static_cast<size_t>(slots) * TZDBTableLocksFile::RecordIDSize);
  region.File().DirectReadBuffer(ids.data(), static_cast<int32_t>(ids.size()), region.RecordIDPosition(0));
  for (int32_t other = 0; other < slots; ++other) {
    if (other == session) continue;
    const auto first = ids.begin() + static_cast<std::ptrdiff_t>(other) * TZDBTableLocksFile::RecordIDSize;
    if (!std::equal(record.begin(), record.end(), first)) continue;
    if (region.IsKindLocked(TableLockRecord, other)) return true;
  }
  return false;
}

bool TZDBDatabaseTableLockManager::UnlockRecord(int32_t session, TZDBTableLocksFile& region,
                                                const RecordIDBytes& /*record*/) {
  SectionScope section(section_, false);
  if (session < 0 || session >= slotCount_) return false;
  TZDBTableLockList& list = lists_[static_cast<size_t>(session)];
  const int32_t table = region.StartPageNo();
  TZDBTableLockEntry* held = list.Find(TableLockRecord, table);
  if (!held) return false;
  const TZDBTableLockEntry removed = *held;
  list.Remove(TableLockRecord, table);
  if (!removed.Applied) return true;

  // The stored identifier is left as it is: it counts only while the byte is locked.
  const bool holdsGuard = list.Find(TableLockExclusive, table) != nullptr;
  bool unlocked = holdsGuard || WaitForGuard(region, section);
  if (unlocked) {
    GuardHold guard(region, !holdsGuard);
    unlocked = region.UnlockKind(TableLockRecord, session);
  }
  if (!unlocked) {
    list.Add(removed);
    RaiseError(errors::UnlockRecord);
  }
  return true;
}

// --- transactions ---------------------------------------------------------------------------

bool TZDBDatabaseTableLockManager::LockModifiedTables(int32_t session) {
  SectionScope section(section_, false);
  TZDBTableLockList& list = ListFor(session);
  std::vector<int32_t> tables;
  for (int32_t table : list.TablesWith(TableLockTransaction)) {
    if (!list.Find(TableLockWrite, table) && !list.FindCovering(TableLockWrite, table)) tables.push_back(table);
  }
  bool locked = true;
  try {
    for (int32_t table : tables) {
      TZDBTableLocksFile region(pageManager_);
      region.Open(table);
      if (!LockTable(session, TableLockWrite, true, true, static_cast<int32_t>(commitLockRetry_.delayMs),
                     commitLockRetry_.attempts, region)) {
        locked = false;
        break;
      }
    }
  } catch (...) {
    // No write lock may outlive a commit that failed.
    GiveBackWriteLocks(session, list, section);
    throw;
  }
  if (!locked) GiveBackWriteLocks(session, list, section);
  return locked;
}

void TZDBDatabaseTableLockManager::GiveBackWriteLocks(int32_t session, TZDBTableLockList& list,
                                                      SectionScope& section) {
  for (int32_t table : list.TablesWith(TableLockWrite)) {
    try {
      TZDBTableLocksFile region(pageManager_);
      region.Open(table);
      UnlockTableInside(session, TableLockWrite, true, true, region, section);
    } catch (const EZDBException&) {  // reported below: the lock is still listed
    }
  }
  if (!list.TablesWith(TableLockWrite).empty())
    RaiseError(errors::WriteLocksLeft);
}

bool TZDBDatabaseTableLockManager::ReleaseTransactionLocks(int32_t session) {
  SectionScope section(section_, false);
  TZDBTableLockList& list = ListFor(session);
  // A record still locked (an edit begun in the transaction goes on) keeps its table's
  // edit lock once the transaction's locks go.
  for (int32_t table : list.TablesWith(TableLockRecord)) {
    if (list.Find(TableLockEdit, table)) continue;
    if (list.Find(TableLockExclusive, table)) {
      list.Add({TableLockEdit, table, 1, false, true, {}});
      continue;
    }
    TZDBTableLocksFile region(pageManager_);
    region.Open(table);
    if (!LockTable(session, TableLockEdit, true, true, static_cast<int32_t>(commitLockRetry_.delayMs),
                   commitLockRetry_.attempts, region))
      return false;
  }
  bool released = true;
  for (TZDBTableLockKind kind : {TableLockTransaction, TableLockWrite}) {
    for (int32_t table : list.TablesWith(kind)) {
      TZDBTableLocksFile region(pageManager_);
      region.Open(table);
      released = UnlockTableInside(session, kind, true, true, region, section) && released;
    }
  }
  return released;
}

}  // namespace zdb
