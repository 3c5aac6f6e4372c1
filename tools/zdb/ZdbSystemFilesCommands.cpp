#include "tools/zdb/ZdbSystemFilesCommands.h"

#include <memory>
#include <vector>

#include "tools/zdb/ZdbOpen.h"
#include "zdb/Values.h"

namespace zdbtool {

void SystemFilesInfo(zdb::TZDBFileInspector& file, std::ostream& out) {
  const zdb::TZDBSystemFilesInfo info = file.SystemFiles();
  if (!info.Readable) {
    out << "system_files: unreadable: " << info.Problem << '\n';
    return;
  }
  out << "slot_count: " << info.SlotCount << '\n';
  for (const zdb::TZDBSystemDirectoryEntry& entry : info.Entries)
    out << "directory_entry: " << static_cast<int>(entry.FileId) << ' ' << entry.StartPageNo << '\n';
}

void TablesCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  const std::unique_ptr<zdb::TZDBFileInspector> file = OpenForReading(fileName, password);
  const std::vector<zdb::TZDBTableListRow> tables = file->Tables();
  out << "name\tobject_id\tmetadata_page\tmost_updated_page\tlocks_page\n";
  for (const zdb::TZDBTableListRow& table : tables)
    out << zdb::AnsiToUtf8(table.Name) << '\t' << table.ObjectID << '\t' << table.MetaDataStartPageNo << '\t'
        << table.MostUpdatedStartPageNo << '\t' << table.LocksStartPageNo << '\n';
  file->Close();
}

}  // namespace zdbtool
