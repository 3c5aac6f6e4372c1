#include "engine/table/ZDBTableSalvage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <exception>
#include <map>
#include <string>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/index/ZDBBTreeCheck.h"
#include "engine/index/ZDBBTreePage.h"
#include "engine/index/ZDBPageKeyRef.h"
#include "engine/table/ZDBBlobCache.h"
#include "engine/table/ZDBDiskBlobManager.h"
#include "engine/table/ZDBRecordPageOwner.h"
#include "engine/table/ZDBSmallRecordPage.h"

namespace zdb {
namespace {

constexpr int32_t Session = TZDBPageManager::SystemSession;
constexpr int32_t MaxLivePageVersion = layout::PageVersionWrap;
constexpr uint16_t MetaDataPageType = PageTypeCode(TZDBPageType::TableMetaData);
constexpr uint16_t MostUpdatedPageType = PageTypeCode(TZDBPageType::TableMostUpdated);

std::vector<uint8_t> ReadInternalFile(TZDBDiskPageManager& pages, int32_t startPageNo, uint16_t pageType) {
  TZDBInternalDBTransactedAccessFile file(pages, pageType);
  file.Open(startPageNo);
  return file.ReadAll(Session, false);
}

void Note(TZDBSalvageCounts& counts, const std::string& text) {
  if (counts.FirstProblem.empty()) counts.FirstProblem = text;
}

// A text the engine wrote ends within its width and is zero-filled after its end.
bool IsZeroFilledText(const uint8_t* bytes, int32_t size, int32_t unit) {
  int32_t end = 0;
  while (end + unit <= size && !std::all_of(bytes + end, bytes + end + unit, [](uint8_t b) { return b == 0; }))
    end += unit;
  if (end + unit > size) return false;
  return std::all_of(bytes + end, bytes + size, [](uint8_t b) { return b == 0; });
}

// Whether a stored row has a form the engine writes: texts zero-filled within their width,
// finite floating-point values. Changed bytes in a
// damaged page seldom keep that form, so a row without it is counted as unreadable rather
// than copied as garbage.
bool HasStoredForm(const TZDBFieldDefs& defs, const uint8_t* stored) {
  for (int32_t i = 0; i < defs.Count(); ++i) {
    if (IsFieldNull(stored, i)) continue;
    const TZDBFieldDef& field = defs.Items(i);
    const uint8_t* value = stored + field.StoredOffset();
    switch (field.StorageType()) {
      case TZDBStorageType::Char:
      case TZDBStorageType::String:
        if (!IsZeroFilledText(value, field.StoredDataSize(), 1)) return false;
        break;
      case TZDBStorageType::WideChar:
      case TZDBStorageType::WideString:
        if (!IsZeroFilledText(value, field.StoredDataSize(), 2)) return false;
        break;
      case TZDBStorageType::Single:
        if (!std::isfinite(std::bit_cast<float>(le::GetU32(value)))) return false;
        break;
      case TZDBStorageType::Float:
        if (!std::isfinite(std::bit_cast<double>(le::GetU64(value)))) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

}  // namespace

// The large values are those of this table; pages are taken on trust only in files whose
// pages name no owner.
class TZDBTableSalvage::PageOwner : public TZDBRecordPageOwner {
 public:
  PageOwner(int32_t objectID, bool trusted) : objectID_(objectID), trusted_(trusted) {}
  int32_t TableObjectID() const override { return objectID_; }
  bool TrustsRecordPages(int32_t /*session*/) const override { return trusted_; }

 private:
  int32_t objectID_;
  bool trusted_;
};

TZDBTableSalvage::TZDBTableSalvage(TZDBDiskPageManager& pages, const TZDBTableListEntry& entry)
    : pages_(pages), entry_(entry) {
  TZDBMemoryStream stream(ReadInternalFile(pages_, entry_.MetaDataStartPageNo, MetaDataPageType));
  roots_ = LoadTableMetaData(stream, fields_, indexes_, constraints_);
  fields_.ResetAutoincValues();
  try {
    counts_ = LoadMostUpdatedData(ReadInternalFile(pages_, entry_.MostUpdatedStartPageNo, MostUpdatedPageType), fields_);
    countsRead_ = true;
  } catch (const std::exception& error) {
    countsProblem_ = error.what();
    fields_.ResetAutoincValues();
  }
  pagesNameOwners_ = pages_.Header().FormatVersion >= layout::MinimumFormatVersion;
  recordsPerPage_ = TZDBSmallRecordPage::ComputeRecordsPerPage(static_cast<int32_t>(pages_.PageDataSize()),
                                                               fields_.StoredRecordSize());
  owner_ = std::make_unique<PageOwner>(entry_.ObjectID, !pagesNameOwners_);
}

TZDBTableSalvage::~TZDBTableSalvage() = default;

TZDBSalvageCounts TZDBTableSalvage::ReadRows(const RowSink& sink) {
  TZDBSalvageCounts counts;
  if (recordsPerPage_ <= 0) {
    Note(counts, "Invalid number of records on page");
    counts.RowsUnreadable = countsRead_ ? std::max<int64_t>(counts_.RecordCount, 0) : 0;
    return counts;
  }
  int64_t missing = 0;
  for (const RecordPage& page : FindRecordPages(counts)) {
    const int32_t read = ReadPage(page.PageNo, sink, counts);
    counts.RowsRead += read;
    missing += std::max(0, page.ListedRows - read);
  }
  int64_t beyondCount = 0;
  if (countsRead_) beyondCount = counts_.RecordCount - counts.RowsRead;
  // Rows found in their slots but not in a form the engine writes were neither missing
  // nor copied.
  counts.RowsUnreadable = std::max<int64_t>({missing, beyondCount, 0}) + counts.RowsWithoutStoredForm;
  counts.RowsRead -= counts.RowsWithoutStoredForm;
  return counts;
}

std::vector<TZDBTableSalvage::RecordPage> TZDBTableSalvage::FindRecordPages(TZDBSalvageCounts& counts) {
  std::vector<RecordPage> pages;
  ListIndexedPages(pages, counts);
  if (pagesNameOwners_) ScanForPages(pages);
  std::sort(pages.begin(), pages.end(), [](const RecordPage& a, const RecordPage& b) { return a.PageNo < b.PageNo; });
  return pages;
}

// The leaves of the record-page index that can be reached, each page once. A leaf whose
// header does not add up gives nothing rather than entries read past its end.
void TZDBTableSalvage::ListIndexedPages(std::vector<RecordPage>& pages, TZDBSalvageCounts& counts) {
  if (roots_.RecordPageIndexRootPageNo == TZDBTableRootPages::NoRootPageNo) return;
  TZDBPageKeyRef keys;
  TZDBBTreeCheckReport report;
  try {
    report = CheckBTree(pages_, Session, keys, roots_.RecordPageIndexRootPageNo, false);
  } catch (const std::exception& error) {
    Note(counts, error.what());
    return;
  }
  if (!report.Problems.empty()) Note(counts, "record-page index: " + report.Problems.front());
  std::map<int32_t, int32_t> listed;
  for (const int32_t pageNo : report.Pages) {
    try {
      TZDBPageRef page(pages_, Session, pageNo, false, TZDBBTreePage::PageType);
      const TZDBBTreePage view(*page, keys.EntryDataSize());
      if (!view.IsLeaf() || !view.IsSane(static_cast<uint16_t>(keys.KeySize())) || !view.Fits(view.EntryCount()))
        continue;
      for (int32_t e = 0; e < view.EntryCount(); ++e)
        listed.emplace(TZDBPageKeyRef::ReadKey(view.Key(e)), le::GetU16(view.EntryData(e)));
    } catch (const std::exception& error) {
      Note(counts, error.what());
    }
  }
  for (const auto& [pageNo, rows] : listed) pages.push_back({pageNo, rows});
}

// Record pages of the table that the index does not list: rows written by a commit that
// was cut short before the index was, or listed by a part of the index that is gone.
void TZDBTableSalvage::ScanForPages(std::vector<RecordPage>& pages) {
  std::vector<int32_t> listed;
  for (const RecordPage& page : pages) listed.push_back(page.PageNo);
  std::sort(listed.begin(), listed.end());
  const int32_t total = pages_.Header().TotalPageCount;
  for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
    if (std::binary_search(listed.begin(), listed.end(), pageNo)) continue;
    if (IsLiveTablePage(pageNo)) pages.push_back({pageNo, 0});
  }
}

bool TZDBTableSalvage::IsLiveTablePage(int32_t pageNo) {
  TZDBDatabaseFreeSpaceManager& space = pages_.FreeSpaceManager();
  if (space.IsSystemPage(pageNo)) return false;
  uint8_t header[TZDBPage::HeaderSize] = {};
  try {
    pages_.ReadPageBytes(pageNo, 0, header, static_cast<int32_t>(sizeof header));
  } catch (const std::exception&) {
    return false;
  }
  if (le::GetU32(header + TZDBPage::PageTagOffset) != TZDBPage::PageTagValue ||
      le::GetU16(header + TZDBPage::PageTypeOffset) != TZDBSmallRecordPage::PageType ||
      le::GetI32(header + TZDBPage::OwnerObjectIDOffset) != entry_.ObjectID)
    return false;
  const int32_t version = le::GetI32(header + TZDBPage::PageVersionOffset);
  if (version < 0 || version > MaxLivePageVersion) return false;
  try {
    return space.IsPageUsed(pageNo);
  } catch (const std::exception&) {
    return true;  // the bitmap is what is damaged; the page speaks for itself
  }
}

int32_t TZDBTableSalvage::ReadPage(int32_t pageNo, const RowSink& sink, TZDBSalvageCounts& counts) {
  TZDBPageRef page;
  try {
    page = TZDBPageRef(pages_, Session, pageNo, false, TZDBPageManager::AnyPageType);
  } catch (const std::exception& error) {
    Note(counts, error.what());
    return 0;
  }
  const bool live = page->PageVersion() >= 0 && page->PageVersion() <= MaxLivePageVersion &&
                    page->PageType() == TZDBSmallRecordPage::PageType &&
                    (!pagesNameOwners_ || page->OwnerObjectID() == entry_.ObjectID);
  if (!live) {
    Note(counts, "record page " + std::to_string(pageNo) + " is not a record page of the table");
    return 0;
  }
  const TZDBSmallRecordPage view(*page, fields_.StoredRecordSize(), recordsPerPage_);
  std::vector<uint8_t> stored(static_cast<size_t>(fields_.StoredRecordSize()));
  std::vector<uint8_t> row(static_cast<size_t>(fields_.RecordBufferSize()));
  std::vector<TZDBSalvagedValue> values;
  int32_t read = 0;
  for (int32_t slot = 0; slot < recordsPerPage_; ++slot) {
    if (!view.SlotUsed(slot)) continue;
    if (!view.ReadRecord({pageNo, static_cast<uint16_t>(slot)}, stored.data())) continue;
    ++read;
    if (!HasStoredForm(fields_.FieldDefs(), stored.data())) {
      ++counts.RowsWithoutStoredForm;
      Note(counts, "row " + std::to_string(slot) + " of record page " + std::to_string(pageNo) +
                       " does not hold values of the table's fields");
      continue;
    }
    std::fill(row.begin(), row.end(), uint8_t{0});
    fields_.ToRecordBuffer(stored.data(), row.data());
    ReadValues(row.data(), values, counts);
    sink(row.data(), values);
  }
  return read;
}

void TZDBTableSalvage::ReadValues(uint8_t* row, std::vector<TZDBSalvagedValue>& values, TZDBSalvageCounts& counts) {
  values.clear();
  if (!fields_.HasBlobFields()) return;
  TZDBDiskBlobManager blobs(pages_, fields_, *owner_);
  const TZDBFieldDefs& defs = fields_.FieldDefs();
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const TZDBFieldDef& field = defs.Items(i);
    if (!field.IsBlob()) continue;
    uint8_t* bytes = row + field.MemoryOffset();
    const TZDBBlobReference reference = TZDBBlobReference::Load(bytes);
    // The reference names pages of this file; the copy stores the value anew.
    TZDBBlobReference::None().Save(bytes);
    SaveBlobHandle(bytes, TZDBBlobCache::NoHandle);
    if (IsFieldNull(row, i) || !reference.HasValue()) continue;
    TZDBSalvagedValue value;
    value.FieldNo = i;
    try {
      blobs.ReadStoredValue(Session, reference, value.Bytes, value.Params);
    } catch (const std::exception& error) {
      Note(counts, error.what());
      ++counts.ValuesUnreadable;
      SetFieldNull(row, i, true);
      continue;
    }
    values.push_back(std::move(value));
  }
}

}  // namespace zdb
