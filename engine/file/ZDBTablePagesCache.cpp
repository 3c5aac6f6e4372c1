#include "engine/file/ZDBTablePagesCache.h"

#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageManager.h"

namespace zdb {

TZDBDTPCSessionInfo& TZDBDiskTablePagesCacheManager::SessionFor(int32_t session) {
  if (lastInfo_ != nullptr && lastSession_ == session) return *lastInfo_;
  TZDBPageManager::CheckSession(session);
  lastInfo_ = &sessions_[session];
  lastSession_ = session;
  return *lastInfo_;
}

const TZDBDTPCSessionInfo* TZDBDiskTablePagesCacheManager::FindSession(int32_t session) const {
  if (lastInfo_ != nullptr && lastSession_ == session) return lastInfo_;
  auto it = sessions_.find(session);
  return it != sessions_.end() ? &it->second : nullptr;
}

TZDBDTPCTableInfo& TZDBDiskTablePagesCacheManager::TableFor(TZDBDTPCSessionInfo& info, int32_t tableObjectID) {
  auto [it, inserted] = info.Tables.try_emplace(tableObjectID);
  if (inserted) it->second.TableObjectID = tableObjectID;
  return it->second;
}

void TZDBDiskTablePagesCacheManager::TableLocked(int32_t session, int32_t tableObjectID, uint8_t lockKind) {
  if (lockKind != ReadLockKind && lockKind != WriteLockKind) return;
  TZDBDTPCTableInfo& table = TableFor(SessionFor(session), tableObjectID);
  // The first counted lock starts from no stamp: whatever was known before it may be stale.
  if (!table.Locked()) table.ForgetStamp();
  ++(lockKind == ReadLockKind ? table.ReadLockCount : table.WriteLockCount);
}

void TZDBDiskTablePagesCacheManager::TableUnlocked(int32_t session, int32_t tableObjectID, uint8_t lockKind) {
  if (lockKind != ReadLockKind && lockKind != WriteLockKind) return;
  TZDBDTPCTableInfo& table = TableFor(SessionFor(session), tableObjectID);
  int32_t& count = lockKind == ReadLockKind ? table.ReadLockCount : table.WriteLockCount;
  if (count > 0) --count;
  // Without a lock another process may change the table at any time.
  if (!table.Locked()) table.ForgetStamp();
}

void TZDBDiskTablePagesCacheManager::TableChangeCountRead(int32_t session, int32_t tableObjectID,
                                                          int32_t changeCount) {
  TZDBDTPCTableInfo& table = TableFor(SessionFor(session), tableObjectID);
  if (!table.Locked() || table.StampKnown) return;
  table.StampKnown = true;
  table.Stamp = changeCount;
}

void TZDBDiskTablePagesCacheManager::PushTable(int32_t session, int32_t tableObjectID) {
  TZDBDTPCSessionInfo& info = SessionFor(session);
  const TZDBDTPCTableInfo& table = TableFor(info, tableObjectID);
  info.CurrentTables.push_back(tableObjectID);
  info.CurrentInfos.push_back(&table);
}

void TZDBDiskTablePagesCacheManager::PopTable(int32_t session) {
  const TZDBDTPCSessionInfo* found = FindSession(session);
  if (found == nullptr || found->CurrentTables.empty()) return;
  TZDBDTPCSessionInfo& info = SessionFor(session);
  info.CurrentTables.pop_back();
  info.CurrentInfos.pop_back();
}

bool TZDBDiskTablePagesCacheManager::CurrentStamp(int32_t session, int32_t& stamp) const {
  const TZDBDTPCSessionInfo* info = FindSession(session);
  if (info == nullptr || info->CurrentInfos.empty()) return false;
  const TZDBDTPCTableInfo& table = *info->CurrentInfos.back();
  if (!table.StampKnown || !table.Locked()) return false;
  stamp = table.Stamp;
  return true;
}

bool TZDBDiskTablePagesCacheManager::IsPageCacheValid(int32_t session, const TZDBPage& page) const {
  int32_t tableStamp = 0;
  int32_t pageStamp = 0;
  return CurrentStamp(session, tableStamp) && page.SessionStamp(session, pageStamp) && pageStamp == tableStamp;
}

void TZDBDiskTablePagesCacheManager::MarkPageCacheValid(int32_t session, TZDBPage& page) const {
  int32_t tableStamp = 0;
  if (CurrentStamp(session, tableStamp)) page.SetSessionStamp(session, tableStamp);
}

void TZDBDiskTablePagesCacheManager::RemoveSession(int32_t session) {
  sessions_.erase(session);
  lastInfo_ = nullptr;
}

const TZDBDTPCTableInfo* TZDBDiskTablePagesCacheManager::TableInfo(int32_t session, int32_t tableObjectID) const {
  const TZDBDTPCSessionInfo* info = FindSession(session);
  if (info == nullptr) return nullptr;
  auto it = info->Tables.find(tableObjectID);
  return it != info->Tables.end() ? &it->second : nullptr;
}

}  // namespace zdb
