#include "engine/table/ZDBSmallRecordPage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr double SlotMapBytesPerSlot = 0.125;

}  // namespace

int32_t TZDBSmallRecordPage::ComputeRecordsPerPage(int32_t pageDataSize, int32_t storedRecordSize) {
  if (storedRecordSize <= 0 || pageDataSize <= 1) return 0;
  return static_cast<int32_t>(std::trunc((pageDataSize - 1) / (storedRecordSize + SlotMapBytesPerSlot)));
}

TZDBSmallRecordPage::TZDBSmallRecordPage(TZDBPage& page, int32_t storedRecordSize, int32_t recordsPerPage)
    : page_(page),
      data_(page.Data()),
      storedRecordSize_(storedRecordSize),
      recordsPerPage_(recordsPerPage),
      slotMapSize_(SlotMapSize(recordsPerPage)) {
  const int64_t used = int64_t{slotMapSize_} + int64_t{recordsPerPage_} * storedRecordSize_;
  if (recordsPerPage_ <= 0 || storedRecordSize_ <= 0 || used > static_cast<int64_t>(page.DataSize()))
    RaiseError(errors::InvalidRecordsOnPage);
}

void TZDBSmallRecordPage::Clear() {
  std::memset(data_ + SlotMapOffset, 0, static_cast<size_t>(slotMapSize_));
  page_.MarkDirty();
}

bool TZDBSmallRecordPage::SlotUsed(int32_t slot) const {
  if (slot < 0 || slot >= recordsPerPage_) return false;
  return (data_[SlotMapOffset + static_cast<size_t>(slot / 8)] >> (slot % 8) & 1) != 0;
}

void TZDBSmallRecordPage::SetSlotUsed(int32_t slot, bool used) {
  uint8_t& byte = data_[SlotMapOffset + static_cast<size_t>(slot / 8)];
  const auto bit = static_cast<uint8_t>(1u << (slot % 8));
  byte = used ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

uint8_t* TZDBSmallRecordPage::Slot(int32_t slot) const {
  return data_ + SlotMapOffset + slotMapSize_ + static_cast<size_t>(slot) * static_cast<size_t>(storedRecordSize_);
}

int32_t TZDBSmallRecordPage::FindFreeSlot() const {
  for (int32_t i = 0; i < slotMapSize_; ++i) {
    const uint8_t byte = data_[SlotMapOffset + static_cast<size_t>(i)];
    if (byte == 0xFF) continue;
    const int32_t slot = i * 8 + std::countr_one(byte);
    return slot < recordsPerPage_ ? slot : NoSlot;
  }
  return NoSlot;
}

int32_t TZDBSmallRecordPage::UsedSlotCount() const {
  int32_t count = 0;
  const int32_t wholeBytes = recordsPerPage_ / 8;
  for (int32_t i = 0; i < wholeBytes; ++i) count += std::popcount(data_[SlotMapOffset + static_cast<size_t>(i)]);
  // Bits past the last slot are not rows, whatever they hold.
  for (int32_t slot = wholeBytes * 8; slot < recordsPerPage_; ++slot) count += SlotUsed(slot) ? 1 : 0;
  return count;
}

TZDBRecordID TZDBSmallRecordPage::AddRecord(const uint8_t* storedRecord) {
  const int32_t slot = FindFreeSlot();
  if (slot == NoSlot) RaiseError(errors::RecordPageFull);
  SetSlotUsed(slot, true);
  std::memcpy(Slot(slot), storedRecord, static_cast<size_t>(storedRecordSize_));
  page_.MarkDirty();
  return IdOf(slot);
}

bool TZDBSmallRecordPage::UpdateRecord(const uint8_t* storedRecord, const TZDBRecordID& recordID) {
  if (!SlotUsed(recordID.RecordNo)) return false;
  std::memcpy(Slot(recordID.RecordNo), storedRecord, static_cast<size_t>(storedRecordSize_));
  page_.MarkDirty();
  return true;
}

bool TZDBSmallRecordPage::DeleteRecord(const TZDBRecordID& recordID) {
  if (!SlotUsed(recordID.RecordNo)) return false;
  SetSlotUsed(recordID.RecordNo, false);
  page_.MarkDirty();
  return true;
}

bool TZDBSmallRecordPage::ReadRecord(const TZDBRecordID& recordID, uint8_t* storedRecord) const {
  const uint8_t* stored = StoredRecord(recordID);
  if (stored == nullptr) return false;
  std::memcpy(storedRecord, stored, static_cast<size_t>(storedRecordSize_));
  return true;
}

const uint8_t* TZDBSmallRecordPage::StoredRecord(const TZDBRecordID& recordID) const {
  return SlotUsed(recordID.RecordNo) ? Slot(recordID.RecordNo) : nullptr;
}

TZDBRecordID TZDBSmallRecordPage::FirstRecord() const {
  for (int32_t slot = 0; slot < recordsPerPage_; ++slot)
    if (SlotUsed(slot)) return IdOf(slot);
  RaiseError(errors::NoFirstRecord, {PageNo(), UsedSlotCount()});
}

TZDBRecordID TZDBSmallRecordPage::LastRecord() const {
  for (int32_t slot = recordsPerPage_ - 1; slot >= 0; --slot)
    if (SlotUsed(slot)) return IdOf(slot);
  RaiseError(errors::CurrentFailed);
}

bool TZDBSmallRecordPage::NextRecord(TZDBRecordID& recordID) const {
  for (int32_t slot = recordID.RecordNo + 1; slot < recordsPerPage_; ++slot) {
    if (SlotUsed(slot)) {
      recordID = IdOf(slot);
      return true;
    }
  }
  return false;
}

bool TZDBSmallRecordPage::PriorRecord(TZDBRecordID& recordID) const {
  for (int32_t slot = std::min<int32_t>(recordID.RecordNo, recordsPerPage_) - 1; slot >= 0; --slot) {
    if (SlotUsed(slot)) {
      recordID = IdOf(slot);
      return true;
    }
  }
  return false;
}

TZDBRecordID TZDBSmallRecordPage::RecordAt(int32_t n) const {
  if (n >= 0) {
    int32_t seen = 0;
    for (int32_t slot = 0; slot < recordsPerPage_; ++slot) {
      if (SlotUsed(slot) && seen++ == n) return IdOf(slot);
    }
  }
  RaiseError(errors::NextPageFailed);
}

int32_t TZDBSmallRecordPage::UsedSlotsBefore(const TZDBRecordID& recordID) const {
  int32_t count = 0;
  const int32_t end = std::min<int32_t>(recordID.RecordNo, recordsPerPage_);
  for (int32_t slot = 0; slot < end; ++slot) count += SlotUsed(slot) ? 1 : 0;
  return count;
}

}  // namespace zdb
