// A page manager over an in-memory page store, for testing the cache and the session
// transactions without a database file. It records every read, write and free, and can
// be told to fail a read or a write.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBPageManager.h"

namespace zdb::test {

class MemoryPageManager : public TZDBPageManager {
 public:
  explicit MemoryPageManager(int32_t cacheCapacity = 1000, uint16_t pageSize = 256)
      : TZDBPageManager(cacheCapacity) {
    SetPageSize(pageSize);
  }

  // Puts a committed page of the given type into the store, its first data bytes = value.
  void Store(int32_t pageNo, uint16_t pageType, uint32_t value, int32_t version = 100) {
    std::vector<uint8_t> image(PageSize(), 0);
    TZDBPage page(*this, pageNo);
    page.AttachBuffer(image.data(), image.size());
    page.InitializeHeader();
    page.SetPageType(pageType);
    page.SetPageVersion(version);
    le::PutU32(page.Data(), value);
    store[pageNo] = image;
    allocated.insert(pageNo);
  }
  uint32_t StoredValue(int32_t pageNo) const {
    return le::GetU32(store.at(pageNo).data() + PageHeaderSize());
  }
  int32_t StoredVersion(int32_t pageNo) const {
    return le::GetI32(store.at(pageNo).data() + TZDBPage::PageVersionOffset);
  }

  // The store: page images, allocated numbers, and what happened to them.
  std::map<int32_t, std::vector<uint8_t>> store;
  std::set<int32_t> allocated;
  std::vector<int32_t> reads, writes, frees, revalidations;
  int32_t failReadOf = -1;     // InternalReadPage answers false for this page
  int32_t failWriteOf = -1;    // InternalWritePage throws for this page
  bool refuseNumbers = false;  // InternalAddPage leaves PageNo -1

 protected:
  void InternalAddPage(TZDBPage& page) override {
    if (refuseNumbers) return;
    int32_t pageNo = 2;  // 0 and 1 stand for the bitmap pages of a real file
    while (allocated.count(pageNo) != 0) ++pageNo;
    allocated.insert(pageNo);
    page.SetPageNo(pageNo);
    page.InitializeHeader();
  }
  void InternalRemovePage(int32_t pageNo) override {
    if (allocated.erase(pageNo) == 0) throw std::logic_error("page freed twice");
    frees.push_back(pageNo);
    auto it = store.find(pageNo);
    if (it != store.end()) {
      le::PutI32(it->second.data() + TZDBPage::PageVersionOffset, TZDBPage::FreedPageVersion);
    }
  }
  bool InternalReadPage(TZDBPage& page) override {
    reads.push_back(page.PageNo());
    page.AllocateBuffer();
    auto it = store.find(page.PageNo());
    if (page.PageNo() == failReadOf || it == store.end()) {
      page.SetPageVersion(TZDBPage::FreedPageVersion);
      return false;
    }
    std::memcpy(page.Buffer(), it->second.data(), PageSize());
    page.SetReadFromFile(true);
    return true;
  }
  void InternalWritePage(TZDBPage& page) override {
    if (page.PageNo() == failWriteOf) throw std::runtime_error("write failed");
    if (allocated.count(page.PageNo()) == 0) throw std::logic_error("write of a free page");
    int32_t version = page.PageVersion() + 1;
    if (version == layout::PageVersionWrap) version = 0;
    page.SetPageVersion(version);
    store[page.PageNo()].assign(page.Buffer(), page.Buffer() + PageSize());
    writes.push_back(page.PageNo());
  }
  void RevalidateCachedPage(int32_t /*session*/, TZDBPage& page) override {
    revalidations.push_back(page.PageNo());
  }
};

// The first four data bytes of a page as a number, and back.
inline uint32_t ValueOf(const TZDBPage& page) { return le::GetU32(page.Data()); }
inline void SetValue(TZDBPage& page, uint32_t value) {
  le::PutU32(page.Data(), value);
  page.MarkDirty();
}

}  // namespace zdb::test
