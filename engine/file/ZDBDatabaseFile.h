// The operating-system file under a database: every byte of the database is read,
// written and locked through one of these (one per file per process, shared by its
// sessions).
//
// Contract: each operation first checks the open state (30376 on a closed file; 30377
// for CreateFile/OpenFile on an open one) and raises the engine's exception with its
// own code, or the caller's code where the caller names one, on failure. When an
// operation fails, the object asks for the file size to see whether its handle still
// works; if not, it reopens the file with the same name and modes (3 attempts, a pause
// after each failed one), and with a working handle it tries the operation once more
// before reporting the failure. A reopened handle takes back every lock the old one
// held; a lock it cannot take back is lost, and every operation but unlocking fails
// until its holder has let go of it, so nothing is read or written as if it were still
// held.
//
// A flush is never tried twice: a failed fsync may have dropped the unwritten pages and
// a second one would report success for them. For the same reason the first flush after
// a reopen that came while writes were waiting for a flush fails: the old handle took
// their fate with it. Either way the caller must treat every write since its last good
// flush as lost.
//
// Locks are exclusive, non-blocking and held per handle. Only a file system that cannot
// lock at all (the lock call is not supported there) may make the object stop reporting
// lock failures (LockErrorsIgnored), and only on a file opened exclusively, where no
// other process can be relying on the bytes; any other failure is reported as one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBReadOverlay.h"

#include "platform/os/File.h"

namespace zdb {

class TZDBDatabaseFile {
 public:
  static constexpr uint8_t AccessReadOnly = 0;
  static constexpr uint8_t AccessReadWrite = 1;
  static constexpr uint8_t ShareExclusive = 0;
  static constexpr uint8_t ShareReadWrite = 1;  // others may read and write
  static constexpr uint8_t ShareRead = 2;       // others may only read

  // How hard a lost handle is fought for.
  struct ReopenPolicy {
    int32_t attempts = 3;
    uint32_t pauseMs = 1000;  // after each failed attempt
  };

  explicit TZDBDatabaseFile(os::FileSystem& fileSystem = os::FileSystem::Default());
  // Closes the handle if still open; a destructor cannot report, so nothing is raised.
  ~TZDBDatabaseFile();
  TZDBDatabaseFile(const TZDBDatabaseFile&) = delete;
  TZDBDatabaseFile& operator=(const TZDBDatabaseFile&) = delete;

  // Replaces any file of that name by a new empty one, read-write and exclusive.
  // 30374 blank name; 30361 when the file cannot be created, also when an existing one
  // is open elsewhere (it is not deleted from under its users).
  void CreateFile(const std::string& fileName);
  // Opens an existing file. 30366 / 30367 unknown modes; 30364 failure.
  void OpenFile(const std::string& fileName, uint8_t accessMode, uint8_t shareMode);
  // Closing releases every lock the handle held.
  void CloseFile();

  // The file position that the next positional read or write leaves behind; kept for
  // the messages that quote it. errorCode is the caller's (30372 by default).
  void Seek(int64_t position, const TZDBError& errorCode = errors::FileSeekFailed);
  void SetPosition(int64_t position, const TZDBError& errorCode = errors::FileSeekFailed) { Seek(position, errorCode); }
  int64_t GetPosition();

  // Truncates or extends (with zeros). 30370.
  void SetSize(int64_t size);
  // 30371.
  int64_t GetSize();

  // Reads count bytes at position; false on failure. A read that ends at the end of the
  // file counts as success; the bytes beyond the end are zero in the buffer.
  bool ReadBuffer(void* buffer, int64_t position, size_t count);
  // As above, but a read that ends at the end of the file before count bytes is a
  // failure too (for callers that need whole structures, like pages).
  bool ReadBufferFully(void* buffer, int64_t position, size_t count);
  // Reads count bytes at position from the file's shared view of its start (no call to the
  // system) when the handle has one that covers them, else from the file; false when
  // neither gives them all.
  bool ReadStartBytes(void* buffer, int64_t position, size_t count);
  // ReadBuffer, raising "Cannot Read from file ..." with the caller's code on failure.
  void ReadBuffer(void* buffer, int64_t position, size_t count, const TZDBError& errorCode);
  // Raises "Cannot Write to file ..." with the caller's code on failure.
  void WriteBuffer(const void* buffer, int64_t position, size_t count, const TZDBError& errorCode);
  // Makes written bytes durable. 30379. Without a write or size change since the last
  // flush there is nothing to make durable, and the disk is not asked again.
  void FlushFileBuffers();
  // Whether anything was written or resized since the last flush that succeeded.
  bool HasUnflushedChanges() const { return unflushedChanges_; }

  // Non-blocking exclusive lock of count bytes at position; false when not obtained.
  bool LockByte(int64_t count, int64_t position);
  bool UnlockByte(int64_t count, int64_t position);
  // Whether the byte (region) is locked by anyone, this object included.
  bool IsByteLocked(int64_t position);
  bool IsRegionLocked(int64_t count, int64_t position);

  // From now on reads and sizes show the overlay's bytes over the file's, until its guard
  // no longer matches the file (checked before each read) or it is cleared. Writes are
  // not meant to happen meanwhile: whoever writes may roll the file back itself.
  void SetReadOverlay(std::unique_ptr<TZDBReadOverlay> overlay) { overlay_ = std::move(overlay); }
  void ClearReadOverlay() { overlay_.reset(); }
  // Whether an overlay is in force, its guard checked against the file now.
  bool HasReadOverlay();

  const std::string& FileName() const { return fileName_; }
  uint8_t AccessMode() const { return accessMode_; }
  uint8_t ShareMode() const { return shareMode_; }
  bool IsOpen() const { return isOpen_; }
  bool LockErrorsIgnored() const { return lockErrorsIgnored_; }
  os::FileSystem& FileSystem() const { return fileSystem_; }

  void SetReopenPolicy(const ReopenPolicy& policy) { reopenPolicy_ = policy; }

 private:
  void CheckOpen(const char* operation) const;
  void CheckClosed(const char* operation) const;
  // What belonged to the handle (locks, unflushed writes, position) starts anew.
  void ForgetHandleState();
  struct LockRange {
    int64_t position;
    int64_t count;
    bool operator==(const LockRange&) const = default;
  };

  // Whether a handle works after a failure: the current one, or one opened anew that
  // holds every lock the old one held.
  bool RecoverHandle();
  // Takes the held locks again through a new handle; the ones refused are lost.
  bool RetakeLocks();
  // False, with the error to report, while a lock was lost and its holder has not let go.
  bool UsableWithLocks();
  // Runs the operation; after a failure, once more with a working handle. The Win32
  // error of the last failure is left in lastError_.
  template <typename Operation>
  bool WithRetry(Operation operation);
  bool TryLock(int64_t count, int64_t position, bool lock);
  bool RetryLock(int64_t count, int64_t position, bool lock);
  bool ReadAt(void* buffer, int64_t position, size_t count, bool requireAll);
  // Drops the overlay when the file's bytes under its guard are read and found changed.
  void CheckOverlayGuard();
  // The size for a message; -1 when even that fails.
  int64_t SizeForMessage();
  std::string LastErrorText() const;

  os::FileSystem& fileSystem_;
  std::string fileName_;
  uint8_t accessMode_ = AccessReadWrite;
  uint8_t shareMode_ = ShareExclusive;
  std::unique_ptr<os::IFile> handle_;
  bool isOpen_ = false;
  bool lockErrorsIgnored_ = false;
  int64_t position_ = 0;
  uint32_t lastError_ = 0;
  // Set by every write and size change (tried, not only done), cleared by a flush.
  bool unflushedChanges_ = true;
  // Writes waiting for a flush went with a handle that was replaced: the next flush
  // cannot vouch for them.
  bool unflushedWritesLost_ = false;
  std::vector<LockRange> heldLocks_;
  std::vector<LockRange> lostLocks_;  // held before a reopen, not taken back
  ReopenPolicy reopenPolicy_;
  std::unique_ptr<TZDBReadOverlay> overlay_;
};

}  // namespace zdb
