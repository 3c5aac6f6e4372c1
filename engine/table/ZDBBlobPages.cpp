#include "engine/table/ZDBBlobPages.h"

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBFileLayout.h"

namespace zdb {
namespace {

// Versions above this one mark pages that were freed or could not be read.
constexpr int32_t MaxLivePageVersion = layout::PageVersionWrap;

}  // namespace

void RaiseDamagedBlob() { RaiseError(errors::DamagedBlob); }

TZDBPageRef TZDBBlobPages::Fetch(int32_t session, int32_t pageNo) const {
  if (pageNo <= 0) RaiseDamagedBlob();
  TZDBPageRef page(pages_, session, pageNo, true, PageType);
  if (owner_.TrustsRecordPages(session)) return page;
  if (page->PageVersion() > MaxLivePageVersion || page->OwnerObjectID() != owner_.TableObjectID()) RaiseDamagedBlob();
  return page;
}

TZDBPageRef TZDBBlobPages::Add(int32_t session) const {
  TZDBPageRef page = TZDBPageRef::Add(pages_, session, PageType);
  page->SetOwnerObjectID(owner_.TableObjectID());
  page->MarkDirty();
  return page;
}

}  // namespace zdb
