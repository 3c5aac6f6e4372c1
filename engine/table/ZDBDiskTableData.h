// TZDBDiskTableData: a table of a database file. Beyond the shared logic of
// TZDBTableData it keeps the table's three files (the lock region, the metadata stream
// of page type 8 and the frequently updated data of page type 9), creates, opens,
// closes, deletes, empties and renames the table under the tables lock byte, stores,
// changes and removes rows, and in multi-user mode guards every operation with the
// file's table locks.
//
// Multi-user: every read (GetRecord, Locate, FindKey, record numbers and counts) holds
// the table's read lock (kind 1; 2250 attempts, 40 ms): GetRecord answers grNotFound
// when it cannot be had, the others raise "Table is locked" (20214 Locate, 20215
// FindKey, 20216 SetRecNo, 20217 GetRecNo, 20218 GetRecordCount, 20219
// SetRecNoPhysical, 20220 GetRecNoPhysical). Reads and writes first reload the
// frequently updated data, whose ChangeCount becomes the session's stamp for the table
// in the page cache, and keep the table on the session's stack of current tables, so
// that pages proven current need no revalidation. Row changes expect the caller to hold
// the table's write lock (LockTable, kind 4, or kind 3 in a transaction), as the
// editing cycle does. Opening takes kind 0 (shared) or kind 6 (exclusive) for the
// cursor (50 attempts, 100 ms). Single-user: no lock is taken.
//
// Definition changes (AddIndex, DropIndex, RenameField) need the table to themselves in
// multi-user mode: other processes keep the definitions they read at open, and would
// leave a new index behind on their next insert. They fail with 20208 while another
// connection has the table open. They, and emptying the table, move the ChangeCount on
// (it never goes back), so that no process trusts pages it cached under an older count.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBTableLockKinds.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "engine/index/ZDBBTreeBlobPageIndex.h"
#include "engine/table/ZDBDiskBlobManager.h"
#include "engine/table/ZDBDiskRecordManager.h"
#include "engine/table/ZDBRecordPageOwner.h"
#include "engine/table/ZDBTableData.h"
#include "engine/table/ZDBTemporaryPageManager.h"

namespace zdb {

class TZDBDiskTableData : public TZDBTableData, public TZDBRecordPageOwner {
 public:
  // Lock waits of the operations (delay base in ms, attempts).
  static constexpr int32_t OpenLockDelayMs = 100;
  static constexpr int32_t OpenLockAttempts = 50;
  static constexpr int32_t ReadLockDelayMs = 40;
  static constexpr int32_t ReadLockAttempts = 2250;
  // The metadata stream is stored compressed with ZLIB at this level.
  static constexpr uint8_t MetaDataCompressionLevel = 1;

  TZDBDiskTableData(TZDBDiskDatabaseData& database, std::string_view tableName);
  ~TZDBDiskTableData() override;

  // --- record pages -------------------------------------------------------------------------
  int32_t TableObjectID() const override { return objectID_; }
  bool TrustsRecordPages(int32_t session) const override;

  // --- virtual operations ---------------------------------------------------------------------
  void CreateRecordManager() override;
  void Commit(int32_t session, bool inTransaction) override;
  void Rollback(int32_t session, bool inTransaction) override;
  // 20128 without fields; the table's files, definitions, empty record-page index and
  // index trees, its entry in the table list, committed for the system session. Any
  // failure rolls the system session back. The table is closed afterwards.
  void CreateTable(TZDBTableCursor& cursor, const TZDBFieldDefs& fieldDefs, const TZDBConstraintDefs& constraintDefs,
                   const TZDBIndexDefs& indexDefs) override;
  void DeleteTable(TZDBTableCursor& cursor, bool skipCheck) override;
  void EmptyTable(TZDBTableCursor& cursor) override;
  void RenameTable(std::string_view newName, TZDBTableCursor& cursor) override;
  // 20242 for an exclusive request while other cursors of the process have the table
  // open (not exclusively); 20208 / 20209 when the open lock cannot be had; 30396 when
  // the table does not exist.
  void OpenTable(TZDBTableCursor& cursor) override;
  // Releases the cursor's open lock; the last cursor frees the table's working objects.
  void CloseTable(TZDBTableCursor& cursor) override;
  void RenameField(std::string_view oldName, std::string_view newName) override;
  int32_t AddIndex(const TZDBIndexDef& definition, TZDBTableCursor& cursor) override;
  void DropIndex(int32_t indexID, TZDBTableCursor& cursor) override;
  int64_t GetMaxRecordNumber(int32_t session) override;
  int64_t RecordIDToNumber(const TZDBRecordID& recordID) const override;
  TZDBRecordID NumberToRecordID(int64_t number) const override;
  uint8_t GetRecord(TZDBTableCursor& cursor, uint8_t getMode) override;
  bool Locate(TZDBTableCursor& cursor, std::shared_ptr<const TZDBRowExpression> condition) override;
  bool FindKey(TZDBTableCursor& cursor, TZDBSearchOperator comparisonType) override;
  // 20135 / 20136 "Nil pointer occured" without record manager / row buffer. Uniqueness
  // of the unique indexes is checked before the row is stored; false when the row could
  // not be stored (nothing changed).
  bool InsertRecord(TZDBTableCursor& cursor) override;
  // 20137. The row's keys come from the row as stored; false when it is gone.
  bool DeleteRecord(TZDBTableCursor& cursor) override;
  // 20138 / 20139. The old keys are those of the row as stored; false (nothing changed)
  // when the row is gone.
  bool UpdateRecord(TZDBTableCursor& cursor) override;
  void SetRecNo(TZDBTableCursor& cursor, int64_t recNo) override;
  int64_t GetRecNo(TZDBTableCursor& cursor) override;
  void SetRecNoPhysical(TZDBTableCursor& cursor, int64_t recNo) override;
  int64_t GetRecNoPhysical(TZDBTableCursor& cursor) override;
  int64_t GetRecordCount(TZDBTableCursor& cursor) override;
  int64_t GetLastAutoincValue(const TZDBBaseSession& session, int32_t fieldNo) override;
  // Reloads the frequently updated data, drops the session's temporary pages, then the
  // base's refresh.
  void AfterRollback(int32_t session) override;

  // --- large values (BLOB, MEMO, WIDEMEMO fields) -------------------------------------------
  // All of them work on the cursor's row buffer (or the buffer given) under the table
  // data's lock; values are read for the cursor's session in its multi-user read frame.
  // What a field holds in memory lives until the row is written, the buffer is
  // released (ReleaseRecordBlobs, CloseTable) or refilled by a read.
  //
  // A stream on the field's value (ZDBDiskBlobManager.h): empty with the field's
  // compression settings when newValue is set (a value to be written anew), else the
  // current value. 20149, 20248 as the manager raises them; "Table is locked" 20214
  // when the read lock cannot be had.
  std::unique_ptr<TZDBBlobStream> OpenBlobStream(TZDBTableCursor& cursor, bool newValue, int32_t fieldNo);
  // A changed stream becomes the field's in-memory value in the cursor's row buffer.
  void SaveBlobStream(TZDBTableCursor& cursor, int32_t fieldNo, TZDBBlobStream& stream);
  // The field's value in the cursor's row buffer: stored bytes and parameters (none for NULL).
  void ReadBlob(TZDBTableCursor& cursor, int32_t fieldNo, std::vector<uint8_t>& bytes, TZDBBlobParams& params);
  // The field's new value (stored bytes with their parameters) in the buffer, NULL when
  // the size parameter is 0.
  void WriteBlob(uint8_t* recordBuffer, int32_t fieldNo, const uint8_t* bytes, size_t count,
                 const TZDBBlobParams& params);
  // Drops the field's in-memory value unless it is still to be stored.
  void FreeBlob(uint8_t* recordBuffer, int32_t fieldNo);
  void ReleaseFieldBlob(uint8_t* recordBuffer, int32_t fieldNo);
  // Drops every in-memory value of the buffer, changed or not (the buffer goes or is
  // refilled, or its row was cancelled).
  void ReleaseRecordBlobs(uint8_t* recordBuffer);
  // The stored value a reference names (checks and tools); raises as reading does.
  void ReadStoredBlob(int32_t session, const TZDBBlobReference& reference, std::vector<uint8_t>& bytes,
                      TZDBBlobParams& params);
  TZDBDiskBlobManager* BlobManager() const { return blobManager_.get(); }

  // --- for the editing cycle ------------------------------------------------------------------
  // A table lock of the file for the session (always granted in single-user mode); read
  // and write locks are reported to the page cache's tracker.
  bool LockTable(int32_t session, TZDBTableLockKind kind, bool flag, int32_t delayBaseMs, int32_t attempts);
  bool UnlockTable(int32_t session, TZDBTableLockKind kind);
  // The automatic increment counters and the row count as the file holds them for the
  // session (before an insert assigns automatic values).
  void ReloadMostUpdated(int32_t session);
  // The file's commit stamp while the session's cached view of the table is current, so
  // that its reads run without the read lock; none otherwise (single-user included). The
  // same stamp before and after a series of reads proves that no commit came between them.
  std::optional<int64_t> CurrentViewStamp(int32_t session);
  // The automatic increment counters become those of the source's fields (a copy of a
  // table taking over its original's counters): written into the frequently updated data
  // for the cursor's session and committed as a row change is, the caller holding the
  // write lock in multi-user mode. The row and change counts stay the table's. 20164
  // "Invalid table header data" when the source has another number of fields. A failure
  // leaves the counters as they were (outside a transaction the session's uncommitted
  // changes of the table go, as after a failed row change).
  void SetAutoincValues(TZDBTableCursor& cursor, const TZDBBaseFieldManager& source);

  // --- state ----------------------------------------------------------------------------------
  TZDBDiskDatabaseData& DiskDatabase() const { return diskDatabase_; }
  TZDBDiskRecordManager* DiskRecordManager() const;
  TZDBTableLocksFile* LocksFile() const { return locksFile_.get(); }
  bool MultiUser() const { return diskDatabase_.MultiUser(); }
  int32_t BlobPageIndexRoot() const;

 protected:
  const TZDBError& UnimplementedConstraintCode() const override;
  TZDBRecordID PhysicalRecordIDAt(int32_t session, int64_t recNo) override;
  int64_t PhysicalRecNoOf(int32_t session, const TZDBRecordID& recordID) override;

 private:
  class ReadAccess;
  class QuickReadFrame;
  class WriteAccess;
  class TablesLock;
  // What a locked read of a session found current: the file's commit stamp then. While the
  // stamp stays and no other session of this process changed the table, the session's
  // cached view of the table is the file's with the session's own changes.
  struct CurrentView {
    int32_t Session = -1;
    int64_t CommitStamp = -1;
  };
  struct OpenLock {
    const TZDBTableCursor* Cursor;
    TZDBTableLockKind Kind;
  };

  // The working objects of an open table, made empty / freed.
  void CreateManagers();
  void FreeManagers();
  void CreateFileObjects();
  // Reads the table's definitions and counters for the first cursor.
  void LoadTable(TZDBTableCursor& cursor);
  void LoadMetaData(int32_t session);
  void SaveMetaData(int32_t session);
  void SaveMostUpdated(int32_t session);
  // The header's commit counter and write state as one number, read from the file; none
  // while a commit is writing or when the bytes cannot be read.
  std::optional<int64_t> CommitStamp();
  // A multi-user read without the read lock, for a session whose view of the table is
  // current: the read runs on the cached pages, and counts only when no commit ran while it
  // did. False (with the cursor's position put back) when the caller must read under the
  // lock instead.
  template <typename Read>
  bool QuickRead(TZDBTableCursor& cursor, Read read);
  void ForgetCurrentView() { currentView_.reset(); }
  // A change by the view's own session leaves its view standing: what the session reads
  // then is its own change, and any commit still moves the stamp. A change by another
  // session of this process ends it.
  void ForgetOtherSessionsView(int32_t session) {
    if (currentView_ && currentView_->Session != session) currentView_.reset();
  }
  // AddIndex, DropIndex and RenameField: under an exclusive table lock in multi-user
  // mode, then the metadata saved and committed for the session.
  template <typename Change>
  void ChangeDefinitions(int32_t session, Change change);
  // The position after a delete: the next row in the cursor's order, else the prior
  // one, else before the first.
  void PositionAfterDelete(TZDBTableCursor& cursor, TZDBRecordID& recordID, bool& beforeFirst, bool& afterLast);
  void UpdateBitmapAfterChange(TZDBTableCursor& cursor, const TZDBRecordID& recordID, const uint8_t* row);
  // Large values of a row about to be written (storedRow: the row as stored, null for a
  // new one), then the write; when it fails or raises, the buffer is put back as it was
  // before the values were stored, so that it can be posted again after the rollback.
  template <typename Write>
  bool WriteRowWithBlobs(int32_t session, uint8_t* row, const uint8_t* storedRow, Write write);
  bool HasBlobFields() const;
  TZDBDiskBlobManager& Blobs() const;
  TZDBDiskPageManager& DiskPages() const;
  TZDBDiskRecordManager& Records() const;

  TZDBDiskDatabaseData& diskDatabase_;
  int32_t objectID_ = -1;
  std::unique_ptr<TZDBTableLocksFile> locksFile_;
  std::unique_ptr<TZDBInternalDBTransactedAccessFile> metaDataFile_;
  std::unique_ptr<TZDBInternalDBTransactedAccessFile> mostUpdatedFile_;
  std::unique_ptr<TZDBTemporaryPageManager> temporaryPages_;
  std::unique_ptr<TZDBDiskBlobManager> blobManager_;
  bool openedExclusive_ = false;
  bool restructuring_ = false;
  int32_t loadedChangeCount_ = 0;
  std::optional<CurrentView> currentView_;
  std::vector<OpenLock> openLocks_;
};

// The disk table data of a table of the database (made when no cursor of the process
// has it open). Registers the table layer's factory with the database data objects on
// first use.
TZDBDiskTableData& DiskTableDataOf(TZDBDiskDatabaseData& database, std::string_view tableName);
// Makes every database data object of the process create TZDBDiskTableData objects.
void RegisterDiskTableData();
// Discards the table data when no cursor has it open any more.
void ReleaseDiskTableData(TZDBDiskTableData& tableData);

}  // namespace zdb
