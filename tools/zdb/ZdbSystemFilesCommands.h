// The zdb commands and report lines that read a database's system files: the session slot
// count and the system directory for `zdb info`, and the table list for `zdb tables`.
#pragma once

#include <ostream>
#include <string>

#include "zdb/Inspection.h"
#include "zdb/Password.h"

namespace zdbtool {

// "slot_count: N", then "directory_entry: ID START_PAGE" for each directory entry in
// stored order; "system_files: unreadable: REASON" when they cannot be read. For a file
// opened by the caller; nothing is changed.
void SystemFilesInfo(zdb::TZDBFileInspector& file, std::ostream& out);
// A header line, then one tab-separated line per table in stored order:
// name, object_id, metadata_page, most_updated_page, locks_page.
void TablesCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out);

}  // namespace zdbtool
