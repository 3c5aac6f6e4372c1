// A view of one record page (type 10): the slot map and the fixed-size slots of stored
// records. Made per access over a page the caller holds, and discarded after use.
//
// Data area:
//   0                                   slot map, ceil(RecordsPerPage / 8) bytes: bit
//                                       (i mod 8) of byte (i div 8), least significant
//                                       first, set = slot i holds a row
//   SlotMapSize + i x StoredRecordSize  slot i, StoredRecordSize bytes
// The rest of the data area is unused. A free slot keeps the bytes it last held; only its
// bit says whether it is in use. Slots at or beyond RecordsPerPage never hold a row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/index/ZDBRecordID.h"

namespace zdb {

class TZDBSmallRecordPage {
 public:
  static constexpr size_t SlotMapOffset = 0;
  static constexpr uint16_t PageType = PageTypeCode(TZDBPageType::TableRecord);
  static constexpr int32_t NoSlot = -1;

  // Rows of storedRecordSize bytes that fit beside their slot map into pageDataSize bytes:
  // (pageDataSize - 1) / (storedRecordSize + 1/8), truncated; 0 when not even one fits.
  static int32_t ComputeRecordsPerPage(int32_t pageDataSize, int32_t storedRecordSize);
  static int32_t SlotMapSize(int32_t recordsPerPage) { return (recordsPerPage + 7) / 8; }

  // 20140 "Invalid number of records on page" when the slot map and the slots would not
  // fit into the page's data area.
  TZDBSmallRecordPage(TZDBPage& page, int32_t storedRecordSize, int32_t recordsPerPage);

  int32_t PageNo() const { return page_.PageNo(); }
  int32_t RecordsPerPage() const { return recordsPerPage_; }

  // Clears the slot map of a page that is new to the table.
  void Clear();

  bool SlotUsed(int32_t slot) const;
  // The lowest free slot, or NoSlot.
  int32_t FindFreeSlot() const;
  int32_t UsedSlotCount() const;

  // Takes the lowest free slot. 20141 "Cannot add record to page. Page is full".
  TZDBRecordID AddRecord(const uint8_t* storedRecord);
  // Each acts only on a slot in use and answers whether it was; update and delete mark
  // the page modified.
  bool UpdateRecord(const uint8_t* storedRecord, const TZDBRecordID& recordID);
  bool DeleteRecord(const TZDBRecordID& recordID);
  bool ReadRecord(const TZDBRecordID& recordID, uint8_t* storedRecord) const;
  // The stored record in place on the page (valid while the page is held); null for a
  // free slot.
  const uint8_t* StoredRecord(const TZDBRecordID& recordID) const;

  // The lowest / highest used slot. 20143 "Record not found. PageNo=%d,
  // PageRecordCount=%d" / 20144 "Record not found" on a page without rows.
  TZDBRecordID FirstRecord() const;
  TZDBRecordID LastRecord() const;
  // The nearest used slot above / below the identifier's slot; false (unchanged) when
  // there is none.
  bool NextRecord(TZDBRecordID& recordID) const;
  bool PriorRecord(TZDBRecordID& recordID) const;
  // The n-th used slot, from 0. 20146 "Record not found" outside the used slots.
  TZDBRecordID RecordAt(int32_t n) const;
  // Used slots below the identifier's slot.
  int32_t UsedSlotsBefore(const TZDBRecordID& recordID) const;

 private:
  void SetSlotUsed(int32_t slot, bool used);
  uint8_t* Slot(int32_t slot) const;
  TZDBRecordID IdOf(int32_t slot) const { return {page_.PageNo(), static_cast<uint16_t>(slot)}; }

  TZDBPage& page_;
  uint8_t* data_;
  int32_t storedRecordSize_;
  int32_t recordsPerPage_;
  int32_t slotMapSize_;
};

}  // namespace zdb
