#include "engine/table/ZDBTableAccess.h"

#include <vector>

#include "engine/base/ZDBException.h"
#include "platform/os/System.h"

namespace zdb {

TZDBTableWriteLock::TZDBTableWriteLock(TZDBDiskTableData& table, const TZDBTableCursor& cursor, int32_t tries,
                                       uint32_t pauseMs)
    : table_(table),
      session_(cursor.SessionID()),
      kind_(cursor.InTransaction() ? TableLockTransaction : TableLockWrite) {
  if (!table_.MultiUser()) return;
  for (int32_t done = 1;; ++done) {
    if (table_.LockTable(session_, kind_, kind_ == TableLockTransaction, 0, 1)) break;
    if (done >= tries) RaiseError(errors::TableLocked);
    os::SleepMs(pauseMs);
  }
  // Inside a transaction the lock stays until the transaction ends.
  held_ = kind_ == TableLockWrite;
}

TZDBTableWriteLock::~TZDBTableWriteLock() {
  if (!held_) return;
  try {
    table_.UnlockTable(session_, kind_);
  } catch (...) {  // the lock goes with the connection at the latest
  }
}

TZDBOpenTable::TZDBOpenTable(TZDBDiskDatabaseData& database, TZDBTableCursor& cursor) : cursor_(cursor) {
  TZDBDiskTableData& data = DiskTableDataOf(database, cursor.TableName());
  try {
    data.OpenTable(cursor);
  } catch (...) {
    ReleaseDiskTableData(data);
    throw;
  }
  data_ = &data;
  cursor.AllocateRecordBuffer(data.RecordBufferSize());
  cursor.SetToBegin();
}

TZDBOpenTable::~TZDBOpenTable() {
  try {
    Close();
  } catch (...) {  // a destructor cannot report; the lock goes with the connection
  }
}

void TZDBOpenTable::Close() {
  if (data_ == nullptr) return;
  TZDBDiskTableData& data = *data_;
  data_ = nullptr;
  try {
    data.CloseTable(cursor_);
  } catch (...) {
    ReleaseDiskTableData(data);
    throw;
  }
  ReleaseDiskTableData(data);
}

void CreateDiskTable(TZDBDiskDatabaseData& database, TZDBBaseSession& session, std::string_view tableName,
                     const TZDBFieldDefs& fieldDefs, const TZDBIndexDefs& indexDefs,
                     const TZDBConstraintDefs& constraintDefs) {
  TZDBTableCursor cursor(session, tableName);
  TZDBDiskTableData& data = DiskTableDataOf(database, tableName);
  try {
    data.CreateTable(cursor, fieldDefs, constraintDefs, indexDefs);
  } catch (...) {
    ReleaseDiskTableData(data);
    throw;
  }
  ReleaseDiskTableData(data);
}

void RolledBackOnFailure(TZDBDiskTableData& table, TZDBTableCursor& cursor, const std::function<void()>& change) {
  try {
    change();
  } catch (...) {
    if (!cursor.InTransaction()) {
      try {
        table.Rollback(cursor.SessionID(), false);
      } catch (...) {  // the change's own error is the one to report
      }
    }
    throw;
  }
}

void PrepareInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const int32_t session = cursor.SessionID();
  table.ReloadMostUpdated(session);
  table.FieldManager()->AssignAutoincValues(cursor.Session(), cursor.MutableRecordBuffer());
  table.CheckConstraints(session, cursor.RecordBuffer(), true, true, cursor.RecordID(), true, nullptr);
}

void PrepareUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const int32_t session = cursor.SessionID();
  const uint8_t* keyBefore = cursor.OriginalRecordBuffer();
  std::vector<uint8_t> stored;
  if (keyBefore == nullptr) {
    stored.assign(static_cast<size_t>(table.RecordBufferSize()), 0);
    // A row that is gone has no key to keep; the store finds it gone.
    if (table.ReadRecord(session, cursor.RecordID(), stored.data())) keyBefore = stored.data();
  }
  table.CheckConstraints(session, cursor.RecordBuffer(), true, true, cursor.RecordID(), false, keyBefore);
}

void StoreInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  if (!table.InsertRecord(cursor)) RaiseError(errors::AddFailed);
}

void StoreUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  std::vector<uint8_t> stored(static_cast<size_t>(table.RecordBufferSize()), 0);
  if (!table.ReadRecord(cursor.SessionID(), cursor.RecordID(), stored.data()))
    RaiseError(errors::UpdateDeletedByOther);
  const uint8_t* original = cursor.OriginalRecordBuffer();
  if (original != nullptr && !table.FieldManager()->RecordBuffersEqual(original, stored.data()))
    RaiseError(errors::UpdateModifiedByOther);
  if (!table.UpdateRecord(cursor)) RaiseError(errors::UpdateFailed);
}

void StoreDelete(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  if (!table.DeleteRecord(cursor)) RaiseError(errors::DeleteFailed);
}

void PostInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const TZDBTableWriteLock lock(table, cursor);
  RolledBackOnFailure(table, cursor, [&] {
    PrepareInsert(table, cursor);
    StoreInsert(table, cursor);
  });
}

void PostUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const TZDBTableWriteLock lock(table, cursor);
  RolledBackOnFailure(table, cursor, [&] {
    PrepareUpdate(table, cursor);
    StoreUpdate(table, cursor);
  });
}

void PostDelete(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const TZDBTableWriteLock lock(table, cursor, TZDBTableWriteLock::DeleteTries, TZDBTableWriteLock::DeletePauseMs);
  RolledBackOnFailure(table, cursor, [&] { StoreDelete(table, cursor); });
}

}  // namespace zdb
