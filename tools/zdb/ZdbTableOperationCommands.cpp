// empty, drop-table, rename-table, add-index, drop-index, rename-field: a table changed as
// a whole through the table component.
#include "tools/zdb/ZdbTableOperationCommands.h"

#include <iostream>

#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbTableCommandLine.h"
#include "tools/zdb/ZdbTableCommands.h"
#include "zdb/Table.h"
#include "zdb/Values.h"

namespace zdbtool {
namespace {

constexpr char ComponentFieldSeparator = ';';

// The table component of the connection's database for the table.
class TZdbTableComponent {
 public:
  TZdbTableComponent(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName)
      : connection_(fileName, password) {
    table_.SetDatabaseName(TZdbConnection::DatabaseName);
    table_.SetTableName(zdb::Utf8ToAnsi(tableName));
  }
  zdb::TZDBTable& Table() { return table_; }

 private:
  TZdbConnection connection_;
  zdb::TZDBTable table_;
};

}  // namespace

void EmptyTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                       std::ostream& out) {
  TZdbTableComponent component(fileName, password, tableName);
  component.Table().EmptyTable();
  out << "emptied table " << tableName << '\n';
}

void DropTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                      std::ostream& out) {
  TZdbTableComponent component(fileName, password, tableName);
  component.Table().DeleteTable();
  out << "dropped table " << tableName << '\n';
}

void RenameTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                        const std::string& newName, std::ostream& out) {
  TZdbTableComponent component(fileName, password, tableName);
  component.Table().RenameTable(zdb::Utf8ToAnsi(newName));
  out << "renamed table " << tableName << " to " << newName << '\n';
}

void AddIndexCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                     const TZdbIndexSpec& index, std::ostream& out) {
  std::string fields;
  for (const std::string& field : index.Fields)
    fields += (fields.empty() ? "" : std::string(1, ComponentFieldSeparator)) + zdb::Utf8ToAnsi(field);
  zdb::TZDBIndexOptions options;
  options.Primary = index.Primary;
  options.Unique = index.Unique;
  options.Descending = index.Descending;
  TZdbTableComponent component(fileName, password, tableName);
  component.Table().AddIndex(zdb::Utf8ToAnsi(index.Name), fields, options);
  out << "added index " << index.Name << '\n';
}

void DropIndexCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                      const std::string& indexName, std::ostream& out) {
  TZdbTableComponent component(fileName, password, tableName);
  component.Table().DeleteIndex(zdb::Utf8ToAnsi(indexName));
  out << "dropped index " << indexName << '\n';
}

void RenameFieldCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                        const std::string& oldName, const std::string& newName, std::ostream& out) {
  TZdbTableComponent component(fileName, password, tableName);
  component.Table().RenameField(zdb::Utf8ToAnsi(oldName), zdb::Utf8ToAnsi(newName));
  out << "renamed field " << oldName << " to " << newName << '\n';
}

void TZdbTableOperationCommandLine::Add(CLI::App& app, std::string& fileName, std::string& password) {
  empty_ = AddTableSubcommand(app, "empty", "Remove every row of a table", fileName, tableName_, password);
  dropTable_ = AddTableSubcommand(app, "drop-table", "Delete a table", fileName, tableName_, password);
  renameTable_ = AddTableSubcommand(app, "rename-table", "Give a table a new name", fileName, tableName_, password);
  renameTable_->add_option("NEW", newName_, "The table's new name")->required()->check(NonEmptyName);
  addIndex_ = AddTableSubcommand(app, "add-index", "Add an index to a table", fileName, tableName_, password);
  addIndex_->add_option("INDEX", indexSpec_, "NAME:FIELD[,FIELD...][:unique|:primary][:desc]")
      ->required()
      ->check(IndexSpecText);
  dropIndex_ = AddTableSubcommand(app, "drop-index", "Remove an index of a table", fileName, tableName_, password);
  dropIndex_->add_option("INDEX", indexName_, "Index name")->required()->check(NonEmptyName);
  renameField_ = AddTableSubcommand(app, "rename-field", "Give a field a new name", fileName, tableName_, password);
  renameField_->add_option("OLD", oldName_, "The field's name")->required()->check(NonEmptyName);
  renameField_->add_option("NEW", newName_, "The field's new name")->required()->check(NonEmptyName);
}

bool TZdbTableOperationCommandLine::Run(const std::string& fileName, const zdb::TZDBPassword& password) {
  if (empty_->parsed()) {
    EmptyTableCommand(fileName, password, tableName_, std::cout);
  } else if (dropTable_->parsed()) {
    DropTableCommand(fileName, password, tableName_, std::cout);
  } else if (renameTable_->parsed()) {
    RenameTableCommand(fileName, password, tableName_, newName_, std::cout);
  } else if (addIndex_->parsed()) {
    TZdbIndexSpec index;
    ParseIndexSpec(indexSpec_, index);
    AddIndexCommand(fileName, password, tableName_, index, std::cout);
  } else if (dropIndex_->parsed()) {
    DropIndexCommand(fileName, password, tableName_, indexName_, std::cout);
  } else if (renameField_->parsed()) {
    RenameFieldCommand(fileName, password, tableName_, oldName_, newName_, std::cout);
  } else {
    return false;
  }
  return true;
}

}  // namespace zdbtool
