#include "engine/table/ZDBTableCheck.h"

#include <exception>
#include <map>
#include <set>

#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBBTreeRecordIndex.h"
#include "engine/table/ZDBBlobChain.h"
#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBIndexKeyBuilder.h"
#include "engine/table/ZDBSmallBlobPage.h"
#include "engine/table/ZDBSmallRecordPage.h"

namespace zdb {
namespace {

std::string RowName(const TZDBRecordID& recordID) {
  return "row (page " + std::to_string(recordID.PageNo) + ", slot " + std::to_string(recordID.RecordNo) + ")";
}

// The rows of the listed record pages, read straight from the pages: what the index
// checks compare entries with, and what resolves their truncated keys.
class ListedRows : public TZDBIndexedTable {
 public:
  ListedRows(TZDBPageManager& pages, const TZDBBaseFieldManager& fields)
      : pages_(pages),
        fields_(fields),
        recordsPerPage_(TZDBSmallRecordPage::ComputeRecordsPerPage(pages.PageDataSize(), fields.StoredRecordSize())),
        stored_(static_cast<size_t>(fields.StoredRecordSize()), 0) {}

  int32_t RecordsPerPage() const { return recordsPerPage_; }
  int32_t RecordBufferSize() const override { return fields_.RecordBufferSize(); }

  bool ReadRecord(int32_t session, const TZDBRecordID& recordID, uint8_t* recordBuffer) override {
    TZDBPageRef page(pages_, session, recordID.PageNo, true, TZDBPageManager::AnyPageType);
    if (page->PageType() != TZDBSmallRecordPage::PageType) return false;
    const TZDBSmallRecordPage view(*page, fields_.StoredRecordSize(), recordsPerPage_);
    if (!view.ReadRecord(recordID, stored_.data())) return false;
    fields_.ToRecordBuffer(stored_.data(), recordBuffer);
    return true;
  }

  void ForEachRecord(int32_t /*session*/, const RowVisitor& visit) override {
    for (const auto& [recordID, row] : rows) visit(recordID, row.data());
  }

  std::vector<std::pair<TZDBRecordID, std::vector<uint8_t>>> rows;

 private:
  TZDBPageManager& pages_;
  const TZDBBaseFieldManager& fields_;
  int32_t recordsPerPage_;
  std::vector<uint8_t> stored_;
};

// The owner the BLOB pages of the checked table must name.
class CheckedOwner : public TZDBRecordPageOwner {
 public:
  CheckedOwner(int32_t tableObjectID, bool checkOwners) : tableObjectID_(tableObjectID), checkOwners_(checkOwners) {}
  int32_t TableObjectID() const override { return tableObjectID_; }
  bool TrustsRecordPages(int32_t /*session*/) const override { return !checkOwners_; }

 private:
  int32_t tableObjectID_;
  bool checkOwners_;
};

std::string PageName(int32_t pageNo) { return "BLOB page " + std::to_string(pageNo); }

// What the check of the large values has seen so far.
class BlobWalk {
 public:
  BlobWalk(TZDBPageManager& pages, int32_t session, const CheckedOwner& owner,
           const std::vector<TZDBRecordPageEntry>& sharedPages, TZDBBlobCheckReport& report)
      : blobPages_(pages, owner), session_(session), report_(report) {
    for (const TZDBRecordPageEntry& entry : sharedPages) listed_[entry.PageNo] = entry.Rows;
  }

  void Value(const std::string& where, const TZDBBlobReference& reference) {
    ++report_.Values;
    const bool chain = reference.BlobID == TZDBBlobReference::ChainID ||
                       (reference.BlobID == TZDBBlobReference::AmbiguousID && listed_.count(reference.PageNo) == 0);
    if (chain) {
      Chain(where, reference.PageNo);
    } else {
      Shared(where, reference);
    }
  }

  // Every listed shared page: the bytes it holds, and entries no row names.
  void Finish() {
    for (const auto& [pageNo, used] : listed_) {
      const std::string where = PageName(pageNo);
      try {
        TZDBPageRef page = blobPages_.Fetch(session_, pageNo);
        const TZDBSmallBlobPage view(*page);
        if (view.UsedBytes() != used)
          report_.Problems.push_back(where + " holds " + std::to_string(view.UsedBytes()) +
                                     " bytes of values, the BLOB-page index lists " + std::to_string(used));
        for (const TZDBSmallBlobPage::Entry& entry : view.Entries())
          if (named_.count({pageNo, entry.Header.BlobID}) == 0)
            report_.Problems.push_back(where + " holds value " + std::to_string(entry.Header.BlobID) +
                                       ", which no row names");
      } catch (const std::exception& error) {
        report_.Problems.push_back(where + ": " + error.what());
      }
    }
  }

 private:
  void Chain(const std::string& where, int32_t headPageNo) {
    TZDBBlobChain::Layout layout;
    try {
      layout = TZDBBlobChain(blobPages_).Inspect(session_, headPageNo);
    } catch (const std::exception& error) {
      report_.Problems.push_back(where + ": the value at " + PageName(headPageNo) + " cannot be read: " + error.what());
      return;
    }
    std::vector<int32_t> pages = layout.DataPages;
    for (const int32_t pageNo : layout.ListPages)
      if (std::find(pages.begin(), pages.end(), pageNo) == pages.end()) pages.push_back(pageNo);
    // One line per value and kind of clash: a chain shares all its pages as a rule.
    bool listedReported = false;
    bool sharedReported = false;
    for (const int32_t pageNo : pages) {
      if (listed_.count(pageNo) != 0 && !listedReported) {
        report_.Problems.push_back(where + ": " + PageName(pageNo) + " of its page chain is listed as a shared page");
        listedReported = true;
      }
      const auto [owner, added] = chainPages_.emplace(pageNo, where);
      if (added) {
        report_.ChainPages.push_back(pageNo);
      } else if (!sharedReported) {
        report_.Problems.push_back(where + ": " + PageName(pageNo) + " of its page chain is also used by " +
                                   owner->second);
        sharedReported = true;
      }
    }
  }

  void Shared(const std::string& where, const TZDBBlobReference& reference) {
    const std::string value = "value " + std::to_string(reference.BlobID) + " of " + PageName(reference.PageNo);
    if (listed_.count(reference.PageNo) == 0) {
      report_.Problems.push_back(where + ": " + value + " is on a page the BLOB-page index does not list");
      return;
    }
    if (!named_.insert({reference.PageNo, reference.BlobID}).second) {
      report_.Problems.push_back(where + ": " + value + " is named by another row too");
      return;
    }
    try {
      TZDBPageRef page = blobPages_.Fetch(session_, reference.PageNo);
      TZDBSmallBlobPage::Entry entry;
      if (!TZDBSmallBlobPage(*page).Find(reference.BlobID, entry))
        report_.Problems.push_back(where + ": " + value + " is not there");
    } catch (const std::exception& error) {
      report_.Problems.push_back(where + ": " + value + " cannot be read: " + error.what());
    }
  }

  TZDBBlobPages blobPages_;
  int32_t session_;
  TZDBBlobCheckReport& report_;
  std::map<int32_t, int32_t> listed_;
  std::set<std::pair<int32_t, int16_t>> named_;
  std::map<int32_t, std::string> chainPages_;
};

}  // namespace

TZDBBlobCheckReport CheckTableBlobs(TZDBPageManager& pages, int32_t session, int32_t tableObjectID,
                                    const TZDBBaseFieldManager& fields,
                                    const std::vector<TZDBRecordPageEntry>& recordPages,
                                    const std::vector<TZDBRecordPageEntry>& sharedPages, bool checkOwners) {
  TZDBBlobCheckReport report;
  ListedRows table(pages, fields);
  if (table.RecordsPerPage() <= 0) return report;  // the rows check reports it
  const CheckedOwner owner(tableObjectID, checkOwners);
  BlobWalk walk(pages, session, owner, sharedPages, report);
  std::vector<uint8_t> row(static_cast<size_t>(fields.RecordBufferSize()), 0);
  for (const TZDBRecordPageEntry& entry : recordPages) {
    for (int32_t slot = 0; slot < table.RecordsPerPage(); ++slot) {
      const TZDBRecordID recordID{entry.PageNo, static_cast<uint16_t>(slot)};
      // Pages and rows that cannot be read are the rows check's to report.
      try {
        if (!table.ReadRecord(session, recordID, row.data())) continue;
      } catch (const std::exception&) {
        break;
      }
      for (int32_t i = 0; i < fields.FieldCount(); ++i) {
        const TZDBFieldDef& field = fields.FieldDefs().Items(i);
        if (!field.IsBlob() || IsFieldNull(row.data(), i)) continue;
        const TZDBBlobReference reference = TZDBBlobReference::Load(row.data() + field.MemoryOffset());
        if (reference.HasValue()) walk.Value(RowName(recordID) + " field '" + field.Name() + "'", reference);
      }
    }
  }
  walk.Finish();
  return report;
}

TZDBTableCheckReport CheckTableRows(TZDBPageManager& pages, int32_t session, int32_t tableObjectID,
                                    const TZDBBaseFieldManager& fields, const TZDBIndexDefs& indexes,
                                    const std::vector<TZDBRecordPageEntry>& recordPages, bool checkOwners) {
  TZDBTableCheckReport report;
  ListedRows table(pages, fields);
  if (table.RecordsPerPage() <= 0) {
    report.Problems.push_back("a row does not fit on a record page");
    return report;
  }
  std::vector<uint8_t> row(static_cast<size_t>(fields.RecordBufferSize()), 0);
  for (const TZDBRecordPageEntry& entry : recordPages) {
    const std::string where = "record page " + std::to_string(entry.PageNo);
    try {
      TZDBPageRef page(pages, session, entry.PageNo, true, TZDBPageManager::AnyPageType);
      if (page->PageType() != TZDBSmallRecordPage::PageType || page->PageVersion() > layout::PageVersionWrap ||
          (checkOwners && page->OwnerObjectID() != tableObjectID)) {
        report.Problems.push_back(where + " is not a record page of the table");
        continue;
      }
      const TZDBSmallRecordPage view(*page, fields.StoredRecordSize(), table.RecordsPerPage());
      if (view.UsedSlotCount() != entry.Rows)
        report.Problems.push_back(where + " holds " + std::to_string(view.UsedSlotCount()) +
                                  " rows, the record-page index lists " + std::to_string(entry.Rows));
      for (int32_t slot = 0; slot < table.RecordsPerPage(); ++slot) {
        const TZDBRecordID recordID{entry.PageNo, static_cast<uint16_t>(slot)};
        if (!view.SlotUsed(slot)) continue;
        if (!table.ReadRecord(session, recordID, row.data())) {
          report.Problems.push_back(RowName(recordID) + " cannot be read");
        } else {
          table.rows.emplace_back(recordID, row);
        }
      }
    } catch (const std::exception& error) {
      report.Problems.push_back(where + ": " + error.what());
    }
  }
  report.Rows = static_cast<int64_t>(table.rows.size());

  for (int32_t i = 0; i < indexes.Count(); ++i) {
    const TZDBIndexDef& definition = indexes.Items(i);
    if (definition.Temporary() || definition.RootPageNo() == TZDBIndexDef::NoRootPageNo) continue;
    const std::string where = "index '" + definition.Name() + "'";
    try {
      TZDBBTreeRecordIndex index(pages, table);
      index.OpenIndex(MakeIndexKeyDef(definition, fields.FieldDefs()));
      for (const auto& [recordID, values] : table.rows) {
        TZDBKeyPath path;
        if (!index.FindRecordPath(session, recordID, path, values.data()))
          report.Problems.push_back(RowName(recordID) + " has no entry in " + where);
      }
    } catch (const std::exception& error) {
      report.Problems.push_back(where + ": " + error.what());
    }
  }
  return report;
}

TZDBTableCheckReport CheckTable(TZDBDiskTableData& table, int32_t session) {
  TZDBDiskRecordManager& records = *table.DiskRecordManager();
  std::vector<TZDBRecordPageEntry> recordPages;
  for (const int32_t pageNo : records.PageIndex().AllPages(session))
    recordPages.push_back({pageNo, records.PageIndex().RowCount(session, pageNo)});
  TZDBTableCheckReport report =
      CheckTableRows(table.PageManager(), session, table.TableObjectID(), *table.FieldManager(),
                     table.IndexManager()->IndexDefs(), recordPages, !table.TrustsRecordPages(session));
  if (report.Rows != records.RecordCount())
    report.Problems.push_back("the record pages hold " + std::to_string(report.Rows) + " rows, the table counts " +
                              std::to_string(records.RecordCount()));
  TZDBDiskBlobManager* blobs = table.BlobManager();
  if (blobs != nullptr && table.FieldManager()->HasBlobFields()) {
    std::vector<TZDBRecordPageEntry> sharedPages;
    TZDBBTreeBlobPageIndex& index = blobs->PageIndex();
    if (!index.HasRoot()) report.Problems.push_back("the table has BLOB fields but no BLOB-page index");
    TZDBKeyPath path;
    for (bool more = index.HasRoot() && index.FirstEntry(session, path); more; more = index.NextEntry(session, path))
      sharedPages.push_back({index.GetPageNo(session, path), index.GetValue(session, path)});
    const TZDBBlobCheckReport blobReport =
        CheckTableBlobs(table.PageManager(), session, table.TableObjectID(), *table.FieldManager(), recordPages,
                        sharedPages, !table.TrustsRecordPages(session));
    report.Problems.insert(report.Problems.end(), blobReport.Problems.begin(), blobReport.Problems.end());
  }
  for (const auto& [indexID, tree] : table.IndexManager()->CheckIndexes(session)) {
    const TZDBIndexDef* definition = table.IndexManager()->FindIndexDef(indexID);
    const std::string where = "index '" + (definition != nullptr ? definition->Name() : std::to_string(indexID)) + "'";
    for (const std::string& problem : tree.Problems) report.Problems.push_back(where + ": " + problem);
    if (tree.EntryCount != records.RecordCount())
      report.Problems.push_back(where + " has " + std::to_string(tree.EntryCount) + " entries for " +
                                std::to_string(records.RecordCount()) + " rows");
  }
  return report;
}

}  // namespace zdb
