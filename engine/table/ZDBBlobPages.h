// The BLOB pages of one table, as the shared pages and the page chains get them: every
// page is of type 11 (TableBlob) and names the table as its owner.
//
// A page reached through a reference or a chain's list that is freed, or that another
// table owns, is damage: 20291 "Cannot read BLOB field value" (an owner that trusts its
// pages, as in files written before pages named owners, skips the owner check). The page
// manager's own errors pass through: 20153 for a page of another type, 20299 for one that
// cannot be read.
#pragma once

#include <cstdint>

#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/table/ZDBRecordPageOwner.h"

namespace zdb {

// 20291 "Cannot read BLOB field value": a stored value that does not add up.
[[noreturn]] void RaiseDamagedBlob();

class TZDBBlobPages {
 public:
  static constexpr uint16_t PageType = PageTypeCode(TZDBPageType::TableBlob);

  TZDBBlobPages(TZDBPageManager& pages, const TZDBRecordPageOwner& owner) : pages_(pages), owner_(owner) {}

  TZDBPageRef Fetch(int32_t session, int32_t pageNo) const;
  // A new BLOB page of the table, private to the session until commit.
  TZDBPageRef Add(int32_t session) const;
  // Frees the page number at the session's commit.
  void Free(int32_t session, int32_t pageNo) const { pages_.RemovePage(session, pageNo); }

  int32_t DataSize() const { return pages_.PageDataSize(); }
  TZDBPageManager& Pages() const { return pages_; }

 private:
  TZDBPageManager& pages_;
  const TZDBRecordPageOwner& owner_;
};

}  // namespace zdb
