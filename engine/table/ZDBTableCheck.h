// The integrity check of a table's rows: record pages against the record-page index, and
// every row against every index. Reads only; for the tests and the `zdb check` tool.
//
// CheckTableRows works from what a reader of the file knows (the pages the record-page
// index lists with their row counts, the field and index definitions): each listed page
// must be a live record page of the table whose slot map holds exactly the listed rows,
// and each row must have its entry (its key with its RecordID) in every index. With
// the entry count of each index equal to the row count, which the B-tree check
// establishes, rows and entries then match one to one.
//
// CheckTable does all of it for an open table: the index trees' structure and entry
// counts, the row count of the pages against the table's counter, the rows, and the
// large values they name (CheckTableBlobs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file/ZDBPageManager.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"

namespace zdb {

class TZDBDiskTableData;

// A page of a page index and its value (rows on a record page, bytes in use on a BLOB
// page).
struct TZDBRecordPageEntry {
  int32_t PageNo = 0;
  int32_t Rows = 0;
};

struct TZDBTableCheckReport {
  std::vector<std::string> Problems;
  int64_t Rows = 0;  // rows found on the record pages

  bool Ok() const { return Problems.empty(); }
};

// checkOwners: pages carry their table's ObjectID (files of format 2.99 and later).
TZDBTableCheckReport CheckTableRows(TZDBPageManager& pages, int32_t session, int32_t tableObjectID,
                                    const TZDBBaseFieldManager& fields, const TZDBIndexDefs& indexes,
                                    const std::vector<TZDBRecordPageEntry>& recordPages, bool checkOwners);

// The large values the rows name, against the BLOB pages and the BLOB-page index
// (sharedPages: its entries, page and bytes in use). Every page chain must read whole
// (its pages the table's BLOB pages, each reached once over all values); every shared
// entry must be on a page the index lists; a listed page must hold exactly the bytes the
// index says, and only entries that rows name; no page may be both. ChainPages answers
// every page of the chains (heads, data and list pages), for callers that account for
// pages.
struct TZDBBlobCheckReport {
  std::vector<std::string> Problems;
  std::vector<int32_t> ChainPages;
  int64_t Values = 0;  // stored values the rows name
};
TZDBBlobCheckReport CheckTableBlobs(TZDBPageManager& pages, int32_t session, int32_t tableObjectID,
                                    const TZDBBaseFieldManager& fields,
                                    const std::vector<TZDBRecordPageEntry>& recordPages,
                                    const std::vector<TZDBRecordPageEntry>& sharedPages, bool checkOwners);

// The rows, the indexes and (for a table with BLOB fields) the large values.
TZDBTableCheckReport CheckTable(TZDBDiskTableData& table, int32_t session);

}  // namespace zdb
