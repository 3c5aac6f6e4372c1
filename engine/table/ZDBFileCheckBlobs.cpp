// The integrity check's look at a table's large values: every value a row names is
// followed to its pages (a page chain read whole, an entry of a shared page), shared
// pages hold what the BLOB-page index says and only entries that rows name, and the
// pages of the chains are claimed, so that a chain no row names shows as unreachable.
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/table/ZDBFileCheckContext.h"
#include "engine/table/ZDBTableCheck.h"

namespace zdb {

void CheckLargeValuesOfTable(TZDBFileCheckContext& context, const TZDBCheckedTable& table) {
  if (!table.Fields.HasBlobFields()) return;
  // Damaged page indexes were reported already and give nothing sound to go by.
  if (!table.RecordPageIndexSound || !table.BlobPageIndexSound) return;
  std::vector<TZDBRecordPageEntry> recordPages;
  for (const TZDBCheckedPageValue& entry : table.RecordPages) recordPages.push_back({entry.PageNo, entry.Value});
  std::vector<TZDBRecordPageEntry> sharedPages;
  for (const TZDBCheckedPageValue& entry : table.BlobPages) sharedPages.push_back({entry.PageNo, entry.Value});
  const bool pagesCarryOwners = context.Pages().Header().FormatVersion >= layout::MinimumFormatVersion;
  const TZDBBlobCheckReport report =
      CheckTableBlobs(context.Pages(), TZDBFileCheckContext::Session, table.Entry.ObjectID, table.Fields,
                           recordPages, sharedPages, pagesCarryOwners);
  for (const std::string& problem : report.Problems) context.Problem(table.Label() + " " + problem);
  const std::string owner = table.Label() + " large values";
  for (const int32_t pageNo : report.ChainPages) context.Claim(pageNo, owner);
}

}  // namespace zdb
