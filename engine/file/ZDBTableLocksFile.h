// One table's lock region: a direct internal file of "TableLocks Page"s through which
// the processes sharing a database see each other's table and record locks.
//
// Layout, for a region made for N session slots (12 x N content bytes):
//   t x N + s            lock byte of kind t (0..5) held by session s; kind 5 means that
//                        session s has a record of the table locked
//   6 x N + 6 x s        the 6-byte record identifier (uint32 page, uint16 slot) session s
//                        has locked, valid while its kind-5 byte is locked
//   guard byte           byte 0 of the first page; held briefly by whoever changes lock
//                        bytes of the region, and for the whole of an exclusive (kind 6)
//                        table lock
//
// Contract: this class owns the file, its size and these positions. The lock protocol
// (kinds, compatibility, nesting, retries) is the table lock manager's
// (ZDBTableLockManager.h), which works through the primitives below. The table lock
// manager identifies a table by the region's StartPageNo. Any operation without an open
// file raises 10483 / 10489..10494 "Nil pointer occured".
#pragma once

#include <array>
#include <cstdint>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBInternalDBDirectAccessFile.h"

namespace zdb {

class TZDBDiskPageManager;

class TZDBTableLocksFile {
 public:
  static constexpr int32_t LockKindCount = 6;    // kinds 0..5 have a byte per slot
  static constexpr int32_t RecordIDSize = 6;     // uint32 page number, uint16 slot
  static constexpr int32_t BytesPerSlot = LockKindCount + RecordIDSize;  // 12
  static constexpr int32_t RecordLockKind = 5;

  using RecordIDBytes = std::array<uint8_t, RecordIDSize>;

  explicit TZDBTableLocksFile(TZDBDiskPageManager& pageManager);

  // A new region for slotCount slots (12 x slotCount bytes) for the system session;
  // answers its StartPageNo. 20157 when a region is open; 20158 for a negative count or
  // one whose region would not fit the 32-bit size.
  int32_t Create(int32_t slotCount);
  // Opens the region at startPageNo; answers its slot count (size div 12). Errors as for
  // TZDBInternalDBDirectAccessFile::Open.
  int32_t Open(int32_t startPageNo);
  // Removes the region's pages for the system session; the object is closed afterwards.
  void Delete();
  // Forgets the region without touching it.
  void Close();

  bool IsOpen() const { return file_.IsOpen(); }
  // 10483 without an open region.
  int32_t StartPageNo() const;
  int32_t SlotCount() const { return slotCount_; }
  TZDBDiskPageManager& PageManager() const { return file_.PageManager(); }

  // Content positions of the layout above.
  int32_t LockBytePosition(int32_t kind, int32_t slot) const { return kind * slotCount_ + slot; }
  int32_t RecordIDPosition(int32_t slot) const { return LockKindCount * slotCount_ + RecordIDSize * slot; }

  // --- lock primitives; without an open region: guard 10489 / 10490, kind byte 10491 /
  // 10492, tests 10493, record identifiers 10494 ----------------------------------------
  // The guard byte (also the exclusive table lock).
  bool LockGuard();
  bool UnlockGuard();
  // The lock byte of kind 0..5 for slot s. 20159 for a kind or slot outside the region.
  bool LockKind(int32_t kind, int32_t slot);
  bool UnlockKind(int32_t kind, int32_t slot);
  bool IsKindLocked(int32_t kind, int32_t slot);
  // Whether any session other than slot holds the kind (its byte is locked).
  bool IsKindLockedByOthers(int32_t kind, int32_t slot);

  // The record identifier stored for slot s. 20159 for a slot outside the region.
  RecordIDBytes ReadRecordID(int32_t slot);
  void WriteRecordID(int32_t slot, const RecordIDBytes& recordID);

  TZDBInternalDBDirectAccessFile& File() { return file_; }

 private:
  void CheckOpen(const TZDBError& errorCode) const;
  void CheckKindAndSlot(int32_t kind, int32_t slot) const;

  TZDBInternalDBDirectAccessFile file_;
  int32_t slotCount_ = 0;
};

}  // namespace zdb
