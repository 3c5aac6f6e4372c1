// TZDBLocalCursor: the cursor of the engine running in this process. Its rows come from
// the table data object shared by every cursor of the table in the open database file,
// reached through the connection (TZDBLocalSession) of the dataset's database component.
//
// Contract: the table is open from OpenTable to CloseTable (or destruction); the table
// data serialises every call under the database data's lock. A failed OpenTable leaves
// the cursor closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/dataset/ZDBCursor.h"
#include "engine/dataset/ZDBLocalSession.h"
#include "engine/table/ZDBTableAccess.h"

namespace zdb {

class TZDBLocalCursor final : public TZDBCursor {
 public:
  TZDBLocalCursor(TZDBLocalSession& connection, std::string_view tableName);
  // Closes the table; an error of releasing its lock is dropped here.
  ~TZDBLocalCursor() override;

  void OpenTable() override;
  void CloseTable() override;
  void InitFieldLayout() override;
  bool IsFieldRequired(int32_t fieldNo) const override;
  void InitRecordBuffer(uint8_t* buffer, bool withDefaults) override;
  const TZDBIndexDefs& IndexDefs() const override;

  TZDBFetchResult FetchRecord(uint8_t mode) override;
  int64_t GetRecordCount() override;
  int64_t GetRecNo() override;
  void SetRecNo(int64_t recNo) override;
  bool RowExists(const TZDBRecordID& recordID) override;
  int CompareBookmarks(const TZDBRecordID& a, const TZDBRecordID& b) override;
  bool SearchKey(TZDBSearchOperator op) override;

  bool LockTable(TZDBTableLockKind kind, int32_t attempts, int32_t delayBaseMs, bool flag) override;
  std::optional<int64_t> CurrentViewStamp() override;
  void UnlockTable(TZDBTableLockKind kind) override;

  void BeginEdit() override;
  void CancelEdit(bool wasInsert) override;
  void PostRecord(bool isInsert, const uint8_t* originalRow) override;
  void RemoveRecord() override;

  void DeleteTable() override;
  void ClearTable() override;
  void RenameTable(std::string_view newName) override;
  // Renames the field in the table (30343 / 30344 as the table data raises them; 20208
  // while another process has the table open) and in this cursor's copy.
  void RenameField(std::string_view oldName, std::string_view newName) override;
  void AddIndex(const TZDBIndexDef& definition) override;
  void DeleteIndex(std::string_view indexName) override;

  std::shared_ptr<TZDBLocalBLOBStream> OpenBlob(bool inserting, bool editing, TZDBBlobStreamMode mode,
                                                int32_t fieldNo) override;
  void CloseBlob(int32_t fieldNo) override;
  void FreeBlobs(bool onlyWriting) override;
  void FreeRecordBlobs(uint8_t* buffer) override;

 protected:
  int32_t FindIndexID(std::string_view indexName) const override;
  std::unique_ptr<TZDBBlobStream> OpenValueStream(int32_t fieldNo, bool newValue) override;
  void StoreValueStream(int32_t fieldNo, TZDBBlobStream& stream) override;

 private:
  // The table data; "Pointer is nil" while the table is closed (the code of entering the
  // database's access section, which every slot does first).
  TZDBDiskTableData& Data() const;
  // The database file of the connection, for an operation on the closed table: "Table not
  // found, table name = %s" with the code given when the connection has none; the
  // table's own code when the file has no such table.
  TZDBDiskDatabaseData& ExistingTableDatabase(const TZDBError& noDatabaseCode, const TZDBError& missingTableCode);
  // Whether the table is guarded by the file's table locks (a multi-user disk table).
  static bool Locking(const TZDBDiskTableData& data);

  // The row lock of the row at the position; false when another session holds it.
  bool LockRow(TZDBDiskTableData& data);
  void UnlockRow(TZDBDiskTableData& data);
  // Releases the locks of an edit (nothing when none are held); quietly: dropping a
  // failure to release, when another failure is being reported.
  void ReleaseEditLocks();
  void ReleaseEditLocksQuietly();
  // Whether the re-read row is the row of the row buffer, as a delete compares them.
  bool SameRowAsShown(const uint8_t* stored) const;
  // Closes the listed streams that match, storing the writing ones into the row buffer
  // when asked; all of them leave the list even when storing one fails.
  template <typename Match>
  void CloseStreams(Match match, bool store);

  TZDBLocalSession& connection_;
  // The locks an edit holds until its post or cancel.
  bool editLocked_ = false;
  TZDBTableLockKind editLockKind_ = TableLockEdit;
  TZDBTableLocksFile::RecordIDBytes lockedRow_{};
  std::unique_ptr<TZDBOpenTable> table_;
  std::vector<uint8_t> scratch_;
  std::vector<std::shared_ptr<TZDBLocalBLOBStream>> blobStreams_;
};

}  // namespace zdb
