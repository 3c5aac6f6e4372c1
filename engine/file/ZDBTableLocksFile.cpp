#include "engine/file/ZDBTableLocksFile.h"

#include <limits>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

constexpr int32_t StartPageNilError = 10483;
constexpr int32_t LockGuardNilError = 10489;
constexpr int32_t UnlockGuardNilError = 10490;
constexpr int32_t LockKindNilError = 10491;
constexpr int32_t UnlockKindNilError = 10492;
constexpr int32_t TestNilError = 10493;
constexpr int32_t RecordIDNilError = 10494;
constexpr int32_t WriteBeyondEndError = 20158;
constexpr int32_t SeekBeyondEndError = 20159;

}  // namespace

TZDBTableLocksFile::TZDBTableLocksFile(TZDBDiskPageManager& pageManager)
    : file_(pageManager, PageTypeCode(TZDBPageType::TableLocks)) {}

void TZDBTableLocksFile::CheckOpen(int32_t errorCode) const {
  if (!file_.IsOpen()) RaiseError(errorCode, "Nil pointer occured");
}

int32_t TZDBTableLocksFile::Create(int32_t slotCount) {
  if (slotCount < 0 || slotCount > std::numeric_limits<int32_t>::max() / BytesPerSlot)
    RaiseError(WriteBeyondEndError, "Cannot write after end of file. FileSize=%d. Position=%d, Count=%d",
               {static_cast<int64_t>(slotCount) * BytesPerSlot, 0, 0});
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
  CheckOpen(StartPageNilError);
  file_.Delete();
  slotCount_ = 0;
}

void TZDBTableLocksFile::Close() {
  file_.Close();
  slotCount_ = 0;
}

int32_t TZDBTableLocksFile::StartPageNo() const {
  CheckOpen(StartPageNilError);
  return file_.StartPageNo();
}

void TZDBTableLocksFile::CheckKindAndSlot(int32_t kind, int32_t slot) const {
  // Positions are checked against the layout, not only the size: kind 0 of slot N would
  // otherwise land on kind 1 of slot 0.
  if (kind < 0 || kind >= LockKindCount || slot < 0 || slot >= slotCount_)
    RaiseError(SeekBeyondEndError, "Seek position bigger then file size. FileSize=%d. Position=%d",
               {file_.Size(), static_cast<int64_t>(kind) * slotCount_ + slot});
}

bool TZDBTableLocksFile::LockGuard() {
  CheckOpen(LockGuardNilError);
  return file_.LockFile();
}

bool TZDBTableLocksFile::UnlockGuard() {
  CheckOpen(UnlockGuardNilError);
  return file_.UnlockFile();
}

bool TZDBTableLocksFile::LockKind(int32_t kind, int32_t slot) {
  CheckOpen(LockKindNilError);
  CheckKindAndSlot(kind, slot);
  return file_.LockByte(LockBytePosition(kind, slot));
}

bool TZDBTableLocksFile::UnlockKind(int32_t kind, int32_t slot) {
  CheckOpen(UnlockKindNilError);
  CheckKindAndSlot(kind, slot);
  return file_.UnlockByte(LockBytePosition(kind, slot));
}

bool TZDBTableLocksFile::IsKindLocked(int32_t kind, int32_t slot) {
  CheckOpen(TestNilError);
  CheckKindAndSlot(kind, slot);
  return file_.IsByteLocked(LockBytePosition(kind, slot));
}

bool TZDBTableLocksFile::IsKindLockedByOthers(int32_t kind, int32_t slot) {
  CheckOpen(TestNilError);
  CheckKindAndSlot(kind, slot);
  const int32_t first = LockBytePosition(kind, 0);
  return file_.IsRegionLocked(first, slot) || file_.IsRegionLocked(first + slot + 1, slotCount_ - slot - 1);
}

TZDBTableLocksFile::RecordIDBytes TZDBTableLocksFile::ReadRecordID(int32_t slot) {
  CheckOpen(RecordIDNilError);
  CheckKindAndSlot(RecordLockKind, slot);
  RecordIDBytes recordID{};
  file_.DirectReadBuffer(recordID.data(), RecordIDSize, RecordIDPosition(slot));
  return recordID;
}

void TZDBTableLocksFile::WriteRecordID(int32_t slot, const RecordIDBytes& recordID) {
  CheckOpen(RecordIDNilError);
  CheckKindAndSlot(RecordLockKind, slot);
  file_.DirectWriteBuffer(recordID.data(), RecordIDSize, RecordIDPosition(slot));
}

}  // namespace zdb
