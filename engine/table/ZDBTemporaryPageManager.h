// The page store of a table's session-private index pages (temporary ordering indexes):
// pages that live in memory for as long as the table is open and never reach the
// database file.
//
// Contract: the page cache and the per-session transactions of TZDBPageManager work as
// for any page manager; committed pages are kept in memory, freed numbers are reused
// (lowest first). Page numbers start at 2, as in a database file, so that no page
// number of a temporary tree is ever mistaken for "no page" (-1) or a bitmap page.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "engine/file/ZDBPageManager.h"

namespace zdb {

class TZDBTemporaryPageManager : public TZDBPageManager {
 public:
  static constexpr int32_t FirstPageNo = 2;

  explicit TZDBTemporaryPageManager(uint16_t pageSize, int32_t cacheCapacity = DefaultCacheCapacity());

  // Pages the store holds.
  size_t StoredPageCount() const { return allocated_.size(); }

 protected:
  void InternalAddPage(TZDBPage& page) override;
  void InternalRemovePage(int32_t pageNo) override;
  bool InternalReadPage(TZDBPage& page) override;
  void InternalWritePage(TZDBPage& page) override;

 private:
  std::map<int32_t, std::vector<uint8_t>> images_;
  std::set<int32_t> allocated_;
};

}  // namespace zdb
