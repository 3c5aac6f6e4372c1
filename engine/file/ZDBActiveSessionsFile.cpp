#include "engine/file/ZDBActiveSessionsFile.h"

#include "engine/file/ZDBPageTypes.h"

namespace zdb {

TZDBActiveSessionsFile::TZDBActiveSessionsFile(TZDBDiskPageManager& pageManager)
    : file_(pageManager, PageTypeCode(TZDBPageType::ActiveSessionList)) {}

int32_t TZDBActiveSessionsFile::Create(int32_t slotCount) {
  file_.Create(slotCount);
  return file_.StartPageNo();
}

int32_t TZDBActiveSessionsFile::Open(int32_t startPageNo) {
  file_.Open(startPageNo);
  return file_.Size();
}

void TZDBActiveSessionsFile::Close() { file_.Close(); }

}  // namespace zdb
