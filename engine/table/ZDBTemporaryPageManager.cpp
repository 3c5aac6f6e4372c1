#include "engine/table/ZDBTemporaryPageManager.h"

#include <algorithm>

#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPage.h"

namespace zdb {

TZDBTemporaryPageManager::TZDBTemporaryPageManager(uint16_t pageSize, int32_t cacheCapacity)
    : TZDBPageManager(cacheCapacity) {
  SetPageSize(pageSize);
}

void TZDBTemporaryPageManager::InternalAddPage(TZDBPage& page) {
  int32_t pageNo = FirstPageNo;
  for (const int32_t taken : allocated_) {
    if (taken != pageNo) break;
    ++pageNo;
  }
  allocated_.insert(pageNo);
  page.SetPageNo(pageNo);
  page.InitializeHeader();
}

void TZDBTemporaryPageManager::InternalRemovePage(int32_t pageNo) {
  allocated_.erase(pageNo);
  images_.erase(pageNo);
}

bool TZDBTemporaryPageManager::InternalReadPage(TZDBPage& page) {
  page.AllocateBuffer();
  const auto image = images_.find(page.PageNo());
  if (image == images_.end()) {
    page.SetPageVersion(TZDBPage::FreedPageVersion);
    return false;
  }
  std::copy(image->second.begin(), image->second.end(), page.Buffer());
  return true;
}

void TZDBTemporaryPageManager::InternalWritePage(TZDBPage& page) {
  int32_t version = page.PageVersion() + 1;
  if (version == layout::PageVersionWrap) version = 0;
  page.SetPageVersion(version);
  images_[page.PageNo()].assign(page.Buffer(), page.Buffer() + PageSize());
}

}  // namespace zdb
