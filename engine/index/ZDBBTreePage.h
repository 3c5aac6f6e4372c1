// The byte layout of a B-tree page (page type 12, TableIndex): a view over the data area
// of one page, shared by the table indexes and the page-number trees.
//
// Data area:
//   0  1  IsRoot               1 on the root page
//   1  1  IsLeaf               1 on leaves, 0 on inner (node) pages
//   2  4  LeftPageNo           left neighbour on the same level, -1 for the leftmost
//   6  4  RightPageNo          right neighbour on the same level, -1 for the rightmost
//  10  1  CreatedAsRoot        1 on a page initialised as an empty root; never read
//  11  1  EntriesHaveRecordID  always written 0; nonzero adds 6 bytes to every entry
//  12  2  KeySize              uint16
//  14  2  EntryCount           uint16
//  16  2  HeaderExtra          uint16, bytes between this header and the entries; 0
//  18 + HeaderExtra            the entries, EntryCount x entry size
//
// A leaf entry is the key and the tree's leaf data (a RecordID, or the 16-bit value of a
// page-number tree); a node entry is the key and the child's page number (int32). The
// key of node entry 0 is never compared.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {

class TZDBBTreePage {
 public:
  static constexpr size_t IsRootOffset = 0;
  static constexpr size_t IsLeafOffset = 1;
  static constexpr size_t LeftPageNoOffset = 2;
  static constexpr size_t RightPageNoOffset = 6;
  static constexpr size_t CreatedAsRootOffset = 10;
  static constexpr size_t EntriesHaveRecordIDOffset = 11;
  static constexpr size_t KeySizeOffset = 12;
  static constexpr size_t EntryCountOffset = 14;
  static constexpr size_t HeaderExtraOffset = 16;
  static constexpr size_t HeaderSize = 18;

  static constexpr int32_t NodeDataSize = 4;       // the child's page number
  static constexpr int32_t EntryRecordIDSize = 6;  // added when EntriesHaveRecordID
  static constexpr uint16_t PageType = PageTypeCode(TZDBPageType::TableIndex);
  static constexpr int32_t NoPage = -1;

  // leafDataSize: bytes after the key in a leaf entry (6 for table indexes, 2 for the
  // page-number trees).
  TZDBBTreePage(TZDBPage& page, int32_t leafDataSize)
      : data_(page.Data()), dataSize_(static_cast<int32_t>(page.DataSize())), leafDataSize_(leafDataSize) {}
  TZDBBTreePage(uint8_t* data, int32_t dataSize, int32_t leafDataSize)
      : data_(data), dataSize_(dataSize), leafDataSize_(leafDataSize) {}

  // --- header ------------------------------------------------------------------------
  bool IsRoot() const { return data_[IsRootOffset] != 0; }
  void SetIsRoot(bool value) { data_[IsRootOffset] = value ? 1 : 0; }
  bool IsLeaf() const { return data_[IsLeafOffset] != 0; }
  void SetIsLeaf(bool value) { data_[IsLeafOffset] = value ? 1 : 0; }
  int32_t LeftPageNo() const;
  void SetLeftPageNo(int32_t pageNo);
  int32_t RightPageNo() const;
  void SetRightPageNo(int32_t pageNo);
  bool CreatedAsRoot() const { return data_[CreatedAsRootOffset] != 0; }
  bool EntriesHaveRecordID() const { return data_[EntriesHaveRecordIDOffset] != 0; }
  // Inline: a key search asks for them at every step.
  uint16_t KeySize() const { return le::GetU16(data_ + KeySizeOffset); }
  uint16_t EntryCount() const { return le::GetU16(data_ + EntryCountOffset); }
  void SetEntryCount(int32_t count);
  uint16_t HeaderExtra() const { return le::GetU16(data_ + HeaderExtraOffset); }

  // Zero-fills the header and writes an empty page of the given kind.
  void Initialize(bool isRoot, bool isLeaf, bool createdAsRoot, uint16_t keySize);
  // Copies the 18 header bytes of another page.
  void CopyHeaderFrom(const TZDBBTreePage& other);

  // --- geometry ----------------------------------------------------------------------
  int32_t DataSize() const { return dataSize_; }
  int32_t EntriesOffset() const { return static_cast<int32_t>(HeaderSize) + HeaderExtra(); }
  // Bytes after the key: the leaf data or the child's page number.
  int32_t EntryDataSize() const { return IsLeaf() ? leafDataSize_ : NodeDataSize; }
  int32_t EntrySize() const {
    return KeySize() + EntryDataSize() + (EntriesHaveRecordID() ? EntryRecordIDSize : 0);
  }
  // Whether count entries fit into the data area.
  bool Fits(int32_t count) const { return count * EntrySize() + EntriesOffset() <= dataSize_; }
  bool IsFull() const { return !Fits(EntryCount() + 1); }
  // Fewer entries than half of the room for entries.
  bool Underflows() const { return EntryCount() * EntrySize() < (dataSize_ - EntriesOffset()) / 2; }
  // Whether the header is plausible for a page of this tree: sizes that stay inside the
  // data area. A damaged page must not make the tree read or write past it.
  bool IsSane(uint16_t expectedKeySize) const;

  // --- entries -----------------------------------------------------------------------
  uint8_t* Entry(int32_t i) { return data_ + EntriesOffset() + i * EntrySize(); }
  const uint8_t* Entry(int32_t i) const { return data_ + EntriesOffset() + i * EntrySize(); }
  uint8_t* Key(int32_t i) { return Entry(i); }
  const uint8_t* Key(int32_t i) const { return Entry(i); }
  uint8_t* EntryData(int32_t i) { return Entry(i) + KeySize(); }
  const uint8_t* EntryData(int32_t i) const { return Entry(i) + KeySize(); }
  // Node entries: the child's page number.
  int32_t ChildPageNo(int32_t i) const;
  void SetChildPageNo(int32_t i, int32_t pageNo);
  void SetKey(int32_t i, const uint8_t* key);

  // Shifts entries i.. up by one and writes the new entry at i (key, then data of
  // EntryDataSize bytes; with EntriesHaveRecordID the extra bytes are zeroed). The
  // caller makes sure the page has room.
  void InsertEntry(int32_t i, const uint8_t* key, const uint8_t* data);
  // Shifts entries i+1.. down by one.
  void RemoveEntry(int32_t i);
  // Replaces all entries by count entries copied from consecutive bytes.
  void SetEntries(const uint8_t* entries, int32_t count);
  // Appends / prepends count entries copied from consecutive bytes.
  void AppendEntries(const uint8_t* entries, int32_t count);
  void PrependEntries(const uint8_t* entries, int32_t count);

 private:
  uint8_t* data_;
  int32_t dataSize_;
  int32_t leafDataSize_;
};

}  // namespace zdb
