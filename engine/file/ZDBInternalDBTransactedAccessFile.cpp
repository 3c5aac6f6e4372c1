#include "engine/file/ZDBInternalDBTransactedAccessFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBInternalFileHeader.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageManager.h"

namespace zdb {
namespace {

// Sizes are counts of bytes: a negative one is refused before anything changes.
[[noreturn]] void RaiseNegativeSize(int32_t storedSize, int32_t size) {
  RaiseError(errors::WriteBeyondEnd, {storedSize, 0, size});
}

[[noreturn]] void RaiseMissingChainPage(int64_t index) {
  RaiseError(errors::ChainPageMissing, {index});
}

TZDBInternalFileSize DecodeHeader(const TZDBPage& page) {
  const uint8_t* header = page.Data();
  TZDBInternalFileSize size;
  size.StoredSize = le::GetI32(header + internalfile::StoredSizeOffset);
  size.FileSize = le::GetI32(header + internalfile::FileSizeOffset);
  size.Algorithm = le::GetU8(header + internalfile::AlgorithmOffset);
  return size;
}

}  // namespace

TZDBInternalDBTransactedAccessFile::TZDBInternalDBTransactedAccessFile(TZDBPageManager& pageManager,
                                                                       uint16_t pageType)
    : pageManager_(pageManager), pageType_(pageType) {}

void TZDBInternalDBTransactedAccessFile::CheckOpen(const char* operation) const {
  if (!IsOpen())
    RaiseError(errors::TransactedFileClosed, {operation});
}

void TZDBInternalDBTransactedAccessFile::Create(int32_t session) {
  if (IsOpen())
    RaiseError(errors::TransactedFileExists, {startPageNo_});
  TZDBPageRef page = TZDBPageRef::Add(pageManager_, session, pageType_);
  uint8_t* header = page->Data();
  le::PutU8(header + internalfile::HeaderSizeOffset, internalfile::HeaderSize);
  le::PutI32(header + internalfile::StoredSizeOffset, 0);
  le::PutI32(header + internalfile::FileSizeOffset, 0);
  le::PutU8(header + internalfile::AlgorithmOffset, 0);
  page->MarkDirty();
  startPageNo_ = page->PageNo();
}

void TZDBInternalDBTransactedAccessFile::Open(int32_t startPageNo) {
  if (startPageNo != NoFile) startPageNo_ = startPageNo;
}

void TZDBInternalDBTransactedAccessFile::Delete(int32_t session) {
  CheckOpen("Delete");
  RemoveChainFrom(session, startPageNo_);
  startPageNo_ = NoFile;
}

TZDBPageRef TZDBInternalDBTransactedAccessFile::FirstPage(int32_t session, bool checkVersions) {
  return TZDBPageRef(pageManager_, session, startPageNo_, checkVersions, pageType_);
}

TZDBPageRef TZDBInternalDBTransactedAccessFile::NextPage(int32_t session, const TZDBPageRef& page,
                                                         bool checkVersions) {
  const int32_t next = page->NextPageNo();
  if (next == TZDBPage::NoPage) return {};
  return TZDBPageRef(pageManager_, session, next, checkVersions, pageType_);
}

TZDBPageRef TZDBInternalDBTransactedAccessFile::GetChainPage(int32_t session, int32_t index, bool checkVersions) {
  CheckOpen("GetChainPage");
  if (index < 0) RaiseMissingChainPage(index);
  TZDBPageRef page = FirstPage(session, checkVersions);
  for (int32_t i = 0; i < index; ++i) {
    page = NextPage(session, page, checkVersions);
    if (!page) RaiseMissingChainPage(index);
  }
  return page;
}

TZDBInternalFileSize TZDBInternalDBTransactedAccessFile::GetSize(int32_t session, bool checkVersions) {
  CheckOpen("GetSize");
  TZDBPageRef first = FirstPage(session, checkVersions);
  TZDBInternalFileSize size = DecodeHeader(*first);
  size.ReadFromFile = first->ReadFromFile();
  return size;
}

void TZDBInternalDBTransactedAccessFile::RemoveChainFrom(int32_t session, int32_t pageNo) {
  // A damaged link may point back into the chain; each page is given back once.
  std::unordered_set<int32_t> removed;
  while (pageNo != TZDBPage::NoPage && removed.insert(pageNo).second) {
    int32_t next;
    {
      TZDBPageRef page(pageManager_, session, pageNo, true, pageType_);
      next = page->NextPageNo();
    }
    pageManager_.RemovePage(session, pageNo);
    pageNo = next;
  }
}

void TZDBInternalDBTransactedAccessFile::SetSize(int32_t session, int32_t storedSize, uint8_t algorithm,
                                                 int32_t fileSize) {
  CheckOpen("SetSize");
  TZDBPageRef first = FirstPage(session, true);
  if (storedSize < 0) RaiseNegativeSize(DecodeHeader(*first).StoredSize, storedSize);
  const int64_t needed = internalfile::PagesNeeded(storedSize, pageManager_.PageDataSize());

  // Walk (and where needed extend) the chain to the page that is last for the new size.
  std::unordered_set<int32_t> kept{first->PageNo()};
  TZDBPageRef current;  // empty while the first page is the current one
  auto currentPage = [&]() -> TZDBPage& { return current ? *current : *first; };
  for (int64_t index = 1; index < needed; ++index) {
    TZDBPage& page = currentPage();
    TZDBPageRef next;
    if (page.NextPageNo() == TZDBPage::NoPage) {
      next = TZDBPageRef::Add(pageManager_, session, pageType_);
      page.SetNextPageNo(next->PageNo());
      page.MarkDirty();
    } else {
      if (!kept.insert(page.NextPageNo()).second) RaiseMissingChainPage(index);
      next = TZDBPageRef(pageManager_, session, page.NextPageNo(), true, pageType_);
    }
    current = std::move(next);
  }

  // Pages past the new end hold no content: unlink and give them back.
  TZDBPage& last = currentPage();
  const int32_t tail = last.NextPageNo();
  if (tail != TZDBPage::NoPage) {
    last.SetNextPageNo(TZDBPage::NoPage);
    last.MarkDirty();
    current.Release();
    if (kept.count(tail) == 0) RemoveChainFrom(session, tail);
  }

  uint8_t* header = first->Data();
  le::PutU8(header + internalfile::HeaderSizeOffset, internalfile::HeaderSize);
  le::PutI32(header + internalfile::StoredSizeOffset, storedSize);
  le::PutI32(header + internalfile::FileSizeOffset, fileSize);
  le::PutU8(header + internalfile::AlgorithmOffset, algorithm);
  first->MarkDirty();
}

void TZDBInternalDBTransactedAccessFile::CopyStoredBytes(
    int32_t session, bool checkVersions, int32_t count, const TZDBInternalFileSize& size, int32_t requested,
    const std::function<void(const uint8_t* piece, int32_t length)>& take) {
  const int32_t dataSize = pageManager_.PageDataSize();
  TZDBPageRef page = FirstPage(session, checkVersions);
  // A chain that comes back to a page it passed would never end: it is as short as that.
  std::unordered_set<int32_t> visited{page->PageNo()};
  int32_t offset = internalfile::HeaderSize;
  int32_t done = 0;
  while (done < count) {
    if (offset == dataSize) {
      const int32_t next = page->NextPageNo();
      page = next != TZDBPage::NoPage && visited.insert(next).second ? NextPage(session, page, checkVersions)
                                                                     : TZDBPageRef();
      offset = 0;
      if (!page)
        RaiseError(errors::ChainTooShort, {count - done, size.FileSize, requested, done});
    }
    const int32_t piece = std::min(count - done, dataSize - offset);
    take(page->Data() + offset, piece);
    done += piece;
    offset += piece;
  }
}

std::vector<uint8_t> TZDBInternalDBTransactedAccessFile::ReadStoredBytes(int32_t session, bool checkVersions,
                                                                         int32_t count,
                                                                         const TZDBInternalFileSize& size,
                                                                         int32_t requested) {
  std::vector<uint8_t> stored;
  CopyStoredBytes(session, checkVersions, count, size, requested,
                  [&](const uint8_t* piece, int32_t length) { stored.insert(stored.end(), piece, piece + length); });
  return stored;
}

std::vector<uint8_t> TZDBInternalDBTransactedAccessFile::ReadDecompressed(int32_t session, bool checkVersions,
                                                                          const TZDBInternalFileSize& size,
                                                                          int32_t count) {
  if (size.StoredSize <= 0)
    RaiseError(errors::TableFileDecompression);
  const std::vector<uint8_t> stored = ReadStoredBytes(session, checkVersions, size.StoredSize, size, count);
  // The decompressor grows its output as it goes and stops at FileSize, so a damaged
  // FileSize costs no more memory than the stored bytes really expand to.
  std::vector<uint8_t> content;
  if (!DecompressBuffer(size.Algorithm, stored.data(), size.StoredSize, size.FileSize, content) ||
      content.size() != static_cast<size_t>(size.FileSize))
    RaiseError(errors::TableFileDecompression);
  return content;
}

void TZDBInternalDBTransactedAccessFile::ReadFile(int32_t session, void* buffer, bool checkVersions, int32_t count) {
  CheckOpen("ReadFile");
  const TZDBInternalFileSize size = GetSize(session, checkVersions);
  if (size.FileSize < count || count < 0)
    RaiseError(errors::ReadTooMuch, {size.FileSize, count});
  if (count == 0) return;
  auto* out = static_cast<uint8_t*>(buffer);

  if (size.Algorithm == CompressionNone) {
    // Bytes past the stored size are not content, whatever the chain holds there.
    if (size.StoredSize < count)
      RaiseError(errors::ChainTooShort, {int64_t{count} - size.StoredSize, size.FileSize, count, size.StoredSize});
    int32_t done = 0;
    CopyStoredBytes(session, checkVersions, count, size, count, [&](const uint8_t* piece, int32_t length) {
      std::memcpy(out + done, piece, static_cast<size_t>(length));
      done += length;
    });
    return;
  }
  const std::vector<uint8_t> content = ReadDecompressed(session, checkVersions, size, count);
  std::memcpy(out, content.data(), static_cast<size_t>(count));
}

std::vector<uint8_t> TZDBInternalDBTransactedAccessFile::ReadAll(int32_t session, bool checkVersions) {
  CheckOpen("ReadFile");
  const TZDBInternalFileSize size = GetSize(session, checkVersions);
  // As ReadFile of FileSize bytes, but the content is gathered as the chain gives it
  // rather than allocated from a size the file may have wrong.
  if (size.FileSize < 0)
    RaiseError(errors::ReadTooMuch, {size.FileSize, 0});
  if (size.FileSize == 0) return {};
  if (size.Algorithm != CompressionNone) return ReadDecompressed(session, checkVersions, size, size.FileSize);
  if (size.StoredSize < size.FileSize)
    RaiseError(errors::ChainTooShort, {int64_t{size.FileSize} - size.StoredSize, size.FileSize, size.FileSize, size.StoredSize});
  return ReadStoredBytes(session, checkVersions, size.FileSize, size, size.FileSize);
}

void TZDBInternalDBTransactedAccessFile::WriteFile(int32_t session, const void* data, uint8_t level,
                                                   uint8_t algorithm, int32_t count) {
  CheckOpen("WriteFile");
  if (count < 0) RaiseNegativeSize(GetSize(session).StoredSize, count);

  const auto* stored = static_cast<const uint8_t*>(data);
  int32_t storedSize = count;
  std::vector<uint8_t> compressed;
  // Compressors refuse empty input, and an empty content gains nothing from them.
  if (count == 0) algorithm = CompressionNone;
  if (algorithm != CompressionNone) {
    if (!CompressBuffer(algorithm, level, data, count, compressed) ||
        compressed.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      RaiseError(errors::TableFileCompression);
    stored = compressed.data();
    storedSize = static_cast<int32_t>(compressed.size());
  }
  SetSize(session, storedSize, algorithm, count);

  const int32_t dataSize = pageManager_.PageDataSize();
  TZDBPageRef page = FirstPage(session, true);
  int32_t offset = internalfile::HeaderSize;
  int32_t done = 0;
  while (done < storedSize) {
    if (offset == dataSize) {
      page = NextPage(session, page, true);
      offset = 0;
      if (!page) RaiseMissingChainPage(internalfile::ChainIndexOf(done, dataSize));
    }
    const int32_t piece = std::min(storedSize - done, dataSize - offset);
    std::memcpy(page->Data() + offset, stored + done, static_cast<size_t>(piece));
    page->MarkDirty();
    done += piece;
    offset += piece;
  }
}

}  // namespace zdb
