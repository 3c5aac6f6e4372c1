#include "tools/zdb/ZdbTableCommandLine.h"

#include <iostream>

#include "tools/zdb/ZdbTableCommands.h"

namespace zdbtool {
namespace {

const CLI::Validator FieldSpecText(
    [](std::string& text) {
      TZdbFieldSpec spec;
      return ParseFieldSpec(text, spec);
    },
    "NAME:TYPE[:SIZE|:ALGORITHM[:LEVEL]]");

}  // namespace

const CLI::Validator IndexSpecText(
    [](std::string& text) {
      TZdbIndexSpec spec;
      return ParseIndexSpec(text, spec);
    },
    "NAME:FIELD[,FIELD...][:unique|:primary][:desc]");

const CLI::Validator NonEmptyName(
    [](std::string& text) { return text.empty() ? std::string("a name must not be empty") : std::string(); }, "NAME");

CLI::App* AddTableSubcommand(CLI::App& app, const char* name, const char* description, std::string& fileName,
                             std::string& tableName, std::string& password) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("FILE", fileName, "Database file")->required();
  command->add_option("TABLE", tableName, "Table name")->required()->check(NonEmptyName);
  command->add_option("--password", password, "Password of an encrypted file");
  return command;
}

void TZdbTableCommandLine::Add(CLI::App& app, std::string& fileName, std::string& password) {
  createTable_ = AddTableSubcommand(app, "create-table", "Create a table", fileName, tableName_, password);
  createTable_
      ->add_option("--field", fieldSpecs_,
                   "A field, in table order: NAME:TYPE[:SIZE] (TYPE a type name such as INTEGER, FLOAT, STRING); "
                   "a BLOB, MEMO or WIDEMEMO field NAME:TYPE[:ALGORITHM[:LEVEL]] (none, zlib, bzip2, ppm; 1..9)")
      ->required()
      ->check(FieldSpecText);
  createTable_->add_option("--index", indexSpecs_, "An index: NAME:FIELD[,FIELD...][:unique|:primary][:desc]")
      ->check(IndexSpecText);
  createTable_->add_option("--not-null", notNullFields_, "A field that must have a value")->check(NonEmptyName);

  schema_ = AddTableSubcommand(app, "schema", "Show a table's fields, indexes and constraints", fileName, tableName_,
                               password);

  load_ = AddTableSubcommand(app, "load",
                             "Add the rows of a CSV file whose first line names the fields, all in one transaction: "
                             "a line that cannot be stored, Ctrl-C or SIGTERM leaves the table as it was",
                             fileName, tableName_, password);
  load_->add_option("CSV", csvFileName_, "CSV file (RFC 4180, UTF-8); - reads standard input")->required();
  load_
      ->add_option("--batch", batchRows_,
                   "Commit every N rows (for very large files): a load that stops keeps the batches "
                   "committed before it, and says how many rows they hold")
      ->check(CLI::PositiveNumber);

  dump_ = AddTableSubcommand(app, "dump", "Write the rows as CSV, with a header line", fileName, tableName_, password);
  dump_->add_option("--index", indexName_, "Rows in this index's order (physical order without it)");
}

bool TZdbTableCommandLine::Run(const std::string& fileName, const zdb::TZDBPassword& password) {
  if (createTable_->parsed()) {
    std::vector<TZdbFieldSpec> fields(fieldSpecs_.size());
    for (size_t i = 0; i < fields.size(); ++i) ParseFieldSpec(fieldSpecs_[i], fields[i]);
    std::vector<TZdbIndexSpec> indexes(indexSpecs_.size());
    for (size_t i = 0; i < indexes.size(); ++i) ParseIndexSpec(indexSpecs_[i], indexes[i]);
    CreateTableCommand(fileName, password, tableName_, fields, indexes, notNullFields_);
  } else if (schema_->parsed()) {
    SchemaCommand(fileName, password, tableName_, std::cout);
  } else if (load_->parsed()) {
    LoadCommand(fileName, password, tableName_, csvFileName_, batchRows_, std::cout);
  } else if (dump_->parsed()) {
    DumpCommand(fileName, password, tableName_, indexName_, std::cout);
  } else {
    return false;
  }
  return true;
}

}  // namespace zdbtool
