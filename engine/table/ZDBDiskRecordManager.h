// The record manager of a disk table: rows in the fixed-size slots of record pages
// (TZDBSmallRecordPage), found through the table's record-page index (page number -> rows
// on it). Pages are read, added and freed through the page manager for the calling
// session, so a session's changes stay its own until the table data commits them.
//
// Rows never move: a RecordID stays valid until its row is deleted. A page that loses its
// last row is freed and leaves the index; new rows go to a page the index reports with a
// free slot (the lowest free slot of it), else to a new page.
//
// Page check: a page reached through a RecordID counts only when it is a live record page
// of this table (PageVersion not that of a freed or unreadable page, type 10, owner the
// table's ObjectID), unless the owner trusts every page (repair, old files). A page that
// fails, or cannot be read at all, holds no row of this table: reading it finds nothing,
// updating or deleting answers false.
//
// Physical order is page number, then slot. A walk that starts from a page that no longer
// holds rows of the table (emptied by this session, freed by another process) goes on
// with the nearest page of the index in its direction.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBBTreeRecordPageIndex.h"
#include "engine/table/ZDBBaseRecordManager.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBRecordPageOwner.h"
#include "engine/table/ZDBSmallRecordPage.h"

namespace zdb {

class TZDBDiskRecordManager : public TZDBBaseRecordManager {
 public:
  TZDBDiskRecordManager(TZDBPageManager& pages, const TZDBBaseFieldManager& fields, const TZDBRecordPageOwner& owner);

  // Sets the row sizes, computes RecordsPerPage (also the index's page capacity) and
  // zeroes the counters. 20174 when not even one row fits on a page.
  void Init(int32_t recordBufferSize, int32_t storedRecordSize);

  // --- the record-page index -------------------------------------------------------------
  // A new, empty index (at table creation).
  void CreatePageIndex(int32_t session);
  // EmptyTable, then the index's pages are freed too.
  void DropTableRows(int32_t session);
  // The index's root page number, kept with the table metadata.
  void LoadPageIndexRoot(int32_t rootPageNo) { pageIndex_.SetRoot(rootPageNo); }
  int32_t SavePageIndexRoot() const { return pageIndex_.RootPageNo(); }
  TZDBBTreeRecordPageIndex& PageIndex() { return pageIndex_; }

  // --- virtual operations ----------------------------------------------------------------
  void EmptyTable(int32_t session) override;
  bool InsertRecord(int32_t session, const uint8_t* recordBuffer, TZDBRecordID& recordID) override;
  bool UpdateRecord(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID) override;
  bool DeleteRecord(int32_t session, const TZDBRecordID& recordID) override;
  // With RecordCount 0 the result is 2 (end) for every mode. Before the first row: next
  // reads the first row, prior gives 1, current 3; after the last: prior reads the last
  // row, next gives 2, current 3. Otherwise from RecordID: next gives the following row or
  // 2, prior the preceding row or 1, current the row itself or 3. A row found sets
  // RecordID, clears both flags, is copied into RecordBuffer when there is one, and gives
  // 0. A slot that cannot be read although it was just found raises 20145 .. 20148
  // "Record not found" (next on the page, next page, prior on the page, prior page).
  void GetRecord(int32_t session, TZDBNavigationRequest& request) override;

  // --- record numbers ------------------------------------------------------------------
  // The row at physical position recNo (from 1). 20113 "Cannot set RecNo greater than
  // RecordCount" past the last row; 20146 "Record not found" for a position below 1.
  TZDBRecordID RecordIDAtRecNo(int32_t session, int64_t recNo);
  // The physical position of the row, from 1. 20114 "Invalid page number" when its page
  // holds no rows of the table.
  int64_t RecNoOfRecordID(int32_t session, const TZDBRecordID& recordID);

  // Physical record numbers (record bitmaps): PageNo x RecordsPerPage + RecordNo.
  int64_t RecordIDToNumber(const TZDBRecordID& recordID) const;
  TZDBRecordID NumberToRecordID(int64_t number) const;
  // Above every physical record number of the table: (last page + 1) x RecordsPerPage, or
  // 1 without record pages.
  int64_t GetMaxRecordNumber(int32_t session);

 private:
  // The page when it passes the page check; an empty handle when it holds no rows of
  // this table.
  TZDBPageRef FetchRecordPage(int32_t session, int32_t pageNo);
  bool IsTableRecordPage(int32_t session, const TZDBPage& page) const;
  TZDBSmallRecordPage View(TZDBPage& page) const {
    return TZDBSmallRecordPage(page, StoredRecordSize(), RecordsPerPage());
  }
  // A page for a new row: one the index reports with room, else a new one.
  TZDBPageRef PageForInsert(int32_t session);

  uint8_t ReadCurrent(int32_t session, TZDBNavigationRequest& request);
  uint8_t ReadNext(int32_t session, TZDBNavigationRequest& request);
  uint8_t ReadPrior(int32_t session, TZDBNavigationRequest& request);
  // The first or last row of a page of the index; 3 when the page fails the check.
  uint8_t ReadEdgeRow(int32_t session, int32_t pageNo, bool first, TZDBNavigationRequest& request,
                      const TZDBError& readFailedCode);
  // Hands the row found to the request.
  uint8_t Deliver(const TZDBSmallRecordPage& page, const TZDBRecordID& recordID, TZDBNavigationRequest& request,
                  const TZDBError& readFailedCode);

  TZDBPageManager& pages_;
  const TZDBBaseFieldManager& fields_;
  const TZDBRecordPageOwner& owner_;
  TZDBBTreeRecordPageIndex pageIndex_;
  std::vector<uint8_t> scratch_;  // one stored record
};

}  // namespace zdb
