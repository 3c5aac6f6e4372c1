#include "engine/table/ZDBTableAccess.h"

#include "engine/file/ZDBException.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

constexpr int32_t InsertRefused = -1;
constexpr int32_t UpdateRefused = -2;
constexpr int32_t DeleteRefused = -3;
constexpr int32_t RowChanged = -4;
constexpr int32_t RowGone = -6;
constexpr int32_t TableLocked = -13;

// The write lock of a post: single tries, the database data's lock left while sleeping.
constexpr int32_t WriteLockTries = 2250;
constexpr uint32_t WriteLockPauseMs = 40;

// Runs a change; on failure the session's uncommitted changes go, outside a transaction.
template <typename Change>
void Posted(TZDBDiskTableData& table, TZDBTableCursor& cursor, Change change) {
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

}  // namespace

TZDBTableWriteLock::TZDBTableWriteLock(TZDBDiskTableData& table, const TZDBTableCursor& cursor)
    : table_(table),
      session_(cursor.SessionID()),
      kind_(cursor.InTransaction() ? TableLockTransaction : TableLockWrite) {
  if (!table_.MultiUser()) return;
  for (int32_t tries = 1;; ++tries) {
    if (table_.LockTable(session_, kind_, kind_ == TableLockTransaction, 0, 1)) break;
    if (tries >= WriteLockTries) RaiseError(TableLocked, "Table is locked");
    os::SleepMs(WriteLockPauseMs);
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

void PostInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const TZDBTableWriteLock lock(table, cursor);
  Posted(table, cursor, [&] {
    const int32_t session = cursor.SessionID();
    table.ReloadMostUpdated(session);
    table.FieldManager()->AssignAutoincValues(cursor.Session(), cursor.MutableRecordBuffer());
    table.CheckConstraints(session, cursor.RecordBuffer(), true, true, cursor.RecordID(), true, nullptr);
    if (!table.InsertRecord(cursor)) RaiseError(InsertRefused, "Error adding record");
  });
}

void PostUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const TZDBTableWriteLock lock(table, cursor);
  Posted(table, cursor, [&] {
    const int32_t session = cursor.SessionID();
    std::vector<uint8_t> stored(static_cast<size_t>(table.RecordBufferSize()), 0);
    if (!table.ReadRecord(session, cursor.RecordID(), stored.data()))
      RaiseError(RowGone, "Error updating record - record was deleted by other process");
    const uint8_t* original = cursor.OriginalRecordBuffer();
    if (original != nullptr && !table.FieldManager()->RecordBuffersEqual(original, stored.data()))
      RaiseError(RowChanged, "Error updating record - record was modified by other process");
    table.CheckConstraints(session, cursor.RecordBuffer(), true, true, cursor.RecordID(), false, stored.data());
    if (!table.UpdateRecord(cursor)) RaiseError(UpdateRefused, "Error updating record");
  });
}

void PostDelete(TZDBDiskTableData& table, TZDBTableCursor& cursor) {
  const TZDBTableWriteLock lock(table, cursor);
  Posted(table, cursor, [&] {
    if (!table.DeleteRecord(cursor)) RaiseError(DeleteRefused, "Error deleting record");
  });
}

}  // namespace zdb
