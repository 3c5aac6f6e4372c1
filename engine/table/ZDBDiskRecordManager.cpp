#include "engine/table/ZDBDiskRecordManager.h"

#include <exception>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

// Versions above this one mark pages that were freed or could not be read.
constexpr int32_t MaxLivePageVersion = layout::PageVersionWrap;

}  // namespace

TZDBDiskRecordManager::TZDBDiskRecordManager(TZDBPageManager& pages, const TZDBBaseFieldManager& fields,
                                             const TZDBRecordPageOwner& owner)
    : pages_(pages), fields_(fields), owner_(owner), pageIndex_(pages) {}

void TZDBDiskRecordManager::Init(int32_t recordBufferSize, int32_t storedRecordSize) {
  const int32_t recordsPerPage = TZDBSmallRecordPage::ComputeRecordsPerPage(pages_.PageDataSize(), storedRecordSize);
  if (recordsPerPage <= 0)
    RaiseError(errors::RecordTooLarge);
  SetSizes(recordBufferSize, storedRecordSize, recordsPerPage);
  scratch_.assign(static_cast<size_t>(storedRecordSize), 0);
  pageIndex_.SetRecordsPerPage(recordsPerPage);
  ResetCounts();
}

// --- the record-page index -------------------------------------------------------------------

void TZDBDiskRecordManager::CreatePageIndex(int32_t session) { pageIndex_.CreateTree(session); }

void TZDBDiskRecordManager::DropTableRows(int32_t session) {
  EmptyTable(session);
  pageIndex_.DropTree(session);
}

// --- pages -----------------------------------------------------------------------------------

bool TZDBDiskRecordManager::IsTableRecordPage(int32_t session, const TZDBPage& page) const {
  if (owner_.TrustsRecordPages(session)) return true;
  return page.PageVersion() <= MaxLivePageVersion && page.PageType() == TZDBSmallRecordPage::PageType &&
         page.OwnerObjectID() == owner_.TableObjectID();
}

TZDBPageRef TZDBDiskRecordManager::FetchRecordPage(int32_t session, int32_t pageNo) {
  if (pageNo < 0) return {};
  // Any type is asked for: a page that is no longer one of ours is an answer (no row
  // here), not a damaged file. So is a page that cannot be read: a RecordID kept from
  // before may name a page freed since and cut off the end of the file.
  TZDBPageRef page;
  try {
    page = TZDBPageRef(pages_, session, pageNo, true, AnyPageType);
  } catch (const EZDBException& e) {
    if (!e.Is(errors::PageRead)) throw;
    return {};
  }
  if (!IsTableRecordPage(session, *page)) return {};
  return page;
}

TZDBPageRef TZDBDiskRecordManager::PageForInsert(int32_t session) {
  int32_t pageNo = 0;
  if (pageIndex_.FindPageWithFreeSlot(session, pageNo)) {
    TZDBPageRef page(pages_, session, pageNo, true, TZDBSmallRecordPage::PageType);
    // Rows are never written over a page that is not the table's, whatever the index says.
    if (!IsTableRecordPage(session, *page)) return {};
    return page;
  }
  TZDBPageRef page = TZDBPageRef::Add(pages_, session, TZDBSmallRecordPage::PageType);
  page->SetOwnerObjectID(owner_.TableObjectID());
  View(*page).Clear();
  return page;
}

// --- rows ------------------------------------------------------------------------------------

void TZDBDiskRecordManager::EmptyTable(int32_t session) {
  for (int32_t pageNo : pageIndex_.AllPages(session)) pages_.RemovePage(session, pageNo);
  if (pageIndex_.HasRoot()) pageIndex_.EmptyTree(session);
  ResetCounts();
}

bool TZDBDiskRecordManager::InsertRecord(int32_t session, const uint8_t* recordBuffer, TZDBRecordID& recordID) {
  try {
    TZDBPageRef page = PageForInsert(session);
    if (!page) return false;
    fields_.ToStoredRecord(recordBuffer, scratch_.data());
    const TZDBRecordID added = View(*page).AddRecord(scratch_.data());
    page.Release();
    pageIndex_.AddRow(session, added.PageNo);
    // Counted only once the index knows the row, so a failed insert leaves the counters
    // as they were.
    CountInsert();
    recordID = added;
    return true;
  } catch (const std::exception&) {
    // The caller turns false into its own error; the session's rollback undoes the pages.
    return false;
  }
}

bool TZDBDiskRecordManager::UpdateRecord(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID) {
  TZDBPageRef page = FetchRecordPage(session, recordID.PageNo);
  if (!page) return false;
  fields_.ToStoredRecord(recordBuffer, scratch_.data());
  if (!View(*page).UpdateRecord(scratch_.data(), recordID)) return false;
  CountUpdate();
  return true;
}

bool TZDBDiskRecordManager::DeleteRecord(int32_t session, const TZDBRecordID& recordID) {
  TZDBPageRef page = FetchRecordPage(session, recordID.PageNo);
  if (!page) return false;
  TZDBSmallRecordPage view = View(*page);
  if (!view.DeleteRecord(recordID)) return false;
  const int32_t remaining = view.UsedSlotCount();
  page.Release();
  if (remaining == 0) pages_.RemovePage(session, recordID.PageNo);
  pageIndex_.SetRowCount(session, recordID.PageNo, remaining);
  CountDelete();
  return true;
}

// --- reading ---------------------------------------------------------------------------------

void TZDBDiskRecordManager::GetRecord(int32_t session, TZDBNavigationRequest& request) {
  if (RecordCount() == 0) {
    request.GetResult = grEOF;
    return;
  }
  const uint8_t mode = request.GetMode;
  if (request.BeforeFirst) {
    int32_t first = 0;
    if (mode == grmNext)
      request.GetResult = pageIndex_.FirstPage(session, first)
                              ? ReadEdgeRow(session, first, true, request, errors::NextPageFailed)
                              : static_cast<uint8_t>(grNotFound);
    else
      request.GetResult = mode == grmPrior ? grBOF : grNotFound;
    return;
  }
  if (request.AfterLast) {
    int32_t last = 0;
    if (mode == grmPrior)
      request.GetResult = pageIndex_.LastPage(session, last)
                              ? ReadEdgeRow(session, last, false, request, errors::PriorPageFailed)
                              : static_cast<uint8_t>(grNotFound);
    else
      request.GetResult = mode == grmNext ? grEOF : grNotFound;
    return;
  }
  switch (mode) {
    case grmNext:
      request.GetResult = ReadNext(session, request);
      break;
    case grmPrior:
      request.GetResult = ReadPrior(session, request);
      break;
    case grmCurrent:
      request.GetResult = ReadCurrent(session, request);
      break;
    default:
      request.GetResult = grNotFound;
      break;
  }
}

uint8_t TZDBDiskRecordManager::ReadCurrent(int32_t session, TZDBNavigationRequest& request) {
  TZDBPageRef page = FetchRecordPage(session, request.RecordID.PageNo);
  if (!page) return grNotFound;
  const TZDBSmallRecordPage view = View(*page);
  if (!view.SlotUsed(request.RecordID.RecordNo)) return grNotFound;
  return Deliver(view, request.RecordID, request, errors::CurrentFailed);
}

uint8_t TZDBDiskRecordManager::ReadNext(int32_t session, TZDBNavigationRequest& request) {
  const TZDBRecordID from = request.RecordID;
  if (TZDBPageRef page = FetchRecordPage(session, from.PageNo)) {
    const TZDBSmallRecordPage view = View(*page);
    TZDBRecordID next = from;
    if (view.NextRecord(next)) return Deliver(view, next, request, errors::NextOnPageFailed);
  }
  int32_t nextPage = 0;
  if (!pageIndex_.PageAfter(session, from.PageNo, nextPage)) return grEOF;
  return ReadEdgeRow(session, nextPage, true, request, errors::NextPageFailed);
}

uint8_t TZDBDiskRecordManager::ReadPrior(int32_t session, TZDBNavigationRequest& request) {
  const TZDBRecordID from = request.RecordID;
  if (TZDBPageRef page = FetchRecordPage(session, from.PageNo)) {
    const TZDBSmallRecordPage view = View(*page);
    TZDBRecordID prior = from;
    if (view.PriorRecord(prior)) return Deliver(view, prior, request, errors::PriorOnPageFailed);
  }
  int32_t priorPage = 0;
  if (!pageIndex_.PageBefore(session, from.PageNo, priorPage)) return grBOF;
  return ReadEdgeRow(session, priorPage, false, request, errors::PriorPageFailed);
}

uint8_t TZDBDiskRecordManager::ReadEdgeRow(int32_t session, int32_t pageNo, bool first,
                                           TZDBNavigationRequest& request, const TZDBError& readFailedCode) {
  TZDBPageRef page = FetchRecordPage(session, pageNo);
  if (!page) return grNotFound;
  const TZDBSmallRecordPage view = View(*page);
  return Deliver(view, first ? view.FirstRecord() : view.LastRecord(), request, readFailedCode);
}

uint8_t TZDBDiskRecordManager::Deliver(const TZDBSmallRecordPage& page, const TZDBRecordID& recordID,
                                       TZDBNavigationRequest& request, const TZDBError& readFailedCode) {
  if (request.RecordBuffer != nullptr) {
    // Decoded straight from the page: the row is read once.
    const uint8_t* stored = page.StoredRecord(recordID);
    if (stored == nullptr) RaiseError(readFailedCode);
    fields_.ToRecordBuffer(stored, request.RecordBuffer);
  }
  request.RecordID = recordID;
  request.BeforeFirst = false;
  request.AfterLast = false;
  return grOK;
}

// --- record numbers --------------------------------------------------------------------------

TZDBRecordID TZDBDiskRecordManager::RecordIDAtRecNo(int32_t session, int64_t recNo) {
  int32_t pageNo = 0;
  int32_t position = 0;
  pageIndex_.LocateRow(session, recNo - 1, pageNo, position);
  TZDBPageRef page = FetchRecordPage(session, pageNo);
  if (!page) RaiseError(errors::NextPageFailed);
  return View(*page).RecordAt(position);
}

int64_t TZDBDiskRecordManager::RecNoOfRecordID(int32_t session, const TZDBRecordID& recordID) {
  int32_t slotsBefore = 0;
  {
    TZDBPageRef page = FetchRecordPage(session, recordID.PageNo);
    if (!page) RaiseError(errors::RecNoOfMissingPage);
    slotsBefore = View(*page).UsedSlotsBefore(recordID);
  }
  return pageIndex_.RowsBefore(session, recordID.PageNo, slotsBefore) + 1;
}

int64_t TZDBDiskRecordManager::RecordIDToNumber(const TZDBRecordID& recordID) const {
  return int64_t{recordID.PageNo} * RecordsPerPage() + recordID.RecordNo;
}

TZDBRecordID TZDBDiskRecordManager::NumberToRecordID(int64_t number) const {
  if (RecordsPerPage() <= 0 || number < 0) return {};
  return {static_cast<int32_t>(number / RecordsPerPage()), static_cast<uint16_t>(number % RecordsPerPage())};
}

int64_t TZDBDiskRecordManager::GetMaxRecordNumber(int32_t session) {
  int32_t last = 0;
  if (!pageIndex_.LastPage(session, last)) return 1;
  return (int64_t{last} + 1) * RecordsPerPage();
}

}  // namespace zdb
