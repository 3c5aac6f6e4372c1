// The local cursor's operations on the table itself: deleting, emptying and renaming it,
// renaming a field, adding and dropping indexes.
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBLocalCursor.h"
#include "engine/framework/TextCase.h"

namespace zdb {
namespace {

// The table data of the closed table for the operation, given back when no cursor has
// the table open any more.
template <typename Operation>
void OnTableData(TZDBDiskDatabaseData& database, std::string_view tableName, Operation operation) {
  TZDBDiskTableData& data = DiskTableDataOf(database, tableName);
  try {
    operation(data);
  } catch (...) {
    ReleaseDiskTableData(data);
    throw;
  }
  ReleaseDiskTableData(data);
}

}  // namespace

TZDBDiskDatabaseData& TZDBLocalCursor::ExistingTableDatabase(const TZDBError& noDatabaseCode, const TZDBError& missingTableCode) {
  TZDBDiskDatabaseData* database = connection_.DatabaseData();
  if (database == nullptr) RaiseError(noDatabaseCode, {TableName()});
  if (!database->TableExists(TableName())) RaiseError(missingTableCode, {TableName()});
  return *database;
}

void TZDBLocalCursor::DeleteTable() {
  CloseTable();
  TZDBDiskDatabaseData& database = ExistingTableDatabase(errors::DeleteNoDatabase, errors::DeleteMissingTable);
  OnTableData(database, TableName(), [&](TZDBDiskTableData& data) {
    // The fields' identities, read before they go with the table: the connection's last
    // values of their counters go with them.
    std::vector<int32_t> fieldIDs;
    if (!data.IsOpen()) {
      data.OpenTable(*this);
      for (int32_t i = 0; i < data.FieldManager()->FieldDefs().Count(); ++i)
        fieldIDs.push_back(data.FieldManager()->FieldDefs().Items(i).ObjectID());
      data.CloseTable(*this);
    }
    data.DeleteTable(*this, false);
    for (const int32_t fieldID : fieldIDs) connection_.ForgetSequenceValue(fieldID);
  });
}

void TZDBLocalCursor::ClearTable() {
  CloseTable();
  TZDBDiskDatabaseData& database = ExistingTableDatabase(errors::ClearNoDatabase, errors::ClearMissingTable);
  OnTableData(database, TableName(), [&](TZDBDiskTableData& data) { data.EmptyTable(*this); });
}

void TZDBLocalCursor::RenameTable(std::string_view newName) {
  CloseTable();
  TZDBDiskDatabaseData& database = ExistingTableDatabase(errors::RenameNoDatabase, errors::RenameMissingTable);
  if (data::SameText(newName, TableName()))
    RaiseError(errors::RenameIntoItself, {TableName()});
  if (database.TableExists(newName)) RaiseError(errors::RenameTaken, {newName});
  OnTableData(database, TableName(), [&](TZDBDiskTableData& data) { data.RenameTable(newName, *this); });
  SetTableName(newName);
}

void TZDBLocalCursor::RenameField(std::string_view oldName, std::string_view newName) {
  Data().RenameField(oldName, newName);
  // The copy follows the table's definitions (the table data keeps 255 characters too).
  InitFieldLayout();
}

void TZDBLocalCursor::AddIndex(const TZDBIndexDef& definition) {
  TZDBDiskTableData& data = Data();
  if (data.IndexManager()->FindIndexDefByName(definition.Name(), SessionID()) != nullptr)
    RaiseError(errors::IndexExists, {definition.Name()});
  data.AddIndex(definition, *this);
}

void TZDBLocalCursor::DeleteIndex(std::string_view indexName) {
  TZDBDiskTableData& data = Data();
  const TZDBIndexDef* definition = data.IndexManager()->FindIndexDefByName(indexName, SessionID());
  if (definition == nullptr)
    RaiseError(errors::IndexMissing, {indexName});
  data.DropIndex(definition->ObjectID(), *this);
  // The active index may be the one gone: the name is looked up again.
  SetIndexName(IndexName());
}

}  // namespace zdb
