#include "engine/table/ZDBTableCheck.h"

#include <exception>

#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBBTreeRecordIndex.h"
#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBIndexKeyBuilder.h"
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

}  // namespace

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
