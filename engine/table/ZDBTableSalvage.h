// What can still be read of one table of a damaged database file, for the repair that
// copies it into a new file. Nothing here trusts one structure alone, and nothing is
// written.
//
// Definitions: the table's metadata file (fields, indexes, constraints). They are the
// table's structure: when they cannot be read the constructor raises, and the table is
// lost. The frequently updated data (row count, automatic increment counters) is read when
// it can be; otherwise the counters start from the fields' initial values.
//
// Rows: every used slot of every record page of the table, in page and slot order. The
// record pages are those that the record-page index lists (as far as its tree can be
// walked) together with those a scan of the whole file finds: pages of type 10 that name
// the table as their owner, are not marked freed, and are not marked free in the
// free-space bitmap (a bitmap page that cannot be read leaves the page in). A page the
// index lists that is not such a page holds no readable row. Files written before pages
// named their owners (format below 2.99) are read through the index alone.
//
// Large values: each BLOB, MEMO or WIDEMEMO value of a row is read whole or not at all.
// A value that cannot be read makes the field NULL in the row handed on (the row itself
// is kept) and is counted in ValuesUnreadable.
//
// Rows: a row is handed on only when its bytes have the form the engine writes (texts
// zero-filled within their width, finite floating-point values); changed bytes in a
// damaged page seldom keep it.
//
// Counts: RowsUnreadable is what the table held but could not be read: for each page the
// rows the index lists beyond the rows found there, or, when more, the table's own row
// count beyond all rows found; and the rows found without the engine's form.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBTableListFile.h"
#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableMetaData.h"

namespace zdb {

// One large value of a salvaged row, read whole.
struct TZDBSalvagedValue {
  int32_t FieldNo = 0;
  std::vector<uint8_t> Bytes;
  TZDBBlobParams Params;
};

struct TZDBSalvageCounts {
  int64_t RowsRead = 0;
  int64_t RowsUnreadable = 0;
  int64_t ValuesUnreadable = 0;
  // Rows in used slots whose bytes are not a row of the table (see ReadRows); counted in
  // RowsUnreadable, not in RowsRead.
  int64_t RowsWithoutStoredForm = 0;
  // The first failure met while reading, for the report.
  std::string FirstProblem;
};

class TZDBTableSalvage {
 public:
  // A row as a record buffer (large-value references cleared, their handles 0) and the
  // large values read for it.
  using RowSink = std::function<void(uint8_t* recordBuffer, const std::vector<TZDBSalvagedValue>& values)>;

  // Reads the definitions and, when readable, the counters. Raises when the definitions
  // cannot be read.
  TZDBTableSalvage(TZDBDiskPageManager& pages, const TZDBTableListEntry& entry);
  ~TZDBTableSalvage();
  TZDBTableSalvage(const TZDBTableSalvage&) = delete;
  TZDBTableSalvage& operator=(const TZDBTableSalvage&) = delete;

  const std::string& TableName() const { return entry_.Name; }
  // Field definitions with the automatic increment counters as read.
  const TZDBBaseFieldManager& Fields() const { return fields_; }
  const TZDBIndexDefs& Indexes() const { return indexes_; }
  const TZDBConstraintDefs& Constraints() const { return constraints_; }
  bool CountsRead() const { return countsRead_; }
  // Why the counters could not be read; empty when they were.
  const std::string& CountsProblem() const { return countsProblem_; }

  // Hands every readable row to the sink, and answers the counts. An exception of the
  // sink passes on.
  TZDBSalvageCounts ReadRows(const RowSink& sink);

 private:
  class PageOwner;
  struct RecordPage {
    int32_t PageNo = 0;
    int32_t ListedRows = 0;  // in the record-page index; 0 when it is not listed
  };

  std::vector<RecordPage> FindRecordPages(TZDBSalvageCounts& counts);
  void ListIndexedPages(std::vector<RecordPage>& pages, TZDBSalvageCounts& counts);
  void ScanForPages(std::vector<RecordPage>& pages);
  bool IsLiveTablePage(int32_t pageNo);
  // The rows of one page; answers how many were read.
  int32_t ReadPage(int32_t pageNo, const RowSink& sink, TZDBSalvageCounts& counts);
  void ReadValues(uint8_t* row, std::vector<TZDBSalvagedValue>& values, TZDBSalvageCounts& counts);

  TZDBDiskPageManager& pages_;
  TZDBTableListEntry entry_;
  TZDBBaseFieldManager fields_;
  TZDBIndexDefs indexes_;
  TZDBConstraintDefs constraints_;
  TZDBTableRootPages roots_;
  TZDBMostUpdatedCounts counts_;
  bool countsRead_ = false;
  std::string countsProblem_;
  bool pagesNameOwners_ = true;
  int32_t recordsPerPage_ = 0;
  std::unique_ptr<PageOwner> owner_;
};

}  // namespace zdb
