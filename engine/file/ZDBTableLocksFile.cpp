#include "engine/file/ZDBTableLocksFile.h"

#include <limits>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {

TZDBTableLocksFile::TZDBTableLocksFile(TZDBDiskPageManager& pageManager)
    : file_(pageManager, PageTypeCode(TZDBPageType::TableLocks)) {}

void TZDBTableLocksFile::CheckOpen(const TZDBError& errorCode) const {
  if (!file_.IsOpen()) RaiseError(errorCode);
}

int32_t TZDBTableLocksFile::Create(int32_t slotCount) {
  if (slotCount < 0 || slotCount > std::numeric_limits<int32_t>::max() / BytesPerSlot)
    RaiseError(errors::WriteBeyondEnd, {static_cast<int64_t>(slotCount) * BytesPerSlot, 0, 0});
  file_.Create(slotCount * BytesPerSlot);
  slotCount_ = slotCount;
  return file_.StartPageNo();
}

int32_t TZDBTableLocksFile::Open(int32_t startPageNo) {
  file_.Open(startPageNo);
  slotCount_ = file_.Size() / BytesPerSlot;
  return slotCount_;
}

void TZDBTableLocksFile::Delete() {
  CheckOpen(errors::StartPageNil);
  file_.Delete();
  slotCount_ = 0;
}

void TZDBTableLocksFile::Close() {
  file_.Close();
  slotCount_ = 0;
}

int32_t TZDBTableLocksFile::StartPageNo() const {
  CheckOpen(errors::StartPageNil);
  return file_.StartPageNo();
}

void TZDBTableLocksFile::CheckKindAndSlot(int32_t kind, int32_t slot) const {
  // Positions are checked against the layout, not only the size: kind 0 of slot N would
  // otherwise land on kind 1 of slot 0.
  if (kind < 0 || kind >= LockKindCount || slot < 0 || slot >= slotCount_)
    RaiseError(errors::SeekBeyondEnd, {file_.Size(), static_cast<int64_t>(kind) * slotCount_ + slot});
}

bool TZDBTableLocksFile::LockGuard() {
  CheckOpen(errors::LockGuardNil);
  return file_.LockFile();
}

bool TZDBTableLocksFile::UnlockGuard() {
  CheckOpen(errors::UnlockGuardNil);
  return file_.UnlockFile();
}

bool TZDBTableLocksFile::LockKind(int32_t kind, int32_t slot) {
  CheckOpen(errors::LockKindNil);
  CheckKindAndSlot(kind, slot);
  return file_.LockByte(LockBytePosition(kind, slot));
}

bool TZDBTableLocksFile::UnlockKind(int32_t kind, int32_t slot) {
  CheckOpen(errors::UnlockKindNil);
  CheckKindAndSlot(kind, slot);
  return file_.UnlockByte(LockBytePosition(kind, slot));
}

bool TZDBTableLocksFile::IsKindLocked(int32_t kind, int32_t slot) {
  CheckOpen(errors::TestNil);
  CheckKindAndSlot(kind, slot);
  return file_.IsByteLocked(LockBytePosition(kind, slot));
}

bool TZDBTableLocksFile::IsKindLockedByOthers(int32_t kind, int32_t slot) {
  CheckOpen(errors::TestNil);
  CheckKindAndSlot(kind, slot);
  const int32_t first = LockBytePosition(kind, 0);
  return file_.IsRegionLocked(first, slot) || file_.IsRegionLocked(first + slot + 1, slotCount_ - slot - 1);
}

TZDBTableLocksFile::RecordIDBytes TZDBTableLocksFile::ReadRecordID(int32_t slot) {
  CheckOpen(errors::RecordIDNil);
  CheckKindAndSlot(RecordLockKind, slot);
  RecordIDBytes recordID{};
  file_.DirectReadBuffer(recordID.data(), RecordIDSize, RecordIDPosition(slot));
  return recordID;
}

void TZDBTableLocksFile::WriteRecordID(int32_t slot, const RecordIDBytes& recordID) {
  CheckOpen(errors::RecordIDNil);
  CheckKindAndSlot(RecordLockKind, slot);
  file_.DirectWriteBuffer(recordID.data(), RecordIDSize, RecordIDPosition(slot));
}

}  // namespace zdb
