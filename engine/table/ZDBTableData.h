// TZDBTableData: one open table of one database in a process, shared by every cursor
// that has the table open. It owns the table's managers (fields, constraints, indexes,
// records) and performs every row operation for a cursor: reading in physical or index
// order, searching, counting and positioning, inserting, updating and deleting while
// keeping indexes, constraints, counters and record bitmaps in step.
//
// This class holds what every kind of table shares; TZDBDiskTableData (the tables of a
// database file) adds creation, opening and closing, the row changes and the multi-user
// locking. Contract: every operation runs under the database data's lock (a re-entrant
// critical section) and releases it on every path. A failure inside an operation leaves
// the session's uncommitted page changes for the caller to roll back; a failed row
// insert answers false without raising.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBDatabaseData.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBNavigationRequest.h"
#include "engine/table/ZDBBaseRecordManager.h"
#include "engine/table/ZDBConstraintManager.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexManager.h"
#include "engine/table/ZDBSearchCondition.h"
#include "engine/table/ZDBTableCursor.h"

namespace zdb {

// The field manager of an open table: the base one, able to rename a field in place.
class TZDBTableFieldManager final : public TZDBBaseFieldManager {
 public:
  void RenameField(std::string_view oldName, std::string_view newName);
};

class TZDBTableData : public TZDBBaseTableData, public TZDBIndexManagerOwner {
 public:
  TZDBTableData(TZDBDatabaseData& database, std::string_view tableName);
  ~TZDBTableData() override;

  // --- what the database data and the indexes see ---------------------------------------
  const std::string& TableName() const override { return tableName_; }
  // The index manager refreshes the temporary indexes of every cursor of the session.
  void AfterRollback(int32_t session) override;
  int32_t RecordBufferSize() const override;
  // The row by its RecordID (mode current of the record manager); false when gone.
  bool ReadRecord(int32_t session, const TZDBRecordID& recordID, uint8_t* recordBuffer) override;
  void ForEachRecord(int32_t session, const RowVisitor& visit) override;
  const TZDBBaseFieldManager* IndexedFieldManager() const override { return fieldManager_.get(); }
  int32_t IndexedTableChangeCount() const override;
  int32_t NextIndexObjectID() override { return database_.GetNextObjectID(); }

  // --- virtual operations, in slot order --------------------------------------------------
  virtual void CreateRecordManager() = 0;
  // Fresh ObjectIDs, then the list is copied into the field manager (offsets and
  // counters reset). 10424 for a name given twice.
  virtual void SetFieldDefs(const TZDBFieldDefs& fieldDefs);
  // Fresh ObjectIDs, then the list goes to the index manager.
  virtual void SetIndexDefs(const TZDBIndexDefs& indexDefs);
  // Types 1 and 5 up: UnimplementedConstraintCode() "Not implemented yet"; then fresh
  // ObjectIDs, the table's name, generated names and resolved references.
  virtual void SetConstraintDefs(const TZDBConstraintDefs& constraintDefs);
  // The record buffer size and the offset of the first field (0 without fields).
  void GetRecordBufferInfo(int32_t& recordBufferSize, int32_t& firstFieldOffset) const;
  // Outside a transaction the session's page changes are applied / discarded.
  virtual void Commit(int32_t session, bool inTransaction);
  virtual void Rollback(int32_t session, bool inTransaction);
  virtual void CreateTable(TZDBTableCursor& cursor, const TZDBFieldDefs& fieldDefs,
                           const TZDBConstraintDefs& constraintDefs, const TZDBIndexDefs& indexDefs) = 0;
  // 20017 "Cannot delete table '%s'. Table is open by another dataset" while a cursor has
  // the table open (unless skipped).
  virtual void DeleteTable(TZDBTableCursor& cursor, bool skipCheck);
  // Counters reset and every index emptied.
  virtual void EmptyTable(TZDBTableCursor& cursor);
  // 10150 "Cannot rename table '%s'. Table is open by another dataset" while a cursor has
  // the table open; else the table takes the name.
  virtual void RenameTable(std::string_view newName, TZDBTableCursor& cursor);
  virtual void OpenTable(TZDBTableCursor& cursor);
  virtual void CloseTable(TZDBTableCursor& cursor);
  // 30343 "Field '%s' not found", 30344 "Cannot rename field '%s'. Field '%s' already
  // exists"; index columns and constraint references follow the new name.
  virtual void RenameField(std::string_view oldName, std::string_view newName);
  // The index manager builds the index; a stored primary or unique index also gets its
  // constraint unless the cursor skips constraints. Answers the index's ObjectID.
  virtual int32_t AddIndex(const TZDBIndexDef& definition, TZDBTableCursor& cursor);
  // A stored index loses its primary-key or unique constraint; then it is dropped.
  // 20018 "Index not found".
  virtual void DropIndex(int32_t indexID, TZDBTableCursor& cursor);
  virtual int64_t GetMaxRecordNumber(int32_t session) = 0;
  virtual int64_t RecordIDToNumber(const TZDBRecordID& recordID) const = 0;
  virtual TZDBRecordID NumberToRecordID(int64_t number) const = 0;
  // Reads in the cursor's order (filter and range honoured) into its row buffer; the
  // result is a TZDBGetResult. An empty table gives grEOF for every mode.
  virtual uint8_t GetRecord(TZDBTableCursor& cursor, uint8_t getMode);
  // The first row from the start, in the cursor's order, that meets the condition and
  // the cursor's filter: the cursor stands on it and its row is read. False: the cursor
  // stays where it was.
  virtual bool Locate(TZDBTableCursor& cursor, std::shared_ptr<const TZDBRowExpression> condition);
  // The first row from the start, in the active index's order, whose first KeyFieldCount
  // columns compare with the cursor's key as the operator asks (and that passes the
  // filter): the cursor stands on it. 20258 without an active index.
  virtual bool FindKey(TZDBTableCursor& cursor, TZDBSearchOperator comparisonType);
  virtual bool InsertRecord(TZDBTableCursor& cursor) = 0;
  virtual bool DeleteRecord(TZDBTableCursor& cursor) = 0;
  virtual bool UpdateRecord(TZDBTableCursor& cursor) = 0;
  // Moves to the n-th row (from 1) of the cursor's order; beyond the count to the last
  // row; nothing on an empty table.
  virtual void SetRecNo(TZDBTableCursor& cursor, int64_t recNo);
  // The cursor's row's number in its order, from 1; -1 at a crack or on an empty table.
  virtual int64_t GetRecNo(TZDBTableCursor& cursor);
  virtual void SetRecNoPhysical(TZDBTableCursor& cursor, int64_t recNo) = 0;
  virtual int64_t GetRecNoPhysical(TZDBTableCursor& cursor) = 0;
  virtual int64_t GetRecordCount(TZDBTableCursor& cursor) = 0;
  virtual int64_t GetLastAutoincValue(const TZDBBaseSession& session, int32_t fieldNo);

  // --- constraints ------------------------------------------------------------------------
  // The table's constraints on the row; see ZDBConstraintManager.h.
  bool CheckConstraints(int32_t session, const uint8_t* recordBuffer, bool checkUniqueness, bool raiseErrors,
                        const TZDBRecordID& recordID, bool isInsert, const uint8_t* oldRecordBuffer);

  // --- the filter of a cursor -------------------------------------------------------------
  // Whether the row passes the cursor's range, filters and callback.
  bool PassesFilter(TZDBTableCursor& cursor, const uint8_t* recordBuffer);

  // --- state ------------------------------------------------------------------------------
  TZDBDatabaseData& Database() const { return database_; }
  TZDBPageManager& PageManager() const;
  bool IsOpen() const { return recordManager_ != nullptr; }
  size_t CursorCount() const { return cursors_.size(); }
  bool HasCursor(const TZDBTableCursor& cursor) const;
  TZDBTableFieldManager* FieldManager() const { return fieldManager_.get(); }
  TZDBBaseConstraintManager* ConstraintManager() const { return constraintManager_.get(); }
  TZDBBaseIndexManager* IndexManager() const { return indexManager_.get(); }
  TZDBBaseRecordManager* RecordManager() const { return recordManager_.get(); }

 protected:
  using Guard = std::lock_guard<os::CriticalSection>;
  Guard Lock() const { return Guard(database_.CriticalSection()); }

  // The code SetConstraintDefs raises for a constraint type the engine lacks.
  virtual const TZDBError& UnimplementedConstraintCode() const;
  // The rows the cursor sees: the bitmap's count for a filtered cursor (rebuilt when
  // stale), else the record manager's.
  int64_t CountRecords(TZDBTableCursor& cursor);
  // Physical record numbers without locking.
  virtual TZDBRecordID PhysicalRecordIDAt(int32_t session, int64_t recNo) = 0;
  virtual int64_t PhysicalRecNoOf(int32_t session, const TZDBRecordID& recordID) = 0;
  // Brings a filtered cursor's record bitmap up to date.
  void RefreshBitmap(TZDBTableCursor& cursor);
  // The index manager's refresh of the temporary indexes for the cursor; true when one
  // was rebuilt.
  bool RefreshIndexState(const TZDBIndexCursor& cursor);

  void AddCursor(TZDBTableCursor& cursor) { cursors_.push_back(&cursor); }
  void RemoveCursor(const TZDBTableCursor& cursor);
  const std::vector<TZDBTableCursor*>& Cursors() const { return cursors_; }

  TZDBDatabaseData& database_;
  std::string tableName_;
  std::unique_ptr<TZDBTableFieldManager> fieldManager_;
  std::unique_ptr<TZDBBaseConstraintManager> constraintManager_;
  std::unique_ptr<TZDBBaseIndexManager> indexManager_;
  std::unique_ptr<TZDBBaseRecordManager> recordManager_;
  std::vector<TZDBTableCursor*> cursors_;

 private:
  // Reads the row at the cursor's (new) position into its buffer.
  uint8_t ReadCurrentInto(TZDBTableCursor& cursor);
};

}  // namespace zdb
