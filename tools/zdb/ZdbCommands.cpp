#include "tools/zdb/ZdbCommands.h"

#include <vector>

#include "engine/base/ZDBCipherCodes.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"
#include "tools/zdb/ZdbOpen.h"
#include "tools/zdb/ZdbSystemFilesCommands.h"

namespace zdbtool {
namespace {

using zdb::TZDBDiskPageManager;

const char* YesNo(bool value) { return value ? "yes" : "no"; }

std::string TypeName(uint16_t code) {
  if (code > zdb::MaxPageTypeCode) return zdb::FormatMessage("Unknown Page Type: (%d)", {code});
  return zdb::PageTypeName(code);
}

}  // namespace

void CreateCommand(const std::string& fileName, uint16_t pageSize, uint16_t pagesPerExtent, int32_t maxConnections,
                   const zdb::TZDBPassword& password) {
  zdb::TZDBDiskDatabaseData database(fileName);
  database.SetPassword(password);
  database.SetPageSize(pageSize);
  database.SetPagesPerExtent(pagesPerExtent);
  database.SetSlotCount(maxConnections);
  database.CreateDatabase();
}

void InfoCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  TZDBDiskPageManager manager;
  const bool needsRepair = OpenForReading(manager, fileName, password);
  const zdb::TZDBFileHeader& header = manager.Header();
  out << "signature: " << header.SignatureText() << '\n'
      << "header_position: " << manager.HeaderPosition() << '\n'
      << "format_version: " << header.FormatVersion << '\n'
      << "page_size: " << header.PageSize << '\n'
      << "pages_per_extent: " << header.PagesPerExtent << '\n'
      << "total_page_count: " << header.TotalPageCount << '\n'
      << "last_used_page_no: " << header.LastUsedPageNo << '\n'
      << "commit_counter: " << header.CommitCounter << '\n'
      << "write_state: " << static_cast<int>(header.WriteState) << '\n'
      << "encrypted: " << YesNo(header.IsEncrypted()) << '\n';
  // The password opened the file, so its cipher code is one the engine knows.
  if (header.IsEncrypted()) out << "cipher: " << zdb::FindCipher(manager.EncryptionRecord().CipherCode)->Name << '\n';
  out << "needs_repair: " << YesNo(needsRepair) << '\n'
      << "file_size: " << manager.File().GetSize() << '\n';
  SystemFilesInfo(manager, out);
  manager.CloseDatabaseFile();
}

void PagesCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  TZDBDiskPageManager manager;
  OpenForReading(manager, fileName, password);
  out << "page\ttype\ttype_name\tnext_page\towner\tversion\tused\n";
  // Bitmap pages are refused by the page cache, so every page is read raw.
  std::vector<uint8_t> buffer(manager.PageSize());
  zdb::TZDBPage page(manager, zdb::TZDBPage::NoPage);
  page.AttachBuffer(buffer.data(), buffer.size());
  const int32_t total = manager.Header().TotalPageCount;
  for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
    manager.ReadPageBytes(pageNo, 0, buffer.data(), static_cast<int32_t>(buffer.size()));
    out << pageNo << '\t' << page.PageType() << '\t' << TypeName(page.PageType()) << '\t' << page.NextPageNo()
        << '\t' << page.OwnerObjectID() << '\t' << page.PageVersion() << '\t'
        << (manager.FreeSpaceManager().IsPageUsed(pageNo) ? 1 : 0) << '\n';
  }
  manager.CloseDatabaseFile();
}

}  // namespace zdbtool
