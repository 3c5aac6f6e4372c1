// A view of a shared BLOB page (type 11): small values packed one after the other.
// Made per access over a page the caller holds, and discarded after use.
//
// Data area:
//   0  2  number of entries (uint16)
//   2  .. the entries without gaps, each a value header (its BlobID first) and the value
//         bytes: 22 + size bytes. The rest of the data area is free.
// BlobIDs are unique on the page. The view walks the entries when it is made: entries
// that overrun the data area, or a repeated BlobID, are damage (20291).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/file/ZDBPage.h"
#include "engine/table/ZDBBlobLayout.h"

namespace zdb {

class TZDBSmallBlobPage {
 public:
  static constexpr size_t EntryCountOffset = 0;
  static constexpr size_t EntriesOffset = 2;
  // A value goes on a shared page while size + SharedValueMargin < PageDataSize.
  static constexpr int64_t SharedValueMargin = 24;

  struct Entry {
    size_t Offset = 0;  // of its header in the data area
    TZDBBlobValueHeader Header;
    int64_t Size() const { return static_cast<int64_t>(TZDBBlobValueHeader::StoredSize) + Header.ValueSize; }
  };

  static bool FitsShared(int64_t valueSize, int32_t pageDataSize) {
    return valueSize >= 0 && valueSize + SharedValueMargin < pageDataSize;
  }
  static int32_t EntrySize(int64_t valueSize) {
    return static_cast<int32_t>(TZDBBlobValueHeader::StoredSize) + static_cast<int32_t>(valueSize);
  }

  explicit TZDBSmallBlobPage(TZDBPage& page);

  // Makes the page an empty shared page.
  void Clear();

  int32_t EntryCount() const { return static_cast<int32_t>(entries_.size()); }
  // Where the next entry would start; the bytes the entries use are EntriesEnd - 2.
  size_t EntriesEnd() const { return end_; }
  int32_t UsedBytes() const { return static_cast<int32_t>(end_ - EntriesOffset); }
  bool HasRoomFor(int64_t valueSize) const;

  // The entries in page order.
  const std::vector<Entry>& Entries() const { return entries_; }
  // The entry with that BlobID; false when the page has none.
  bool Find(int16_t blobID, Entry& entry) const;
  const uint8_t* ValueBytes(const Entry& entry) const;
  // The BlobID a new entry gets: from the entry count upwards (wrapping, -1 and the
  // ambiguous 255 never given) the first one no entry has. 20172 "Invalid blob field ID"
  // when none is left.
  int16_t NewBlobID() const;
  // Appends an entry with a new BlobID and answers it; the caller checked the room.
  int16_t Add(const TZDBBlobValueHeader& header, const uint8_t* bytes);
  // Moves the later entries down over it.
  void Remove(const Entry& entry);

 private:
  void Walk();
  void SaveCount();

  TZDBPage& page_;
  uint8_t* data_;
  size_t dataSize_;
  std::vector<Entry> entries_;
  size_t end_ = EntriesOffset;
};

}  // namespace zdb
