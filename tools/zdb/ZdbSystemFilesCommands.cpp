#include "tools/zdb/ZdbSystemFilesCommands.h"

#include <exception>
#include <stdexcept>

#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableListFile.h"
#include "tools/zdb/ZdbOpen.h"

namespace zdbtool {
namespace {

using zdb::TZDBSystemDirectory;

int32_t RequireEntry(const TZDBSystemDirectory& directory, uint8_t fileId, const char* what) {
  const int32_t start = directory.Find(fileId);
  if (start < 0) throw std::runtime_error(std::string("The database has no ") + what);
  return start;
}

}  // namespace

void SystemFilesInfo(zdb::TZDBDiskPageManager& manager, std::ostream& out) {
  // The header stays worth reading when the system files are not: say why and go on.
  try {
    TZDBSystemDirectory directory(manager);
    directory.Open();
    zdb::TZDBActiveSessionsFile slots(manager);
    const int32_t slotCount =
        slots.Open(RequireEntry(directory, TZDBSystemDirectory::ActiveSessionsFileId, "session slots file"));
    out << "slot_count: " << slotCount << '\n';
    for (const TZDBSystemDirectory::Entry& entry : directory.Entries())
      out << "directory_entry: " << static_cast<int>(entry.FileId) << ' ' << entry.StartPageNo << '\n';
  } catch (const std::exception& e) {
    out << "system_files: unreadable: " << e.what() << '\n';
  }
}

void TablesCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  zdb::TZDBDiskPageManager manager;
  OpenForReading(manager, fileName, password);
  TZDBSystemDirectory directory(manager);
  directory.Open();
  zdb::TZDBTableListFile tableList(manager);
  tableList.Open(RequireEntry(directory, TZDBSystemDirectory::TableListFileId, "table list"));
  tableList.Load();
  out << "name\tobject_id\tmetadata_page\tmost_updated_page\tlocks_page\n";
  for (const zdb::TZDBTableListEntry& table : tableList.Entries())
    out << table.Name << '\t' << table.ObjectID << '\t' << table.MetaDataStartPageNo << '\t'
        << table.MostUpdatedStartPageNo << '\t' << table.LocksStartPageNo << '\n';
  manager.CloseDatabaseFile();
}

}  // namespace zdbtool
