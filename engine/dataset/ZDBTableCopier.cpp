#include "engine/dataset/ZDBTableCopier.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/dataset/ZDBComponentErrors.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBException.h"
#include "engine/table/ZDBBlobCache.h"
#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBTableAccess.h"

namespace zdb {
namespace {

constexpr int32_t InsertRefused = -1;

struct Connection {
  TZDBDiskDatabaseData& Data;
  TZDBLocalSession& Session;
};

Connection ConnectionOf(const TZDBDatabase& database) {
  TZDBDiskDatabaseData* data = database.DatabaseData();
  TZDBLocalSession* handle = database.Handle();
  if (data == nullptr || handle == nullptr) RaiseDatabaseError(ClosedDatabaseText);
  return {*data, *handle};
}

// What became of the rows: how many were copied, how many failed one by one, and the
// first failure's text (also of a walk that could not go on).
struct RowTally {
  int64_t Copied = 0;
  int64_t Failed = 0;
  std::string FirstFailure;

  void Note(const char* text) {
    if (FirstFailure.empty()) FirstFailure = text;
  }
};

// The table in the target file with the source's definitions. Temporary indexes belong
// to a cursor and are never stored; the others get new trees, built from the rows.
void CreateLike(TZDBDiskTableData& table, const Connection& target) {
  TZDBFieldDefs fields;
  fields.Assign(table.FieldManager()->FieldDefs());
  TZDBIndexDefs indexes;
  const TZDBIndexDefs& stored = table.IndexManager()->IndexDefs();
  for (int32_t i = 0; i < stored.Count(); ++i) {
    if (stored.Items(i).Temporary()) continue;
    auto index = std::make_unique<TZDBIndexDef>();
    index->Assign(stored.Items(i));
    index->SetRootPageNo(TZDBIndexDef::NoRootPageNo);
    indexes.Add(std::move(index));
  }
  TZDBConstraintDefs constraints;
  constraints.Assign(table.ConstraintManager()->ConstraintDefs());
  CreateDiskTable(target.Data, target.Session, table.TableName(), fields, indexes, constraints);
}

// The reader's row into the writer's buffer (both tables have one layout). A large
// value's reference names pages of the source file: the copy takes the value's stored
// bytes instead, to be stored anew when the row is inserted.
void CopyRowValues(TZDBDiskTableData& from, TZDBTableCursor& reader, TZDBDiskTableData& to, TZDBTableCursor& writer) {
  const uint8_t* in = reader.RecordBuffer();
  uint8_t* out = writer.MutableRecordBuffer();
  std::copy_n(in, from.RecordBufferSize(), out);
  const TZDBFieldDefs& fields = from.FieldManager()->FieldDefs();
  std::vector<uint8_t> bytes;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (!fields.Items(i).IsBlob()) continue;
    uint8_t* field = out + fields.Items(i).MemoryOffset();
    TZDBBlobReference::None().Save(field);
    SaveBlobHandle(field, TZDBBlobCache::NoHandle);
    if (IsFieldNull(in, i)) continue;
    TZDBBlobParams params;
    from.ReadBlob(reader, i, bytes, params);
    to.WriteBlob(out, i, bytes.data(), bytes.size(), params);
  }
}

// Inserts the writer's buffer as it is: no automatic values, no defaults, no constraint
// checks (the row was accepted once); the unique indexes still refuse a duplicate. A row
// that fails leaves nothing behind, so that the copy can go on without it.
void InsertCopiedRow(TZDBDiskTableData& to, TZDBTableCursor& writer) {
  try {
    if (!to.InsertRecord(writer)) RaiseError(InsertRefused, "Error adding record");
  } catch (...) {
    try {
      to.Rollback(writer.SessionID(), false);
      to.ReleaseRecordBlobs(writer.MutableRecordBuffer());
    } catch (...) {  // the row's own failure is the one to report
    }
    throw;
  }
}

// Every row the walk reaches, in physical order. A row that fails is counted and the walk
// goes on; a walk that cannot step on ends, and the rows it missed show in the count.
void CopyRows(TZDBDiskTableData& from, TZDBTableCursor& reader, TZDBDiskTableData& to, TZDBTableCursor& writer,
              RowTally& tally) {
  for (;;) {
    uint8_t result = grEOF;
    try {
      result = from.GetRecord(reader, grmNext);
    } catch (const std::exception& error) {
      tally.Note(error.what());
      return;
    }
    // Anything but a row ends the walk: a page that fails its check, a read lock that
    // could not be had. The rows left behind show in the count.
    if (result != grOK) return;
    try {
      CopyRowValues(from, reader, to, writer);
      InsertCopiedRow(to, writer);
      ++tally.Copied;
    } catch (const std::exception& error) {
      ++tally.Failed;
      tally.Note(error.what());
    }
  }
}

// The rows the source table says it has: its row count, or what its record-page index
// lists when that is more.
int64_t ListedRows(TZDBDiskTableData& table, int32_t session, RowTally& tally) {
  const std::lock_guard<os::CriticalSection> guard(table.Database().CriticalSection());
  int64_t rows = table.RecordManager()->RecordCount();
  try {
    rows = std::max(rows, table.DiskRecordManager()->PageIndex().TotalRows(session));
  } catch (const std::exception& error) {
    tally.Note(error.what());
  }
  return rows;
}

}  // namespace

void CopyTable(TZDBDatabase& source, TZDBDatabase& target, const std::string& tableName) {
  const Connection from = ConnectionOf(source);
  const Connection to = ConnectionOf(target);
  TZDBTableCursor reader(from.Session, tableName);
  TZDBOpenTable sourceTable(from.Data, reader);
  TZDBDiskTableData& sourceData = sourceTable.Data();
  const std::string storedName = sourceData.TableName();
  CreateLike(sourceData, to);

  RowTally tally;
  const int64_t listed = ListedRows(sourceData, reader.SessionID(), tally);
  {
    TZDBTableCursor writer(to.Session, storedName);
    TZDBOpenTable targetTable(to.Data, writer);
    CopyRows(sourceData, reader, targetTable.Data(), writer, tally);
    // The inserts kept the counters they found: the copy's become the source's.
    targetTable.Data().SetAutoincValues(writer, *sourceData.FieldManager());
    targetTable.Close();
  }
  sourceTable.Close();

  const int64_t rows = std::max(listed, tally.Copied + tally.Failed);
  if (tally.Copied == rows && tally.FirstFailure.empty()) return;
  std::string text = FormatMessage(RowsNotCopiedFormat, {rows - tally.Copied, rows});
  if (!tally.FirstFailure.empty()) text += ": " + tally.FirstFailure;
  RaiseDatabaseError(text);
}

}  // namespace zdb
