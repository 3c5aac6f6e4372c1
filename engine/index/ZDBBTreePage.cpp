#include "engine/index/ZDBBTreePage.h"

#include <cstring>

#include "engine/base/ZDBEndian.h"

namespace zdb {

int32_t TZDBBTreePage::LeftPageNo() const { return le::GetI32(data_ + LeftPageNoOffset); }
void TZDBBTreePage::SetLeftPageNo(int32_t pageNo) { le::PutI32(data_ + LeftPageNoOffset, pageNo); }
int32_t TZDBBTreePage::RightPageNo() const { return le::GetI32(data_ + RightPageNoOffset); }
void TZDBBTreePage::SetRightPageNo(int32_t pageNo) { le::PutI32(data_ + RightPageNoOffset, pageNo); }
void TZDBBTreePage::SetEntryCount(int32_t count) {
  le::PutU16(data_ + EntryCountOffset, static_cast<uint16_t>(count));
}

void TZDBBTreePage::Initialize(bool isRoot, bool isLeaf, bool createdAsRoot, uint16_t keySize) {
  std::memset(data_, 0, HeaderSize);
  SetIsRoot(isRoot);
  SetIsLeaf(isLeaf);
  SetLeftPageNo(NoPage);
  SetRightPageNo(NoPage);
  data_[CreatedAsRootOffset] = createdAsRoot ? 1 : 0;
  data_[EntriesHaveRecordIDOffset] = 0;
  le::PutU16(data_ + KeySizeOffset, keySize);
  SetEntryCount(0);
  le::PutU16(data_ + HeaderExtraOffset, 0);
}

void TZDBBTreePage::CopyHeaderFrom(const TZDBBTreePage& other) { std::memcpy(data_, other.data_, HeaderSize); }

bool TZDBBTreePage::IsSane(uint16_t expectedKeySize) const {
  if (dataSize_ < static_cast<int32_t>(HeaderSize) || KeySize() != expectedKeySize) return false;
  if (EntriesOffset() > dataSize_) return false;
  return Fits(EntryCount());
}

int32_t TZDBBTreePage::ChildPageNo(int32_t i) const { return le::GetI32(EntryData(i)); }
void TZDBBTreePage::SetChildPageNo(int32_t i, int32_t pageNo) { le::PutI32(EntryData(i), pageNo); }
void TZDBBTreePage::SetKey(int32_t i, const uint8_t* key) { std::memmove(Key(i), key, KeySize()); }

void TZDBBTreePage::InsertEntry(int32_t i, const uint8_t* key, const uint8_t* data) {
  const int32_t count = EntryCount();
  const int32_t size = EntrySize();
  std::memmove(Entry(i + 1), Entry(i), static_cast<size_t>((count - i) * size));
  uint8_t* entry = Entry(i);
  std::memset(entry, 0, static_cast<size_t>(size));
  std::memcpy(entry, key, KeySize());
  std::memcpy(entry + KeySize(), data, static_cast<size_t>(EntryDataSize()));
  SetEntryCount(count + 1);
}

void TZDBBTreePage::RemoveEntry(int32_t i) {
  const int32_t count = EntryCount();
  std::memmove(Entry(i), Entry(i + 1), static_cast<size_t>((count - i - 1) * EntrySize()));
  SetEntryCount(count - 1);
}

void TZDBBTreePage::SetEntries(const uint8_t* entries, int32_t count) {
  if (count > 0) std::memmove(Entry(0), entries, static_cast<size_t>(count * EntrySize()));
  SetEntryCount(count);
}

void TZDBBTreePage::AppendEntries(const uint8_t* entries, int32_t count) {
  const int32_t existing = EntryCount();
  if (count > 0) std::memmove(Entry(existing), entries, static_cast<size_t>(count * EntrySize()));
  SetEntryCount(existing + count);
}

void TZDBBTreePage::PrependEntries(const uint8_t* entries, int32_t count) {
  const int32_t existing = EntryCount();
  std::memmove(Entry(count), Entry(0), static_cast<size_t>(existing * EntrySize()));
  if (count > 0) std::memmove(Entry(0), entries, static_cast<size_t>(count * EntrySize()));
  SetEntryCount(existing + count);
}

}  // namespace zdb
