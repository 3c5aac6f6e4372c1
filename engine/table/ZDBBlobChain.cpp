#include "engine/table/ZDBBlobChain.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageRef.h"

namespace zdb {
namespace {

constexpr int64_t HeadDataOffset = static_cast<int64_t>(BlobChainDataOffset);
constexpr int64_t ListEntrySize = static_cast<int64_t>(BlobChainListEntrySize);

// Where the value ends on its last data page: 1 .. PageDataSize.
int64_t EndOffset(int64_t valueSize, int64_t pageCount, int64_t pageDataSize) {
  return HeadDataOffset + valueSize - (pageCount - 1) * pageDataSize;
}

}  // namespace

int64_t TZDBBlobChain::DataPageCount(int64_t valueSize, int32_t pageDataSize) {
  const int64_t total = HeadDataOffset + valueSize;
  return std::max<int64_t>(1, (total + pageDataSize - 1) / pageDataSize);
}

// --- writing -------------------------------------------------------------------------------------

int32_t TZDBBlobChain::Write(int32_t session, const TZDBBlobValueHeader& header, const uint8_t* bytes) const {
  const int64_t dataSize = pages_.DataSize();
  const int64_t size = header.ValueSize;
  std::vector<int32_t> dataPages;

  TZDBPageRef head = pages_.Add(session);
  header.SaveWithoutID(head->Data());
  int64_t written = std::min(size, dataSize - HeadDataOffset);
  if (written > 0) std::memcpy(head->Data() + HeadDataOffset, bytes, static_cast<size_t>(written));
  dataPages.push_back(head->PageNo());

  TZDBPageRef tail;  // the page being filled when it is not the head
  TZDBPage* current = head.Get();
  int64_t offset = HeadDataOffset + written;
  while (written < size) {
    tail = pages_.Add(session);
    current = tail.Get();
    const int64_t n = std::min(dataSize, size - written);
    std::memcpy(current->Data(), bytes + written, static_cast<size_t>(n));
    dataPages.push_back(current->PageNo());
    written += n;
    offset = n;
  }

  // The page list, after the last value byte.
  if (offset + ListEntrySize > dataSize) {
    tail = pages_.Add(session);
    current = tail.Get();
    offset = 0;
  }
  TZDBBlobChainLocator locator;
  locator.ListPage = current->PageNo();
  locator.ListOffset = static_cast<uint16_t>(offset);
  locator.PageCount = static_cast<int32_t>(dataPages.size());
  for (int32_t pageNo : dataPages) {
    if (offset + ListEntrySize > dataSize) {
      TZDBPageRef next = pages_.Add(session);
      current->SetNextPageNo(next->PageNo());
      current->MarkDirty();
      tail = std::move(next);
      current = tail.Get();
      offset = 0;
    }
    le::PutI32(current->Data() + offset, pageNo);
    offset += ListEntrySize;
  }
  current->MarkDirty();
  locator.Save(head->Data() + TZDBBlobChainLocator::Offset);
  head->MarkDirty();
  return head->PageNo();
}

// --- reading ---------------------------------------------------------------------------------

TZDBBlobChain::Layout TZDBBlobChain::Inspect(int32_t session, int32_t headPageNo, bool checkDataPages) const {
  const int64_t dataSize = pages_.DataSize();
  Layout layout;
  TZDBBlobChainLocator locator;
  {
    TZDBPageRef head = pages_.Fetch(session, headPageNo);
    layout.Header = TZDBBlobValueHeader::Load(head->Data());
    locator = TZDBBlobChainLocator::Load(head->Data() + TZDBBlobChainLocator::Offset);
  }
  const int64_t size = layout.Header.ValueSize;
  const int64_t count = locator.PageCount;
  // Size and page count must agree before anything is sized by them.
  if (size < 0 || count < 1 || size > count * dataSize - HeadDataOffset ||
      size <= (count - 1) * dataSize - HeadDataOffset)
    RaiseDamagedBlob();
  const int64_t end = EndOffset(size, count, dataSize);
  const bool listOnLastDataPage = end < dataSize && locator.ListOffset == end;
  if (!listOnLastDataPage && !(locator.ListOffset == 0 && end + ListEntrySize > dataSize)) RaiseDamagedBlob();

  std::unordered_set<int32_t> seen;
  int32_t listPageNo = locator.ListPage;
  TZDBPageRef listPage = pages_.Fetch(session, listPageNo);
  layout.ListPages.push_back(listPageNo);
  int64_t offset = locator.ListOffset;
  for (int64_t i = 0; i < count; ++i) {
    if (offset + ListEntrySize > dataSize) {
      listPageNo = listPage->NextPageNo();
      // A list that runs in a circle or off its pages is as damaged as a short one.
      if (std::find(layout.ListPages.begin(), layout.ListPages.end(), listPageNo) != layout.ListPages.end())
        RaiseDamagedBlob();
      listPage = pages_.Fetch(session, listPageNo);
      layout.ListPages.push_back(listPageNo);
      offset = 0;
    }
    const int32_t pageNo = le::GetI32(listPage->Data() + offset);
    offset += ListEntrySize;
    if (pageNo <= 0 || !seen.insert(pageNo).second) RaiseDamagedBlob();
    layout.DataPages.push_back(pageNo);
  }
  listPage.Release();

  if (layout.DataPages.front() != headPageNo) RaiseDamagedBlob();
  if (listOnLastDataPage && layout.ListPages.front() != layout.DataPages.back()) RaiseDamagedBlob();
  for (size_t i = listOnLastDataPage ? 1 : 0; i < layout.ListPages.size(); ++i)
    if (seen.count(layout.ListPages[i]) != 0) RaiseDamagedBlob();
  // A listed page that is not one of the table's BLOB pages is damage too; reading
  // checks each page as it copies it.
  if (checkDataPages)
    for (size_t i = 1; i < layout.DataPages.size(); ++i) pages_.Fetch(session, layout.DataPages[i]);
  return layout;
}

void TZDBBlobChain::Read(int32_t session, int32_t headPageNo, TZDBBlobValueHeader& header,
                         std::vector<uint8_t>& bytes) const {
  const Layout layout = Inspect(session, headPageNo, false);
  const int64_t dataSize = pages_.DataSize();
  const int64_t size = layout.Header.ValueSize;
  std::vector<uint8_t> value(static_cast<size_t>(size));
  int64_t copied = 0;
  for (size_t i = 0; i < layout.DataPages.size() && copied < size; ++i) {
    TZDBPageRef page = pages_.Fetch(session, layout.DataPages[i]);
    const int64_t from = i == 0 ? HeadDataOffset : 0;
    const int64_t n = std::min(dataSize - from, size - copied);
    std::memcpy(value.data() + copied, page->Data() + from, static_cast<size_t>(n));
    copied += n;
  }
  header = layout.Header;
  bytes = std::move(value);
}

void TZDBBlobChain::Free(int32_t session, int32_t headPageNo) const {
  const Layout layout = Inspect(session, headPageNo, true);
  std::unordered_set<int32_t> freed;
  for (int32_t pageNo : layout.DataPages)
    if (freed.insert(pageNo).second) pages_.Free(session, pageNo);
  for (int32_t pageNo : layout.ListPages)
    if (freed.insert(pageNo).second) pages_.Free(session, pageNo);
}

bool TZDBBlobChain::LooksLikeHead(int32_t session, int32_t pageNo) const {
  TZDBPageRef page = pages_.Fetch(session, pageNo);
  const int64_t size = TZDBBlobValueHeader::Load(page->Data()).ValueSize;
  const int64_t count = TZDBBlobChainLocator::Load(page->Data() + TZDBBlobChainLocator::Offset).PageCount;
  const int64_t dataSize = pages_.DataSize();
  return (count - 2) * dataSize < size && size < count * dataSize;
}

}  // namespace zdb
