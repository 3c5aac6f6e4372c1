// The database data object of a database file: opens the file when its first session
// arrives and closes it when its last session leaves, creates new database files, owns
// the page manager, the system files (directory, session slots, table list) and the table
// lock manager, and turns a session's commit or rollback into page-level and lock-level
// work.
//
// Contract: every operation holds the object's lock. A session connects in the mode the
// first session set (20235 otherwise): multi-user, it gets a free slot as its number;
// single-user, it is session 0 and the first one claims every slot, or the database turns
// read-only for the process when other processes are connected. A failed open leaves
// nothing open. CreateDatabase works on an object without an open file and leaves it so;
// a new file with the defaults is 24956 bytes: the 380-byte prologue and pages 0 and 1
// (bitmaps), 2 (system directory), 3 (session slots), 4 (table list) and 5 (free). A
// creation that fails takes its half-made file away.
//
// The table layer supplies the table-data objects through SetTableDataFactory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBPassword.h"
#include "engine/file/ZDBDatabaseData.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBTableListFile.h"
#include "platform/os/File.h"

namespace zdb {

class TZDBActiveSessionsFile;
class TZDBDatabaseTableLockManager;
class TZDBDiskDatabaseData;
class TZDBDiskPageManager;
class TZDBSystemDirectory;

using TZDBTableDataFactory =
    std::function<std::unique_ptr<TZDBBaseTableData>(TZDBDiskDatabaseData& database, std::string_view tableName)>;

class TZDBDiskDatabaseData : public TZDBDatabaseData {
 public:
  static constexpr int32_t DefaultSlotCount = 500;

  explicit TZDBDiskDatabaseData(std::string fileName, os::FileSystem& fileSystem = os::FileSystem::Default());
  // Closes the file if it is still open (sessions that did not disconnect lose their
  // slots with the file handle).
  ~TZDBDiskDatabaseData() override;

  // --- virtual operations -------------------------------------------------------------------
  // Opens the file for the first session (the session's NeedsRepair, MultiUser and
  // ReadOnly receive what the open found), then gives the session its number. 20235 for a
  // session whose MultiUser differs from the mode in force; 20094 when no slot is free.
  void AddSession(TZDBSessionConnection& session) override;
  // Gives the session's number back and closes the file after the last session. Errors of
  // giving the number back pass on, after the session was removed (and the file closed).
  void RemoveSession(TZDBSessionConnection& session) override;
  // Reloads the table list and appends its names in stored order.
  void GetTableNames(std::vector<std::string>& list) override;
  // A new database file with the object's password, slot count, page size and pages per
  // extent. 20092 while the object has the file open.
  void CreateDatabase() override;
  // A new table-data object from the table layer's factory ("Nil pointer occured" 30457
  // when no factory is set).
  TZDBBaseTableData& CreateTableData(std::string_view tableName) override;
  // TakeObjectID of the open file ("Nil pointer occured" 30458 without one).
  int32_t GetNextObjectID() override;
  // Multi-user: the session's modified tables are write-locked (else 20233), its pages
  // applied, the file flushed when asked, its transaction locks released.
  void Commit(int32_t session, bool flush) override;
  // Multi-user: the transaction locks go first; then the session's pages are dropped and
  // the table-data objects told.
  void Rollback(int32_t session) override;
  void FlushBuffers() override;

  // --- for the table layer, each under the lock -------------------------------------------
  // The table list changes are saved for the system session at once (a save that fails
  // leaves the copy in memory as the file has it). Without an open table list: "Pointer is
  // nil" (20129 get and add, 20130 remove, 20131 rename).
  void AddTableToList(std::string_view tableName, int32_t objectID, int32_t metaDataStartPageNo,
                      int32_t mostUpdatedStartPageNo, int32_t locksStartPageNo);
  TZDBTableListEntry GetTableFromList(std::string_view tableName);
  void RemoveTableFromList(std::string_view tableName);
  void RenameTableInList(std::string_view oldName, std::string_view newName);
  // The tables lock byte (20210 / 20211).
  void LockTables();
  void UnlockTables();
  // Cuts the free pages after LastUsedPageNo off the end of the file and writes the
  // header (for a caller that holds the file exclusively).
  void TrimFile();

  // --- settings for CreateDatabase, and what the open file says ---------------------------
  void SetPassword(const TZDBPassword& password) { password_ = password; }
  const TZDBPassword& Password() const { return password_; }
  // MaxConnections of a new file; the slots file's size while open.
  void SetSlotCount(int32_t slotCount) { slotCount_ = slotCount; }
  int32_t SlotCount() const { return slotCount_; }
  void SetPageSize(int32_t pageSize) { pageSize_ = pageSize; }
  int32_t PageSize() const { return pageSize_; }
  void SetPagesPerExtent(int32_t pagesPerExtent) { pagesPerExtent_ = pagesPerExtent; }
  int32_t PagesPerExtent() const { return pagesPerExtent_; }
  bool SlotsClaimed() const { return slotsClaimed_; }

  bool IsOpen() const { return diskPageManager_ != nullptr; }
  // Null while the file is not open.
  TZDBDiskPageManager* DiskPageManager() const { return diskPageManager_; }
  TZDBSystemDirectory* SystemDirectory() const { return systemDirectory_.get(); }
  TZDBActiveSessionsFile* ActiveSessionsFile() const { return activeSessions_.get(); }
  TZDBTableListFile* TableList() const { return tableList_.get(); }
  TZDBDatabaseTableLockManager* LockManager() const { return lockManager_.get(); }
  os::FileSystem& FileSystem() const { return fileSystem_; }

  // The table layer's maker of table-data objects, for every database of the process.
  static void SetTableDataFactory(TZDBTableDataFactory factory);

 private:
  void Open(TZDBSessionConnection& session);
  // Frees the system files, the lock manager and the page manager, closing the file; the
  // first error is passed on once everything is freed.
  void Close();
  void GiveBackNumber(const TZDBSessionConnection& session);
  // A single-user open that finds the file in use becomes a multi-user reader.
  void ReadAmongOthers();
  TZDBTableListFile& RequireTableList(const TZDBError& errorCode);
  // Runs a change of the table list and saves it; a failure reloads the copy in memory.
  template <typename Change>
  void ChangeTableList(const TZDBError& nilErrorCode, Change change);

  os::FileSystem& fileSystem_;
  TZDBDiskPageManager* diskPageManager_ = nullptr;  // the base's page manager, typed
  std::unique_ptr<TZDBSystemDirectory> systemDirectory_;
  std::unique_ptr<TZDBActiveSessionsFile> activeSessions_;
  std::unique_ptr<TZDBTableListFile> tableList_;
  TZDBPassword password_;
  int32_t slotCount_ = DefaultSlotCount;
  int32_t pageSize_ = layout::DefaultPageSize;
  int32_t pagesPerExtent_ = layout::DefaultPagesPerExtent;
  std::unique_ptr<TZDBDatabaseTableLockManager> lockManager_;
  bool slotsClaimed_ = false;
  bool readingAmongOthers_ = false;  // see ReadAmongOthers
};

}  // namespace zdb
