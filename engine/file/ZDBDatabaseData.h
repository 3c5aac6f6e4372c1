// The per-database object of a process: what every session and every open table of one
// database share. It keeps the sessions that use the database, the table-data objects of
// its open tables and the page manager, and its one lock serialises all work on the
// database inside the process.
//
// Contract: every operation runs under the lock (a re-entrant critical section, so an
// operation may call another). The table layer's table-data objects are known here only
// through TZDBBaseTableData: the database data object owns them, finds them by name
// (letter case ignored as in table names) and tells them about rollbacks. The disk
// implementation (ZDBDiskDatabaseData.h) opens, creates and closes the file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBPassword.h"
#include "platform/os/System.h"

namespace zdb {

class TZDBPageManager;

// What a session brings to the database data object when it connects, and what it gets.
struct TZDBSessionConnection {
  // In: the mode asked for. MultiUser and ReadOnly come back as the open turned out.
  bool MultiUser = false;
  bool Exclusive = false;
  bool ReadOnly = false;
  TZDBPassword Password;
  // Out: the file was not closed properly or is of an old format (set for the session
  // that opened the file); the session number (-1 while not connected).
  bool NeedsRepair = false;
  // Out: a journal found beside the file belonged to another database and was renamed
  // to this (set for the session that opened the file).
  std::string KeptAsideJournal;
  int32_t SessionID = -1;
};

// The table layer's per-table object, as the database data object sees it.
class TZDBBaseTableData {
 public:
  virtual ~TZDBBaseTableData() = default;
  virtual const std::string& TableName() const = 0;
  // The session rolled back: drop what the table keeps of its changes.
  virtual void AfterRollback(int32_t session) = 0;
};

class TZDBDatabaseData {
 public:
  explicit TZDBDatabaseData(std::string fileName);
  virtual ~TZDBDatabaseData();
  TZDBDatabaseData(const TZDBDatabaseData&) = delete;
  TZDBDatabaseData& operator=(const TZDBDatabaseData&) = delete;

  // --- virtual operations, in slot order ------------------------------------------------
  // Registers the session. Base: only the list.
  virtual void AddSession(TZDBSessionConnection& session);
  // Unregisters the session. Base: only the list.
  virtual void RemoveSession(TZDBSessionConnection& session);
  // Destroys the object when no session is left and it belongs to the process-wide
  // registry; answers whether it was destroyed (the object must not be used afterwards).
  virtual bool FreeIfUnused();
  // Appends the names of the database's tables in their stored order. Base: none.
  virtual void GetTableNames(std::vector<std::string>& list);
  // Creates a new database file. Base: nothing.
  virtual void CreateDatabase();
  // A new table-data object for the table, added to the list.
  virtual TZDBBaseTableData& CreateTableData(std::string_view tableName) = 0;
  // The table-data object of that table, or null.
  virtual TZDBBaseTableData* FindTableData(std::string_view tableName);
  // Found, else created.
  virtual TZDBBaseTableData& GetTableData(std::string_view tableName);
  virtual int32_t GetNextObjectID() = 0;
  // Commit: the page manager applies the session's changes. Base: without a flush. A
  // commit that fails either leaves the session's transaction whole for a retry or rolls
  // it back whole; HasSessionChanges tells which.
  virtual void Commit(int32_t session, bool flush);
  bool HasSessionChanges(int32_t session) const;
  // Rollback: the page manager cancels the session's changes, then every table-data
  // object is told.
  virtual void Rollback(int32_t session);
  // Makes written bytes durable. Base: nothing.
  virtual void FlushBuffers();

  // --- non-virtual operations -------------------------------------------------------------
  void Lock() { lock_.Enter(); }
  void Unlock() { lock_.Leave(); }
  os::CriticalSection& CriticalSection() { return lock_; }
  // Whether a table of that name exists (letter case of a-z ignored).
  bool TableExists(std::string_view tableName);
  // Discards a table-data object of this database (its last cursor closed the table).
  void FreeTableData(TZDBBaseTableData& tableData);

  const std::string& FileName() const { return fileName_; }
  // Null while the database is not open.
  TZDBPageManager* PageManager() const { return pageManager_.get(); }
  bool ReadOnly() const { return readOnly_; }
  bool MultiUser() const { return multiUser_; }
  size_t SessionCount() const { return sessions_.size(); }
  bool HasSession(const TZDBSessionConnection& session) const;
  size_t TableDataCount() const { return tableData_.size(); }

 protected:
  using Guard = std::lock_guard<os::CriticalSection>;

  // Adds a created table-data object to the list and answers it.
  TZDBBaseTableData& AdoptTableData(std::unique_ptr<TZDBBaseTableData> tableData);
  // Takes the session off the list (nothing when it is not listed).
  void UnlistSession(const TZDBSessionConnection& session);

  os::CriticalSection lock_;
  std::vector<TZDBSessionConnection*> sessions_;
  std::vector<std::unique_ptr<TZDBBaseTableData>> tableData_;
  std::string fileName_;
  std::unique_ptr<TZDBPageManager> pageManager_;
  bool readOnly_ = false;
  bool multiUser_ = false;
};

}  // namespace zdb
