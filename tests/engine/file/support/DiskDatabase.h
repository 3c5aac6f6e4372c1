// Small database files for the tests of the disk page manager: created through the
// engine, with pages whose first four data bytes hold a value, and opened again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb::test {

constexpr int32_t Session = 0;
constexpr uint16_t RecordPage = PageTypeCode(TZDBPageType::TableRecord);

// Adds a record page holding value, private to the session until it commits.
inline int32_t AddValuePage(TZDBPageManager& manager, uint32_t value, int32_t session = Session) {
  TZDBPageRef page = TZDBPageRef::Add(manager, session, RecordPage);
  le::PutU32(page->Data(), value);
  return page->PageNo();
}

inline uint32_t PageValue(TZDBPageManager& manager, int32_t pageNo, bool check = false, int32_t session = Session) {
  TZDBPageRef page(manager, session, pageNo, check, TZDBPageManager::AnyPageType);
  return le::GetU32(page->Data());
}

inline void SetPageValue(TZDBPageManager& manager, int32_t pageNo, uint32_t value, int32_t session = Session) {
  TZDBPageRef page(manager, session, pageNo, false, TZDBPageManager::AnyPageType);
  le::PutU32(page->Data(), value);
  page->MarkDirty();
}

// A new database file with one committed record page per value (pages 2, 3, ...).
inline std::vector<int32_t> CreateDatabase(const std::string& path, const std::vector<uint32_t>& values,
                                           uint16_t pageSize = 4096, uint16_t pagesPerExtent = 8) {
  TZDBDiskPageManager manager;
  manager.CreateDatabaseFile(path, TZDBPassword{}, pagesPerExtent, pageSize);
  std::vector<int32_t> pages;
  for (uint32_t value : values) pages.push_back(AddValuePage(manager, value));
  manager.ApplyChanges(Session);
  manager.CloseDatabaseFile();
  return pages;
}

struct OpenOptions {
  bool multiUser = false;
  bool exclusive = false;
  bool readOnly = false;
};

// Opens the file; answers NeedsRepair. The options come back as the open left them.
inline bool OpenDatabase(TZDBDiskPageManager& manager, const std::string& path, OpenOptions& options) {
  return manager.OpenDatabaseFile(path, TZDBPassword{}, options.multiUser, options.exclusive, options.readOnly);
}
inline bool OpenDatabase(TZDBDiskPageManager& manager, const std::string& path) {
  OpenOptions options;
  return OpenDatabase(manager, path, options);
}

}  // namespace zdb::test
