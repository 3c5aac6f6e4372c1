// The inspector's look at the system files: the directory, the session slots, the table
// list.
#include <exception>
#include <stdexcept>

#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileInspector.h"
#include "engine/file/ZDBLockWait.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableListFile.h"

namespace zdb {
namespace {

// A look should not hang for the engine's full wait on a file that another process keeps
// busy: about two seconds.
constexpr TZDBLockRetry GuardWait{100, 20};

int32_t RequireEntry(const TZDBSystemDirectory& directory, uint8_t fileId, const char* what) {
  const int32_t start = directory.Find(fileId);
  if (start < 0) throw std::runtime_error(std::string("The database has no ") + what);
  return start;
}

}  // namespace

TZDBSystemFilesInfo TZDBFileInspector::SystemFiles() {
  TZDBSystemFilesInfo info;
  // The header stays worth reading when the system files are not: say why and go on.
  try {
    TZDBSystemDirectory directory(*manager_);
    directory.Open();
    TZDBActiveSessionsFile slots(*manager_);
    info.SlotCount =
        slots.Open(RequireEntry(directory, TZDBSystemDirectory::ActiveSessionsFileId, "session slots file"));
    for (const TZDBSystemDirectory::Entry& entry : directory.Entries())
      info.Entries.push_back({entry.FileId, entry.StartPageNo});
    info.Readable = true;
  } catch (const std::exception& e) {
    info = {};
    info.Problem = e.what();
  }
  return info;
}

TZDBSessionSlotsInfo TZDBFileInspector::SessionSlots() {
  TZDBSystemDirectory directory(*manager_);
  directory.Open();
  const int32_t slotsPage = directory.Find(TZDBSystemDirectory::ActiveSessionsFileId);
  if (slotsPage < 0) throw std::runtime_error("The database has no session slots file");
  TZDBActiveSessionsFile slots(*manager_);
  slots.Open(slotsPage);

  if (!WaitForLock(GuardWait, [&] { return slots.LockGuard(); }))
    throw std::runtime_error("The session slots file is locked; try again");
  TZDBSessionSlotsInfo info;
  try {
    for (int32_t slot = 0; slot < slots.SlotCount(); ++slot) {
      if (slots.IsSlotLocked(slot)) info.Taken.push_back(slot);
    }
  } catch (...) {
    slots.UnlockGuard();
    throw;
  }
  slots.UnlockGuard();
  info.SlotCount = slots.SlotCount();
  slots.Close();
  directory.Close();
  return info;
}

std::vector<TZDBTableListRow> TZDBFileInspector::Tables() {
  TZDBSystemDirectory directory(*manager_);
  directory.Open();
  TZDBTableListFile tableList(*manager_);
  tableList.Open(RequireEntry(directory, TZDBSystemDirectory::TableListFileId, "table list"));
  tableList.Load();
  std::vector<TZDBTableListRow> rows;
  for (const TZDBTableListEntry& table : tableList.Entries())
    rows.push_back({table.Name, table.ObjectID, table.MetaDataStartPageNo, table.MostUpdatedStartPageNo,
                    table.LocksStartPageNo});
  return rows;
}

}  // namespace zdb
