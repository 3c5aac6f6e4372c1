#include "tools/zdb/ZdbCommands.h"

#include <memory>

#include "tools/zdb/ZdbOpen.h"
#include "tools/zdb/ZdbSystemFilesCommands.h"

namespace zdbtool {
namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

void InfoCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  const std::unique_ptr<zdb::TZDBFileInspector> file = OpenForReading(fileName, password);
  const zdb::TZDBFileHeaderInfo header = file->Header();
  out << "signature: " << header.Signature << '\n'
      << "header_position: " << header.HeaderPosition << '\n'
      << "format_version: " << header.FormatVersion << '\n'
      << "page_size: " << header.PageSize << '\n'
      << "pages_per_extent: " << header.PagesPerExtent << '\n'
      << "total_page_count: " << header.TotalPageCount << '\n'
      << "last_used_page_no: " << header.LastUsedPageNo << '\n'
      << "commit_counter: " << header.CommitCounter << '\n'
      << "write_state: " << static_cast<int>(header.WriteState) << '\n'
      << "encrypted: " << YesNo(header.Encrypted) << '\n';
  if (header.Encrypted) out << "cipher: " << header.CipherName << '\n';
  out << "needs_repair: " << YesNo(header.NeedsRepair) << '\n' << "file_size: " << header.FileSize << '\n';
  SystemFilesInfo(*file, out);
  file->Close();
}

void PagesCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  const std::unique_ptr<zdb::TZDBFileInspector> file = OpenForReading(fileName, password);
  out << "page\ttype\ttype_name\tnext_page\towner\tversion\tused\n";
  const int32_t total = file->PageCount();
  for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
    const zdb::TZDBPageSummary page = file->Page(pageNo);
    out << page.PageNo << '\t' << page.Type << '\t' << page.TypeName << '\t' << page.NextPageNo << '\t'
        << page.OwnerObjectID << '\t' << page.Version << '\t' << (page.Used ? 1 : 0) << '\n';
  }
  file->Close();
}

}  // namespace zdbtool
