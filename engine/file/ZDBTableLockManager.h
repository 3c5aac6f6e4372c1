// The table and record locks of one open database in a process, shared by its sessions.
//
// A lock that one session holds is a locked byte in the table's lock region
// (ZDBTableLocksFile.h): byte kind x N + session for kinds 0..5, the region's guard byte
// for the exclusive kind 6. Locks are taken through the process's one file handle, so
// they exclude each other between sessions of one process exactly as between processes.
// The manager keeps, per session, the locks it holds (ZDBTableLockList.h): nested takes of
// a lock only count, and a lock covered by another lock of the session on the same table
// is only noted, to be put in the file when the covering lock is released.
//
// Waiting: every wait is bounded. LockTable sleeps h + random(0 .. h - 1) ms after each
// failed attempt (h = delay base div 2), LockRecord the given delay and stops after
// delay x attempts ms; the guard byte is waited for with the page manager's LockRetry
// (4500 x 20 ms by default); the locks taken at commit wait CommitLockRetry (delay base
// 100 ms, 900 attempts). A failed lock answers false; errors are raised only where named.
//
// Threads: one critical section serialises the bookkeeping; it is left while sleeping,
// so other sessions can release their locks meanwhile. Lock order: the section, then a
// region's guard byte, then the lock bytes in the region.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/file/ZDBLockBytes.h"
#include "engine/file/ZDBTableLockKinds.h"
#include "engine/file/ZDBTableLockList.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "platform/os/System.h"

namespace zdb {

class TZDBDiskPageManager;

class TZDBDatabaseTableLockManager {
 public:
  using RecordIDBytes = TZDBTableLocksFile::RecordIDBytes;

  // Sessions 0 .. slotCount - 1. With a database opened exclusively every table lock is
  // granted at once and nothing is locked in the file.
  TZDBDatabaseTableLockManager(TZDBDiskPageManager& pageManager, int32_t slotCount);
  // Quiet: call CheckNoLocksLeft before giving the manager up.
  ~TZDBDatabaseTableLockManager() = default;
  TZDBDatabaseTableLockManager(const TZDBDatabaseTableLockManager&) = delete;
  TZDBDatabaseTableLockManager& operator=(const TZDBDatabaseTableLockManager&) = delete;

  int32_t SlotCount() const { return slotCount_; }

  // Takes a table lock of kind for the session. A lock the session holds already nests,
  // except TableLockEdit, which answers false. flag: for TableLockTransaction, other
  // sessions' TableLockEdit locks do not stand in the way. insideSection: the caller holds
  // Section() already. 20200 for a session beyond the region's slots (or the manager's);
  // 20203 when the lock byte cannot be locked after the check found no conflict.
  bool LockTable(int32_t session, TZDBTableLockKind kind, bool flag, bool insideSection, int32_t delayBaseMs,
                 int32_t attempts, TZDBTableLocksFile& region);
  // Releases one take of the lock (all of them with force). A lock the session does not
  // hold: true with onlyIfHeld, else 20202. False when the guard byte could not be had to
  // release it (the lock is then still held and still counted); 20204 when the byte
  // cannot be unlocked.
  bool UnlockTable(int32_t session, TZDBTableLockKind kind, bool force, bool onlyIfHeld,
                   TZDBTableLocksFile& region);

  // Locks a record of the table: one per session and table (a second one answers false).
  // Fails while another session has the same record locked. 20205 when the lock byte
  // cannot be locked; 20200 for a session beyond the region's slots.
  bool LockRecord(int32_t session, TZDBTableLocksFile& region, int32_t delayMs, int32_t attempts,
                  const RecordIDBytes& record);
  // False when the session has no record of the table locked. 20206 when the record's
  // lock cannot be released (it stays held and known).
  bool UnlockRecord(int32_t session, TZDBTableLocksFile& region, const RecordIDBytes& record);

  // At commit: a write lock on every table the session changed in its transaction. When
  // one cannot be had, every write lock of the session is given back and the answer is
  // false (20234 if one could not be given back).
  bool LockModifiedTables(int32_t session);
  // After commit and at rollback: a record still locked keeps its table's edit lock; then
  // every transaction and write lock of the session goes. False when an edit lock could
  // not be had (and then nothing was released).
  bool ReleaseTransactionLocks(int32_t session);

  // 20201 "Some table locks still exist" when a session still holds a lock.
  void CheckNoLocksLeft() const;

  // The session's locks, as the manager knows them.
  const TZDBTableLockList& SessionLocks(int32_t session) const;
  // The bookkeeping's critical section, for callers that pass insideSection.
  os::CriticalSection& Section() { return section_; }

  // The wait of the locks taken at commit and after it (delayMs is the delay base).
  const TZDBLockRetry& CommitLockRetry() const { return commitLockRetry_; }
  void SetCommitLockRetry(const TZDBLockRetry& retry) { commitLockRetry_ = retry; }

 private:
  class SectionScope;
  enum class ReleaseResult { Released, GuardNotObtained, UnlockFailed };

  // 20200 for a session the manager has no slot for.
  TZDBTableLockList& ListFor(int32_t session);
  bool TryLockTable(int32_t session, TZDBTableLockKind kind, bool flag, TZDBTableLocksFile& region);
  bool Conflicts(int32_t session, TZDBTableLockKind kind, bool flag, TZDBTableLocksFile& region);
  bool HeldByOthers(TZDBTableLockKind kind, int32_t session, TZDBTableLocksFile& region);
  bool TryLockRecord(int32_t session, TZDBTableLocksFile& region, const RecordIDBytes& record);
  bool RecordLockedByOthers(int32_t session, TZDBTableLocksFile& region, const RecordIDBytes& record);
  bool UnlockTableInside(int32_t session, TZDBTableLockKind kind, bool force, bool onlyIfHeld,
                         TZDBTableLocksFile& region, SectionScope& section);
  // Lets go of the file side of an applied lock that was just removed from the list.
  ReleaseResult ReleaseApplied(int32_t session, const TZDBTableLockEntry& removed, TZDBTableLocksFile& region,
                               SectionScope& section);
  // Puts in the file every lock of the session on the table that was noted under a lock
  // of kind `covering`, which is going. False when a byte could not be locked.
  bool ApplyCovered(int32_t session, TZDBTableLockKind covering, TZDBTableLocksFile& region);
  bool WaitForGuard(TZDBTableLocksFile& region, SectionScope& section);
  // Gives back every write lock of the session; 20234 if one stays.
  void GiveBackWriteLocks(int32_t session, TZDBTableLockList& list, SectionScope& section);

  TZDBDiskPageManager& pageManager_;
  int32_t slotCount_;
  bool exclusive_;
  os::CriticalSection section_;
  std::vector<TZDBTableLockList> lists_;
  TZDBLockRetry commitLockRetry_{900, 100};
};

}  // namespace zdb
