// The record-page index of a table: every record page the table has, with the number of
// rows on it. The record manager finds pages with a free slot through it, walks its pages
// in physical order and turns physical record numbers into rows and back.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/ZDBBTreePageIndex.h"

namespace zdb {

class TZDBBTreeRecordPageIndex : public TZDBBTreePageIndex {
 public:
  using TZDBBTreePageIndex::TZDBBTreePageIndex;

  // Rows a record page holds at most; set by the record manager.
  int32_t RecordsPerPage() const { return recordsPerPage_; }
  void SetRecordsPerPage(int32_t recordsPerPage) { recordsPerPage_ = recordsPerPage; }

  // A page with fewer rows than RecordsPerPage.
  bool HasRoom(uint16_t value, int32_t amount) const override;

  bool FindPageWithFreeSlot(int32_t session, int32_t& pageNo) { return FindPageWithRoom(session, 1, pageNo); }
  // One more row on the page; a page new to the index enters with 1. 20106 when the page
  // is full.
  void AddRow(int32_t session, int32_t pageNo) { AddAmount(session, 1, pageNo); }
  // The page's row count; 0 removes the page.
  void SetRowCount(int32_t session, int32_t pageNo, int32_t count) { SubtractAmount(session, 1, count, pageNo); }
  // The row count of the page, 0 when the index does not hold it.
  int32_t RowCount(int32_t session, int32_t pageNo);

  // The lowest / highest page; false when the table has none.
  bool FirstPage(int32_t session, int32_t& pageNo);
  bool LastPage(int32_t session, int32_t& pageNo);
  // The neighbour of a page the index holds; false at the end. 20104 / 20105 "Invalid
  // page number" when the page is not in the index.
  bool NextPage(int32_t session, int32_t pageNo, int32_t& next);
  bool PriorPage(int32_t session, int32_t pageNo, int32_t& prior);
  // The nearest page above / below a page number, whether or not that page is in the
  // index (a walk can start from a page that has just lost its last row).
  bool PageAfter(int32_t session, int32_t pageNo, int32_t& next);
  bool PageBefore(int32_t session, int32_t pageNo, int32_t& prior);
  // Every page, ascending.
  std::vector<int32_t> AllPages(int32_t session);

  // The page and the position on it of the row at 0-based physical position `row`.
  // 20113 "Cannot set RecNo greater than RecordCount" past the last row.
  void LocateRow(int32_t session, int64_t row, int32_t& pageNo, int32_t& position);
  // Rows on the pages below the page, plus slotPosition. 20114 "Invalid page number"
  // when the page is not in the index.
  int64_t RowsBefore(int32_t session, int32_t pageNo, int32_t slotPosition);
  // Rows on all pages.
  int64_t TotalRows(int32_t session);
  // 20292 when the rows on all pages are not the expected count.
  void CheckRowCount(int32_t session, int64_t expected);

 private:
  bool Neighbour(int32_t session, int32_t pageNo, bool forward, int32_t& neighbour);

  int32_t recordsPerPage_ = 0;
};

}  // namespace zdb
