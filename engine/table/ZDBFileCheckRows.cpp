// The integrity check's look at a table's rows: record pages against the record-page
// index (the rows each page holds) and every row against every index whose tree passed
// its own check.
#include <memory>

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/table/ZDBFileCheckContext.h"
#include "engine/table/ZDBTableCheck.h"

namespace zdb {

void CheckRowsOfTable(TZDBFileCheckContext& context, const TZDBCheckedTable& table) {
  // A damaged record-page index was reported already, and lists no pages to go by.
  if (!table.RecordPageIndexSound) return;
  std::vector<TZDBRecordPageEntry> recordPages;
  for (const TZDBCheckedPageValue& entry : table.RecordPages) recordPages.push_back({entry.PageNo, entry.Value});
  TZDBIndexDefs soundIndexes;
  for (int32_t i = 0; i < table.Indexes.Count(); ++i) {
    const TZDBIndexDef& index = table.Indexes.Items(i);
    if (table.IndexEntryCounts.count(index.ObjectID()) == 0) continue;
    auto copy = std::make_unique<TZDBIndexDef>();
    copy->Assign(index);
    soundIndexes.Add(std::move(copy));
  }
  const bool pagesCarryOwners = context.Pages().Header().FormatVersion >= layout::MinimumFormatVersion;
  const TZDBTableCheckReport report =
      CheckTableRows(context.Pages(), TZDBFileCheckContext::Session, table.Entry.ObjectID, table.Fields, soundIndexes,
                          recordPages, pagesCarryOwners);
  for (const std::string& problem : report.Problems) context.Problem(table.Label() + " " + problem);
}

}  // namespace zdb
