#include "engine/file/ZDBInternalDBDirectAccessFile.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBInternalFileHeader.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

// Byte 0 of a page header may be held locked by another process (it is the guard byte
// of a first page), so headers are read from byte 1 on.
constexpr int32_t HeaderReadOffset = 1;

[[noreturn]] void RaiseMissingChainPage(int64_t index) {
  RaiseError(errors::ChainPageMissing, {index});
}

}  // namespace

TZDBInternalDBDirectAccessFile::TZDBInternalDBDirectAccessFile(TZDBDiskPageManager& pageManager, uint16_t pageType)
    : pageManager_(pageManager), pageType_(pageType) {}

void TZDBInternalDBDirectAccessFile::CheckOpen(const char* operation) const {
  if (!IsOpen())
    RaiseError(errors::InternalFileClosed, {operation});
}

void TZDBInternalDBDirectAccessFile::Create(int32_t size) {
  if (IsOpen())
    RaiseError(errors::InternalFileExists, {startPageNo_});
  if (size < 0)
    RaiseError(errors::WriteBeyondEnd, {size, 0, 0});

  const int64_t pageCount = internalfile::PagesNeeded(size, pageManager_.PageDataSize());
  std::vector<int32_t> pages;
  pages.reserve(static_cast<size_t>(pageCount));
  TZDBPageRef previous;
  for (int64_t i = 0; i < pageCount; ++i) {
    TZDBPageRef page = TZDBPageRef::Add(pageManager_, TZDBPageManager::SystemSession, pageType_);
    // Other processes lock and read these bytes in place: they must stay plain.
    page->SetEncryptOnWrite(false);
    if (i == 0) {
      uint8_t* header = page->Data();
      le::PutU8(header + internalfile::HeaderSizeOffset, internalfile::HeaderSize);
      le::PutI32(header + internalfile::StoredSizeOffset, size);
      le::PutI32(header + internalfile::FileSizeOffset, 0);
      le::PutU8(header + internalfile::AlgorithmOffset, 0);
    } else {
      previous->SetNextPageNo(page->PageNo());
    }
    page->MarkDirty();
    pages.push_back(page->PageNo());
    previous = std::move(page);
  }
  previous.Release();

  pageNumbers_ = std::move(pages);
  size_ = size;
  startPageNo_ = pageNumbers_.front();
}

void TZDBInternalDBDirectAccessFile::Open(int32_t startPageNo) {
  if (IsOpen())
    RaiseError(errors::InternalFileExists, {startPageNo_});
  const int32_t dataSize = pageManager_.PageDataSize();
  const int32_t headerSize = pageManager_.PageHeaderSize();
  std::vector<uint8_t> header(static_cast<size_t>(headerSize));
  std::vector<int32_t> pages;
  std::unordered_set<int32_t> seen;
  int32_t size = 0;
  int64_t pagesNeeded = 1;
  int32_t pageNo = startPageNo;
  for (int64_t index = 0; index < pagesNeeded; ++index) {
    // A chain that ends early, or runs into itself, cannot hold the stored size.
    if (pageNo < 0 || !seen.insert(pageNo).second) RaiseMissingChainPage(index);
    pageManager_.ReadPageBytes(pageNo, HeaderReadOffset, header.data() + HeaderReadOffset,
                               headerSize - HeaderReadOffset);
    const uint16_t type = le::GetU16(header.data() + TZDBPage::PageTypeOffset);
    if (type != pageType_)
      RaiseError(errors::WrongPageType, {type, pageType_});
    if (index == 0) {
      std::array<uint8_t, 4> stored{};
      pageManager_.ReadPageBytes(pageNo, headerSize + internalfile::StoredSizeOffset, stored.data(),
                                 static_cast<int32_t>(stored.size()));
      size = le::GetI32(stored.data());
      if (size < 0) RaiseMissingChainPage(0);
      pagesNeeded = internalfile::PagesNeeded(size, dataSize);
    }
    pages.push_back(pageNo);
    pageNo = le::GetI32(header.data() + TZDBPage::NextPageNoOffset);
  }

  pageNumbers_ = std::move(pages);
  size_ = size;
  startPageNo_ = startPageNo;
}

void TZDBInternalDBDirectAccessFile::Delete() {
  CheckOpen("Delete");
  for (int32_t pageNo : pageNumbers_) pageManager_.RemovePage(TZDBPageManager::SystemSession, pageNo);
  Close();
}

void TZDBInternalDBDirectAccessFile::Close() {
  startPageNo_ = NoFile;
  size_ = 0;
  pageNumbers_.clear();
}

int32_t TZDBInternalDBDirectAccessFile::ReadStoredSize() {
  std::array<uint8_t, 4> stored{};
  pageManager_.ReadPageBytes(startPageNo_, pageManager_.PageHeaderSize() + internalfile::StoredSizeOffset,
                             stored.data(), static_cast<int32_t>(stored.size()));
  return le::GetI32(stored.data());
}

int32_t TZDBInternalDBDirectAccessFile::GetSize() {
  CheckOpen("GetSize");
  return ReadStoredSize();
}

void TZDBInternalDBDirectAccessFile::CheckContentRange(int32_t position, int32_t count) const {
  if (position < 0 || position > size_)
    RaiseError(errors::SeekBeyondEnd, {size_, position});
  const int64_t end = static_cast<int64_t>(position) + count;
  if (count < 0 || end > size_)
    RaiseError(errors::SeekBeyondEnd, {size_, end});
}

template <typename Visit>
void TZDBInternalDBDirectAccessFile::ForEachPiece(int32_t position, int32_t count, Visit visit) const {
  const int32_t dataSize = pageManager_.PageDataSize();
  const int32_t headerSize = pageManager_.PageHeaderSize();
  int64_t done = 0;
  while (done < count) {
    const int64_t at = position + done;
    const int32_t pageNo = pageNumbers_[static_cast<size_t>(internalfile::ChainIndexOf(at, dataSize))];
    const int32_t offset = internalfile::DataOffsetOf(at, dataSize);
    const int32_t piece = static_cast<int32_t>(std::min<int64_t>(count - done, dataSize - offset));
    visit(pageNo, headerSize + offset, static_cast<int32_t>(done), piece);
    done += piece;
  }
}

void TZDBInternalDBDirectAccessFile::DirectReadBuffer(void* buffer, int32_t count, int32_t position) {
  CheckOpen("DirectReadBuffer");
  CheckContentRange(position, count);
  auto* out = static_cast<uint8_t*>(buffer);
  ForEachPiece(position, count, [&](int32_t pageNo, int32_t pageOffset, int32_t done, int32_t piece) {
    pageManager_.ReadPageBytes(pageNo, pageOffset, out + done, piece);
  });
}

void TZDBInternalDBDirectAccessFile::DirectWriteBuffer(const void* buffer, int32_t count, int32_t position) {
  CheckOpen("DirectWriteBuffer");
  const int64_t end = static_cast<int64_t>(position) + count;
  if (position < 0 || count < 0 || end > size_)
    RaiseError(errors::WriteBeyondEnd, {size_, position, count});
  const auto* in = static_cast<const uint8_t*>(buffer);
  ForEachPiece(position, count, [&](int32_t pageNo, int32_t pageOffset, int32_t done, int32_t piece) {
    pageManager_.WritePageBytes(pageNo, pageOffset, in + done, piece);
  });
}

int64_t TZDBInternalDBDirectAccessFile::GuardBytePosition() const {
  CheckOpen("GuardBytePosition");
  return pageManager_.PagePosition(startPageNo_);
}

int64_t TZDBInternalDBDirectAccessFile::ContentBytePosition(int32_t position) const {
  CheckOpen("ContentBytePosition");
  if (position < 0 || position >= size_)
    RaiseError(errors::SeekBeyondEnd, {size_, position});
  const int32_t dataSize = pageManager_.PageDataSize();
  const int32_t pageNo = pageNumbers_[static_cast<size_t>(internalfile::ChainIndexOf(position, dataSize))];
  return pageManager_.PagePosition(pageNo) + pageManager_.PageHeaderSize() +
         internalfile::DataOffsetOf(position, dataSize);
}

bool TZDBInternalDBDirectAccessFile::LockFile() {
  CheckOpen("LockFile");
  return pageManager_.File().LockByte(1, GuardBytePosition());
}

bool TZDBInternalDBDirectAccessFile::UnlockFile() {
  CheckOpen("UnlockFile");
  return pageManager_.File().UnlockByte(1, GuardBytePosition());
}

bool TZDBInternalDBDirectAccessFile::LockByte(int32_t position) {
  CheckOpen("LockByte");
  return pageManager_.File().LockByte(1, ContentBytePosition(position));
}

bool TZDBInternalDBDirectAccessFile::UnlockByte(int32_t position) {
  CheckOpen("UnlockByte");
  return pageManager_.File().UnlockByte(1, ContentBytePosition(position));
}

bool TZDBInternalDBDirectAccessFile::IsByteLocked(int32_t position) {
  CheckOpen("IsByteLocked");
  return pageManager_.File().IsByteLocked(ContentBytePosition(position));
}

bool TZDBInternalDBDirectAccessFile::IsRegionLocked(int32_t position, int32_t count) {
  CheckOpen("IsRegionLocked");
  if (count <= 0) return false;
  CheckContentRange(position, count);
  bool locked = false;
  ForEachPiece(position, count, [&](int32_t pageNo, int32_t pageOffset, int32_t, int32_t piece) {
    if (!locked) locked = pageManager_.File().IsRegionLocked(piece, pageManager_.PagePosition(pageNo) + pageOffset);
  });
  return locked;
}

}  // namespace zdb
