// The lock bytes of the prologue, through which processes sharing a database file take
// turns: the database lock byte (header, bitmap pages, commits), the tables lock byte
// (creating, deleting, renaming, opening tables) and the object-ID lock byte (the
// NextObjectID counter). Every wait is a bounded retry: try, and after a failure sleep
// and try again, at most `attempts` tries in all.
//
// The database lock byte is counted per page manager: only the first holder locks the
// byte and only the last one releases it, so nested holders in one process never wait
// for themselves. The other two bytes are not counted.
#pragma once

#include <cstdint>
#include <mutex>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBDatabaseFile.h"

namespace zdb {

struct TZDBLockRetry {
  int32_t attempts = 4500;
  uint32_t delayMs = 20;
};

// Locks one byte, retrying as above; false when every attempt failed.
bool LockByteWithRetry(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry);

class TZDBDatabaseLock {
 public:
  explicit TZDBDatabaseLock(TZDBDatabaseFile& file) : file_(file) {}
  TZDBDatabaseLock(const TZDBDatabaseLock&) = delete;
  TZDBDatabaseLock& operator=(const TZDBDatabaseLock&) = delete;

  // The byte moves with the lock area; it must not move while held.
  void SetPosition(int64_t position) { position_ = position; }
  int64_t Position() const { return position_; }

  // Counts one more holder, locking the byte for the first; raises errorCode
  // "Database is locked" when the byte stays held elsewhere.
  void Lock(const TZDBError& errorCode, const TZDBLockRetry& retry);
  // Counts one more holder when the byte is ours already or free at once; false, and
  // nothing counted, when another holds it.
  bool TryLock();
  // Counts one holder less, releasing the byte with the last. A release the file
  // refuses cannot be helped: the byte goes with the handle when the file is closed.
  void Unlock();
  int32_t Count() const { return count_; }
  // Forgets every holder without touching the file (the file was closed).
  void Reset() { count_ = 0; }

 private:
  TZDBDatabaseFile& file_;
  int64_t position_ = 0;
  int32_t count_ = 0;
};

// Holds the database lock byte for its lifetime.
class TZDBDatabaseLockGuard {
 public:
  TZDBDatabaseLockGuard(TZDBDatabaseLock& lock, const TZDBError& errorCode, const TZDBLockRetry& retry) : lock_(lock) {
    lock_.Lock(errorCode, retry);
  }
  // Takes over a hold counted already (by TryLock).
  TZDBDatabaseLockGuard(TZDBDatabaseLock& lock, std::adopt_lock_t) : lock_(lock) {}
  ~TZDBDatabaseLockGuard() { lock_.Unlock(); }
  TZDBDatabaseLockGuard(const TZDBDatabaseLockGuard&) = delete;
  TZDBDatabaseLockGuard& operator=(const TZDBDatabaseLockGuard&) = delete;

 private:
  TZDBDatabaseLock& lock_;
};

// The tables lock byte. Lock raises 20210 "Database tables are locked"; Unlock raises
// 20211 "Cannot unlock database tables".
void LockTablesByte(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry);
void UnlockTablesByte(TZDBDatabaseFile& file, int64_t position);

// Holds the tables lock byte; Release() reports a failed release, the destructor of a
// guard that was not released (an exception is passing) releases silently.
class TZDBTablesLockGuard {
 public:
  TZDBTablesLockGuard(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry);
  ~TZDBTablesLockGuard();
  TZDBTablesLockGuard(const TZDBTablesLockGuard&) = delete;
  TZDBTablesLockGuard& operator=(const TZDBTablesLockGuard&) = delete;

  void Release();

 private:
  TZDBDatabaseFile& file_;
  int64_t position_;
  bool held_ = true;
};

// Takes the next object ID from the counter at counterPosition under its lock byte
// (30401 when it stays locked; 30400 read, 30404 write). A read-only file cannot store
// the new value, so it answers the value plus a random 0..9999 instead, which makes a
// clash with other read-only takers unlikely.
int32_t TakeObjectID(TZDBDatabaseFile& file, int64_t counterPosition, bool readOnly, const TZDBLockRetry& retry);
// Writes the counter of a new file, 0, under its lock byte (30401; 30406 write).
void InitializeObjectIDCounter(TZDBDatabaseFile& file, int64_t counterPosition, const TZDBLockRetry& retry);

}  // namespace zdb
