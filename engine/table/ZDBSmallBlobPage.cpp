#include "engine/table/ZDBSmallBlobPage.h"

#include <cstring>
#include <limits>
#include <unordered_set>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/table/ZDBBlobPages.h"

namespace zdb {
namespace {

int16_t NextBlobID(int16_t id) {
  if (id == std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::min();
  if (id == TZDBBlobReference::ChainID - 1) return 0;  // -1 names a chain
  return static_cast<int16_t>(id + 1);
}

}  // namespace

TZDBSmallBlobPage::TZDBSmallBlobPage(TZDBPage& page) : page_(page), data_(page.Data()), dataSize_(page.DataSize()) {
  Walk();
}

void TZDBSmallBlobPage::Walk() {
  entries_.clear();
  const uint16_t count = le::GetU16(data_ + EntryCountOffset);
  size_t offset = EntriesOffset;
  std::unordered_set<int16_t> ids;
  for (uint16_t i = 0; i < count; ++i) {
    if (offset + TZDBBlobValueHeader::StoredSize > dataSize_) RaiseDamagedBlob();
    Entry entry;
    entry.Offset = offset;
    entry.Header = TZDBBlobValueHeader::Load(data_ + offset);
    const int64_t room = static_cast<int64_t>(dataSize_ - offset - TZDBBlobValueHeader::StoredSize);
    if (entry.Header.ValueSize < 0 || entry.Header.ValueSize > room || !ids.insert(entry.Header.BlobID).second)
      RaiseDamagedBlob();
    offset += static_cast<size_t>(entry.Size());
    entries_.push_back(entry);
  }
  end_ = offset;
}

void TZDBSmallBlobPage::SaveCount() {
  le::PutU16(data_ + EntryCountOffset, static_cast<uint16_t>(entries_.size()));
  page_.MarkDirty();
}

void TZDBSmallBlobPage::Clear() {
  entries_.clear();
  end_ = EntriesOffset;
  SaveCount();
}

bool TZDBSmallBlobPage::HasRoomFor(int64_t valueSize) const {
  return valueSize >= 0 && static_cast<int64_t>(end_) + EntrySize(valueSize) <= static_cast<int64_t>(dataSize_);
}

bool TZDBSmallBlobPage::Find(int16_t blobID, Entry& entry) const {
  for (const Entry& candidate : entries_) {
    if (candidate.Header.BlobID == blobID) {
      entry = candidate;
      return true;
    }
  }
  return false;
}

const uint8_t* TZDBSmallBlobPage::ValueBytes(const Entry& entry) const {
  return data_ + entry.Offset + TZDBBlobValueHeader::StoredSize;
}

int16_t TZDBSmallBlobPage::NewBlobID() const {
  std::unordered_set<int16_t> used;
  for (const Entry& entry : entries_) used.insert(entry.Header.BlobID);
  int16_t id = static_cast<int16_t>(entries_.size());
  for (int32_t tries = 0; tries <= std::numeric_limits<uint16_t>::max(); ++tries) {
    // 255 is what older files wrote for a chain: an entry with it would read ambiguously.
    if (used.count(id) == 0 && id != TZDBBlobReference::AmbiguousID) return id;
    id = NextBlobID(id);
  }
  RaiseError(errors::NoBlobIDLeft);
}

int16_t TZDBSmallBlobPage::Add(const TZDBBlobValueHeader& header, const uint8_t* bytes) {
  Entry entry;
  entry.Offset = end_;
  entry.Header = header;
  entry.Header.BlobID = NewBlobID();
  entry.Header.Save(data_ + end_);
  if (header.ValueSize > 0)
    std::memcpy(data_ + end_ + TZDBBlobValueHeader::StoredSize, bytes, static_cast<size_t>(header.ValueSize));
  end_ += static_cast<size_t>(entry.Size());
  entries_.push_back(entry);
  SaveCount();
  return entry.Header.BlobID;
}

void TZDBSmallBlobPage::Remove(const Entry& entry) {
  const size_t size = static_cast<size_t>(entry.Size());
  const size_t next = entry.Offset + size;
  std::memmove(data_ + entry.Offset, data_ + next, end_ - next);
  // The freed tail keeps no copy of the value that was moved or removed.
  std::memset(data_ + end_ - size, 0, size);
  end_ -= size;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->Offset == entry.Offset) {
      it = entries_.erase(it);
      continue;
    }
    if (it->Offset > entry.Offset) it->Offset -= size;
    ++it;
  }
  SaveCount();
}

}  // namespace zdb
