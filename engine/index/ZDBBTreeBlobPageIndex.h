// The BLOB-page index of a table: every BLOB page the table has, with the bytes in use on
// it. The BLOB manager finds pages with space for a block through it.
#pragma once

#include <cstdint>

#include "engine/index/ZDBBTreePageIndex.h"

namespace zdb {

class TZDBBTreeBlobPageIndex : public TZDBBTreePageIndex {
 public:
  // Bytes of a BLOB page's data area that its own bookkeeping takes.
  static constexpr int32_t PageReserve = 2;

  explicit TZDBBTreeBlobPageIndex(TZDBPageManager& pages)
      : TZDBBTreePageIndex(pages), pageDataSize_(pages.PageDataSize()) {}

  // value + amount < PageDataSize - PageReserve.
  bool HasRoom(uint16_t value, int32_t amount) const override {
    return value + amount < pageDataSize_ - PageReserve;
  }

  bool FindPageWithSpace(int32_t session, int32_t bytes, int32_t& pageNo) {
    return FindPageWithRoom(session, bytes, pageNo);
  }
  // 20106 when the page has no room for them.
  void AddBytes(int32_t session, int32_t bytes, int32_t pageNo) { AddAmount(session, bytes, pageNo); }
  // A page whose last bytes go leaves the index. 20112 for more bytes than it uses.
  void SubtractBytes(int32_t session, int32_t bytes, int32_t pageNo) {
    SubtractAmount(session, bytes, SubtractFromValue, pageNo);
  }
  // The bytes in use, or -1 when the index does not hold the page.
  int32_t GetUsedBytes(int32_t session, int32_t pageNo) {
    TZDBKeyPath path;
    if (!HasRoot() || !Find(session, pageNo, path)) return -1;
    return GetValue(session, path);
  }

 private:
  int32_t pageDataSize_;
};

}  // namespace zdb
