#include "engine/dataset/ZDBTableCopier.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBComponentErrors.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBTableAccess.h"
#include "engine/table/ZDBTableSalvage.h"

namespace zdb {
namespace {

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

// The table in the target file with the source's definitions. Temporary indexes belong
// to a cursor and are never stored; the others get new trees, built from the rows.
void CreateLike(const TZDBTableSalvage& table, const Connection& target) {
  TZDBFieldDefs fields;
  fields.Assign(table.Fields().FieldDefs());
  TZDBIndexDefs indexes;
  const TZDBIndexDefs& stored = table.Indexes();
  for (int32_t i = 0; i < stored.Count(); ++i) {
    if (stored.Items(i).Temporary()) continue;
    auto index = std::make_unique<TZDBIndexDef>();
    index->Assign(stored.Items(i));
    index->SetRootPageNo(TZDBIndexDef::NoRootPageNo);
    indexes.Add(std::move(index));
  }
  TZDBConstraintDefs constraints;
  constraints.Assign(table.Constraints());
  CreateDiskTable(target.Data, target.Session, table.TableName(), fields, indexes, constraints);
}

// Inserts the writer's buffer as it is: no automatic values, no defaults. A row read from
// a damaged file must still meet the table's constraints (a unique key that repeats keeps
// its first row). A row that fails leaves nothing behind, so that the copy can go on
// without it.
void InsertCopiedRow(TZDBDiskTableData& to, TZDBTableCursor& writer) {
  try {
    to.CheckConstraints(writer.SessionID(), writer.RecordBuffer(), true, true, writer.RecordID(), true, nullptr);
    if (!to.InsertRecord(writer)) RaiseError(errors::AddFailed);
  } catch (...) {
    try {
      to.Rollback(writer.SessionID(), false);
      to.ReleaseRecordBlobs(writer.MutableRecordBuffer());
    } catch (...) {  // the row's own failure is the one to report
    }
    throw;
  }
}

}  // namespace

TZDBTableRepairReport CopyTable(TZDBDiskPageManager& source, const TZDBTableListEntry& table, TZDBDatabase& target) {
  const Connection to = ConnectionOf(target);
  TZDBTableRepairReport report;
  report.TableName = table.Name;
  TZDBTableSalvage salvage(source, table);
  CreateLike(salvage, to);

  // The counters go on from the highest value a copied row holds.
  TZDBBaseFieldManager counters;
  counters.SetFieldDefs(salvage.Fields().FieldDefs());
  counters.SetAutoincValues(salvage.Fields().AutoincValues());

  TZDBTableCursor writer(to.Session, table.Name);
  TZDBOpenTable targetTable(to.Data, writer);
  TZDBDiskTableData& copy = targetTable.Data();
  const size_t rowSize = static_cast<size_t>(copy.RecordBufferSize());
  int64_t refused = 0;
  std::string firstRefusal;
  TZDBSalvageCounts counts = salvage.ReadRows(
      [&](uint8_t* row, const std::vector<TZDBSalvagedValue>& values) {
        uint8_t* out = writer.MutableRecordBuffer();
        std::copy_n(row, rowSize, out);
        try {
          for (const TZDBSalvagedValue& value : values)
            copy.WriteBlob(out, value.FieldNo, value.Bytes.data(), value.Bytes.size(), value.Params);
          InsertCopiedRow(copy, writer);
        } catch (const std::exception& error) {
          ++refused;
          if (firstRefusal.empty()) firstRefusal = error.what();
          return;
        }
        counters.RaiseAutoincValues(row);
        ++report.RowsCopied;
      });
  copy.SetAutoincValues(writer, counters);
  targetTable.Close();

  report.RowsUnreadable = counts.RowsUnreadable + refused;
  report.ValuesUnreadable = counts.ValuesUnreadable;
  report.Problem = counts.FirstProblem.empty() ? firstRefusal : counts.FirstProblem;
  return report;
}

}  // namespace zdb
