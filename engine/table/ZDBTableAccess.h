// The plainest client of the disk table data: a table opened for a cursor for the
// lifetime of an object, and rows posted the way the editing cycle posts them. The zdb
// tool and the tests work through it; the dataset layer runs its own cycle with its
// result codes, built from the same steps.
//
// Posting, for a session outside a transaction (inside one the changes wait for its
// commit and its rollback): in multi-user mode the table's write lock first (2250
// single tries 40 ms apart for a post, 900 tries 100 ms apart for a delete; "Table is
// locked" -13 otherwise), then
//   insert: counters reloaded from the file, automatic values, constraints, the insert;
//   update: constraints, then the stored row re-read and compared with the row the edit
//           began from (-6 gone, -4 changed by another process), the update;
//   delete: the row removed.
// A refused change raises -1 "Error adding record", -2 "Error updating record" or -3
// "Error deleting record". Any failure rolls the session's page changes back (so the
// table is exactly as before), and the write lock is always released.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBTableCursor.h"

namespace zdb {

// The table open for the cursor from construction to destruction (or Close); the cursor
// gets a row buffer of the table's size and stands before the first row.
class TZDBOpenTable {
 public:
  TZDBOpenTable(TZDBDiskDatabaseData& database, TZDBTableCursor& cursor);
  ~TZDBOpenTable();
  TZDBOpenTable(const TZDBOpenTable&) = delete;
  TZDBOpenTable& operator=(const TZDBOpenTable&) = delete;

  TZDBDiskTableData& Data() const { return *data_; }
  TZDBTableCursor& Cursor() const { return cursor_; }
  // Closes now, reporting a failure to release the open lock.
  void Close();

 private:
  TZDBTableCursor& cursor_;
  TZDBDiskTableData* data_ = nullptr;
};

// The table's write lock for the cursor's session in multi-user mode (nothing in
// single-user mode): kind 4, or kind 3 inside a transaction (which keeps it until the
// transaction ends). Single tries with pauses between them, the table data's lock left
// meanwhile; after the last one -13 "Table is locked".
class TZDBTableWriteLock {
 public:
  static constexpr int32_t PostTries = 2250;
  static constexpr uint32_t PostPauseMs = 40;
  static constexpr int32_t DeleteTries = 900;
  static constexpr uint32_t DeletePauseMs = 100;

  TZDBTableWriteLock(TZDBDiskTableData& table, const TZDBTableCursor& cursor, int32_t tries = PostTries,
                     uint32_t pauseMs = PostPauseMs);
  ~TZDBTableWriteLock();
  TZDBTableWriteLock(const TZDBTableWriteLock&) = delete;
  TZDBTableWriteLock& operator=(const TZDBTableWriteLock&) = delete;

 private:
  TZDBDiskTableData& table_;
  int32_t session_;
  TZDBTableLockKind kind_;
  bool held_ = false;
};

// Creates a table of the database for the session (an existing table of that name:
// 30395).
void CreateDiskTable(TZDBDiskDatabaseData& database, TZDBBaseSession& session, std::string_view tableName,
                     const TZDBFieldDefs& fieldDefs, const TZDBIndexDefs& indexDefs,
                     const TZDBConstraintDefs& constraintDefs);

// The cursor's row buffer as a new row; the cursor stands on it afterwards.
void PostInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor);
// The cursor's row buffer replaces the row at the cursor's position; the cursor's
// original buffer, when set, is the row the edit began from.
void PostUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor);
// Removes the row at the cursor's position.
void PostDelete(TZDBDiskTableData& table, TZDBTableCursor& cursor);

// --- the steps of a post, for callers that run the cycle themselves (under the write lock)
// Before an insert: the counters as the file holds them, the automatic values, the
// constraints. Before an update: the constraints (a key left as it was is no duplicate of
// the row itself: the key before is that of the original buffer, else of the stored row).
// They change no page.
void PrepareInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor);
void PrepareUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor);
// The insert (-1); the re-read, the comparison with the original buffer when set and the
// update (-6, -4, -2); the delete (-3).
void StoreInsert(TZDBDiskTableData& table, TZDBTableCursor& cursor);
void StoreUpdate(TZDBDiskTableData& table, TZDBTableCursor& cursor);
void StoreDelete(TZDBDiskTableData& table, TZDBTableCursor& cursor);
// Runs the change; when it fails, outside a transaction the session's uncommitted changes
// go, and the failure passes on.
void RolledBackOnFailure(TZDBDiskTableData& table, TZDBTableCursor& cursor, const std::function<void()>& change);

}  // namespace zdb
