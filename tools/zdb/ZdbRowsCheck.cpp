// The check of a table's rows that joins `zdb check`: record pages against the
// record-page index (the rows each page holds) and every row against every index whose
// tree passed its own check.
#include <memory>

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/table/ZDBTableCheck.h"
#include "tools/zdb/ZdbCheck.h"

namespace zdbtool {
namespace {

void CheckRows(TZdbCheckContext& context, const TZdbCheckedTable& table) {
  // A damaged record-page index was reported already, and lists no pages to go by.
  if (!table.RecordPageIndexSound) return;
  std::vector<zdb::TZDBRecordPageEntry> recordPages;
  for (const TZdbPageValue& entry : table.RecordPages) recordPages.push_back({entry.PageNo, entry.Value});
  zdb::TZDBIndexDefs soundIndexes;
  for (int32_t i = 0; i < table.Indexes.Count(); ++i) {
    const zdb::TZDBIndexDef& index = table.Indexes.Items(i);
    if (table.IndexEntryCounts.count(index.ObjectID()) == 0) continue;
    auto copy = std::make_unique<zdb::TZDBIndexDef>();
    copy->Assign(index);
    soundIndexes.Add(std::move(copy));
  }
  const bool pagesCarryOwners = context.Pages().Header().FormatVersion >= zdb::layout::MinimumFormatVersion;
  const zdb::TZDBTableCheckReport report =
      zdb::CheckTableRows(context.Pages(), TZdbCheckContext::Session, table.Entry.ObjectID, table.Fields, soundIndexes,
                          recordPages, pagesCarryOwners);
  for (const std::string& problem : report.Problems) context.Problem(table.Label() + " " + problem);
}

const TZdbTableCheckRegistration rowsCheck("rows", CheckRows);

}  // namespace
}  // namespace zdbtool
