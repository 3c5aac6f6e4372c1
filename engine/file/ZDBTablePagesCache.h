// The cache validity tracker: lets a multi-user page manager trust cached pages of a table
// without re-reading their versions from the file.
//
// Contract: the table data layer reports every read (kind 1) and write (kind 4) table lock
// it takes or releases, per session and table. While a session holds such a lock, the
// first change count it reads for the table becomes its stamp for that table; the stamp
// is forgotten whenever the session holds neither lock any more. Around each operation
// the table is pushed on the session's stack of current tables (TZDBDTPCTableScope), and
// the page manager asks CurrentStamp: a cached page stamped with that value for the
// session is current. Sessions are -2 (system) and 0.. ; -1 raises 20186.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace zdb {

class TZDBPage;

struct TZDBDTPCTableInfo {
  int32_t TableObjectID = -1;
  int32_t ReadLockCount = 0;
  int32_t WriteLockCount = 0;
  bool StampKnown = false;
  int32_t Stamp = -1;

  bool Locked() const { return ReadLockCount > 0 || WriteLockCount > 0; }
  void ForgetStamp() {
    StampKnown = false;
    Stamp = -1;
  }
};

struct TZDBDTPCSessionInfo {
  std::map<int32_t, TZDBDTPCTableInfo> Tables;  // by table object ID
  std::vector<int32_t> CurrentTables;           // stack; the back is the current table
  // The records of CurrentTables, in step with it: asked for on every page fetch.
  std::vector<const TZDBDTPCTableInfo*> CurrentInfos;
};

class TZDBDiskTablePagesCacheManager {
 public:
  static constexpr uint8_t ReadLockKind = 1;
  static constexpr uint8_t WriteLockKind = 4;

  // A lock of kind 1 or 4 taken / released by the session on the table; other kinds are
  // not counted. Releasing a lock that was never counted changes nothing.
  void TableLocked(int32_t session, int32_t tableObjectID, uint8_t lockKind);
  void TableUnlocked(int32_t session, int32_t tableObjectID, uint8_t lockKind);

  // The table's change count as the session just read it; it becomes the session's stamp
  // for the table if the session holds a counted lock on it and has no stamp yet.
  void TableChangeCountRead(int32_t session, int32_t tableObjectID, int32_t changeCount);

  void PushTable(int32_t session, int32_t tableObjectID);
  // Pops the session's current table; nothing when the stack is empty.
  void PopTable(int32_t session);

  // The stamp of the session's current table, when it is known and the session holds a
  // read or write lock on that table.
  bool CurrentStamp(int32_t session, int32_t& stamp) const;

  // A cached page is current for the session when the page carries, for that session, the
  // stamp of the session's current table (see CurrentStamp).
  bool IsPageCacheValid(int32_t session, const TZDBPage& page) const;
  // Stamps the page for the session with its current table's stamp, when there is one.
  void MarkPageCacheValid(int32_t session, TZDBPage& page) const;

  // Forgets everything about the session (its connection ended).
  void RemoveSession(int32_t session);

  // The session's record of the table, or null.
  const TZDBDTPCTableInfo* TableInfo(int32_t session, int32_t tableObjectID) const;

 private:
  TZDBDTPCSessionInfo& SessionFor(int32_t session);
  const TZDBDTPCSessionInfo* FindSession(int32_t session) const;
  TZDBDTPCTableInfo& TableFor(TZDBDTPCSessionInfo& info, int32_t tableObjectID);

  std::map<int32_t, TZDBDTPCSessionInfo> sessions_;  // by session number
  // The session last looked up, so that the calls of one operation search the map once.
  int32_t lastSession_ = -1;
  TZDBDTPCSessionInfo* lastInfo_ = nullptr;
};

// Keeps a table on the session's stack of current tables for the life of the scope.
class TZDBDTPCTableScope {
 public:
  TZDBDTPCTableScope(TZDBDiskTablePagesCacheManager& tracker, int32_t session,
                     int32_t tableObjectID)
      : tracker_(tracker), session_(session) {
    tracker_.PushTable(session, tableObjectID);
  }
  ~TZDBDTPCTableScope() { tracker_.PopTable(session_); }
  TZDBDTPCTableScope(const TZDBDTPCTableScope&) = delete;
  TZDBDTPCTableScope& operator=(const TZDBDTPCTableScope&) = delete;

 private:
  TZDBDiskTablePagesCacheManager& tracker_;
  int32_t session_;
};

}  // namespace zdb
