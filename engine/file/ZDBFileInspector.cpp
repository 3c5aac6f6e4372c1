// The inspector's open, the header and the pages.
#include "engine/file/ZDBFileInspector.h"

#include "engine/base/ZDBCipherCodes.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

std::string PageTypeText(uint16_t code) {
  if (code > MaxPageTypeCode) return FormatMessage("Unknown Page Type: (%d)", {code});
  return PageTypeName(code);
}

}  // namespace

bool OpenForInspection(TZDBDiskPageManager& manager, const std::string& fileName, const TZDBPassword& password) {
  bool multiUser = true;
  bool readOnly = true;
  return manager.OpenDatabaseFile(fileName, password, multiUser, false, readOnly);
}

TZDBFileInspector::TZDBFileInspector(const std::string& fileName, const TZDBPassword& password)
    : manager_(std::make_unique<TZDBDiskPageManager>()) {
  needsRepair_ = OpenForInspection(*manager_, fileName, password);
}

TZDBFileInspector::~TZDBFileInspector() = default;

TZDBFileHeaderInfo TZDBFileInspector::Header() {
  const TZDBFileHeader& header = manager_->Header();
  TZDBFileHeaderInfo info;
  info.Signature = header.SignatureText();
  info.HeaderPosition = manager_->HeaderPosition();
  info.FormatVersion = header.FormatVersion;
  info.PageSize = header.PageSize;
  info.PagesPerExtent = header.PagesPerExtent;
  info.TotalPageCount = header.TotalPageCount;
  info.LastUsedPageNo = header.LastUsedPageNo;
  info.CommitCounter = header.CommitCounter;
  info.WriteState = header.WriteState;
  info.Encrypted = header.IsEncrypted();
  // The password opened the file, so its cipher code is one the engine knows.
  if (info.Encrypted) info.CipherName = FindCipher(manager_->EncryptionRecord().CipherCode)->Name;
  info.NeedsRepair = needsRepair_;
  info.FileSize = manager_->File().GetSize();
  return info;
}

int32_t TZDBFileInspector::PageCount() const { return manager_->Header().TotalPageCount; }

TZDBPageSummary TZDBFileInspector::Page(int32_t pageNo) {
  // Bitmap pages are refused by the page cache, so every page is read raw.
  pageBuffer_.resize(manager_->PageSize());
  TZDBPage page(*manager_, TZDBPage::NoPage);
  page.AttachBuffer(pageBuffer_.data(), pageBuffer_.size());
  manager_->ReadPageBytes(pageNo, 0, pageBuffer_.data(), static_cast<int32_t>(pageBuffer_.size()));
  TZDBPageSummary summary;
  summary.PageNo = pageNo;
  summary.Type = page.PageType();
  summary.TypeName = PageTypeText(summary.Type);
  summary.NextPageNo = page.NextPageNo();
  summary.OwnerObjectID = page.OwnerObjectID();
  summary.Version = page.PageVersion();
  summary.Used = manager_->FreeSpaceManager().IsPageUsed(pageNo);
  return summary;
}

void TZDBFileInspector::Close() { manager_->CloseDatabaseFile(); }

}  // namespace zdb
