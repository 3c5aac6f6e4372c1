#include "tools/zdb/ZdbSessionsCommand.h"

#include <stdexcept>
#include <vector>

#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBLockWait.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "tools/zdb/ZdbOpen.h"

namespace zdbtool {
namespace {

// A tool should not hang for the engine's full wait on a file that another process keeps
// busy: about two seconds.
constexpr zdb::TZDBLockRetry GuardWait{100, 20};

}  // namespace

void SessionsCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  zdb::TZDBDiskPageManager manager;
  OpenForReading(manager, fileName, password);

  zdb::TZDBSystemDirectory directory(manager);
  directory.Open();
  const int32_t slotsPage = directory.Find(zdb::TZDBSystemDirectory::ActiveSessionsFileId);
  if (slotsPage < 0) throw std::runtime_error("The database has no session slots file");
  zdb::TZDBActiveSessionsFile slots(manager);
  slots.Open(slotsPage);

  if (!zdb::WaitForLock(GuardWait, [&] { return slots.LockGuard(); }))
    throw std::runtime_error("The session slots file is locked; try again");
  std::vector<int32_t> taken;
  try {
    for (int32_t slot = 0; slot < slots.SlotCount(); ++slot) {
      if (slots.IsSlotLocked(slot)) taken.push_back(slot);
    }
  } catch (...) {
    slots.UnlockGuard();
    throw;
  }
  slots.UnlockGuard();

  out << "slot_count: " << slots.SlotCount() << '\n' << "taken_count: " << taken.size() << '\n';
  for (int32_t slot : taken) out << slot << '\n';
  slots.Close();
  directory.Close();
  manager.CloseDatabaseFile();
}

}  // namespace zdbtool
