// The session slots of a database: a direct internal file of "ActiveSessionList Page"s
// whose content byte s is the lock byte of slot s. A slot is taken while its byte is
// locked; the stored bytes themselves are never used (0). The slot count is the file's
// size, fixed when the database is created.
//
// Contract: this class owns the file and the byte positions only. Taking and giving back
// slots (connect, disconnect, the single-user claim of every slot) is the session-slot
// protocol's (ZDBSessionSlots.h), which works through the primitives below. Every lock
// is exclusive and non-blocking and answers whether it was obtained; the guard byte is
// byte 0 of the file's first page.
#pragma once

#include <cstdint>

#include "engine/file/ZDBInternalDBDirectAccessFile.h"

namespace zdb {

class TZDBDiskPageManager;

class TZDBActiveSessionsFile {
 public:
  static constexpr int32_t DefaultSlotCount = 500;

  explicit TZDBActiveSessionsFile(TZDBDiskPageManager& pageManager);

  // A new slots file of slotCount bytes for the system session; answers its StartPageNo.
  // 20157 when a file is open; 20158 for a negative count. A file without slots is
  // valid: every multi-user connect to it fails as for a full file.
  int32_t Create(int32_t slotCount);
  // Opens the file at startPageNo; answers the slot count (its size). Errors as for
  // TZDBInternalDBDirectAccessFile::Open.
  int32_t Open(int32_t startPageNo);
  // Forgets the file without touching it (the slots this process holds go with the
  // file handle, or are given back by the slot protocol before).
  void Close();

  bool IsOpen() const { return file_.IsOpen(); }
  int32_t StartPageNo() const { return file_.StartPageNo(); }
  int32_t SlotCount() const { return file_.Size(); }
  TZDBDiskPageManager& PageManager() const { return file_.PageManager(); }

  // --- lock primitives ------------------------------------------------------------------
  // The guard byte, held while slots are taken or given back. 20156 on a closed file.
  bool LockGuard() { return file_.LockFile(); }
  bool UnlockGuard() { return file_.UnlockFile(); }
  // Slot s's lock byte. 20159 for a slot outside 0 .. SlotCount() - 1; 20156 closed.
  bool LockSlot(int32_t slot) { return file_.LockByte(slot); }
  bool UnlockSlot(int32_t slot) { return file_.UnlockByte(slot); }
  bool IsSlotLocked(int32_t slot) { return file_.IsByteLocked(slot); }
  // Whether any slot is taken (by anyone, this process included).
  bool IsAnySlotLocked() { return file_.IsRegionLocked(0, SlotCount()); }

  TZDBInternalDBDirectAccessFile& File() { return file_; }

 private:
  TZDBInternalDBDirectAccessFile file_;
};

}  // namespace zdb
