#include "engine/file/ZDBFileCreation.h"

#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBTableLocksFile.h"

namespace zdb {

static_assert(DefaultNewFileSlotCount == TZDBDiskDatabaseData::DefaultSlotCount);
static_assert(NewFileLockBytesPerSlot == TZDBTableLocksFile::BytesPerSlot);

void CreateDatabaseFile(const std::string& fileName, const TZDBNewFileSettings& settings) {
  TZDBDiskDatabaseData database(fileName);
  database.SetPassword(settings.Password);
  database.SetPageSize(settings.PageSize);
  database.SetPagesPerExtent(settings.PagesPerExtent);
  database.SetSlotCount(settings.SlotCount);
  database.CreateDatabase();
}

}  // namespace zdb
