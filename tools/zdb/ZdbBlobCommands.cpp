// get-blob and set-blob: one large value of one row, to stdout and from stdin.
#include "tools/zdb/ZdbBlobCommands.h"

#include <algorithm>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbTableCommandLine.h"
#include "zdb/TableRows.h"
#include "zdb/Values.h"

namespace zdbtool {
namespace {

// KEY=VALUE of --where.
struct TZdbRowKey {
  std::string Field;
  std::string Value;
};

std::string ParseRowKey(const std::string& text, TZdbRowKey& key) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return "'" + text + "' is not KEY=VALUE";
  key.Field = text.substr(0, equals);
  key.Value = text.substr(equals + 1);
  return {};
}

const CLI::Validator RowKeyText(
    [](std::string& text) {
      TZdbRowKey key;
      return ParseRowKey(text, key);
    },
    "KEY=VALUE");

int32_t FieldNumber(const zdb::TZDBTableRows& table, const std::string& name, const std::string& tableName) {
  const int32_t fieldNo = table.FieldNumber(zdb::Utf8ToAnsi(name));
  if (fieldNo < 0) throw std::runtime_error("'" + name + "' is not a field of table '" + tableName + "'");
  return fieldNo;
}

// The table open for the command, standing on the one row the key names.
class TZdbBlobRow {
 public:
  TZdbBlobRow(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
              const std::string& fieldName, const std::string& where)
      : connection_(fileName, password), table_(connection_.Database(), zdb::Utf8ToAnsi(tableName)) {
    const std::vector<zdb::TZDBFieldDefinition> fields = table_.Definitions().Fields;
    fieldNo_ = FieldNumber(table_, fieldName, tableName);
    if (!table_.IsLargeValue(fieldNo_))
      throw std::runtime_error("Field '" + fieldName + "' of table '" + tableName + "' (" +
                               zdb::LogicalTypeName(fields[static_cast<size_t>(fieldNo_)].Type) +
                               ") is not a BLOB, MEMO or WIDEMEMO field");
    TZdbRowKey key;
    const std::string keyError = ParseRowKey(where, key);
    if (!keyError.empty()) throw std::runtime_error(keyError);
    const int32_t keyNo = FieldNumber(table_, key.Field, tableName);
    if (!table_.HasTextForm(keyNo))
      throw std::runtime_error("Field '" + key.Field + "' of type " +
                               zdb::LogicalTypeName(fields[static_cast<size_t>(keyNo)].Type) + " cannot name a row");
    // The value as the field writes it, so that "2024" finds 2024 whatever its spelling.
    const std::string wanted = table_.CanonicalText(keyNo, key.Value);

    int64_t matches = 0;
    table_.ToBegin();
    zdb::TZDBRowRead result = zdb::TZDBRowRead::Row;
    while ((result = table_.Next()) == zdb::TZDBRowRead::Row) {
      if (table_.FieldText(keyNo) != wanted) continue;
      ++matches;
      table_.MarkRow();
    }
    if (result != zdb::TZDBRowRead::End)
      throw std::runtime_error("Table '" + tableName + "' could not be read to its end: it is locked or damaged");
    if (matches == 0) throw std::runtime_error("No row of table '" + tableName + "' has " + where);
    if (matches > 1)
      throw std::runtime_error(std::to_string(matches) + " rows of table '" + tableName + "' have " + where +
                               "; name one row");
    if (!table_.ReturnToMarkedRow())
      throw std::runtime_error("The row of table '" + tableName + "' with " + where + " could not be read again");
  }

  zdb::TZDBTableRows& Table() { return table_; }
  int32_t FieldNo() const { return fieldNo_; }

 private:
  TZdbConnection connection_;
  zdb::TZDBTableRows table_;
  int32_t fieldNo_ = -1;
};

}  // namespace

void GetBlobCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                    const std::string& fieldName, const std::string& where, std::ostream& out) {
  TZdbBlobRow row(fileName, password, tableName, fieldName, where);
  const bool whole =
      row.Table().ReadLargeValue(row.FieldNo(), [&out](const char* data, int64_t size) { out.write(data, size); });
  if (!whole) throw std::runtime_error("The value of field '" + fieldName + "' could not be read whole");
  row.Table().Close();
  out.flush();
  if (!out) throw std::runtime_error("The value could not be written out");
}

void SetBlobCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                    const std::string& fieldName, const std::string& where, std::istream& in, std::ostream& report) {
  // The whole input first: a read that fails changes nothing.
  const std::vector<char> value((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("The new value could not be read");
  TZdbBlobRow row(fileName, password, tableName, fieldName, where);
  if (!row.Table().StoreLargeValue(row.FieldNo(), value))
    throw std::runtime_error("The new value of field '" + fieldName + "' could not be written");
  row.Table().Close();
  report << "stored " << value.size() << (value.size() == 1 ? " byte" : " bytes") << '\n';
}

void TZdbBlobCommandLine::Add(CLI::App& app, std::string& fileName, std::string& password) {
  const auto add = [&](const char* name, const char* description) {
    CLI::App* command = AddTableSubcommand(app, name, description, fileName, tableName_, password);
    command->add_option("FIELD", fieldName_, "A BLOB, MEMO or WIDEMEMO field")->required()->check(NonEmptyName);
    command->add_option("--where", where_, "The row: KEY=VALUE, a field and its value naming one row")
        ->required()
        ->check(RowKeyText);
    return command;
  };
  getBlob_ = add("get-blob", "Write one row's large value to stdout, byte for byte");
  setBlob_ = add("set-blob", "Store stdin as one row's large value (empty input: NULL)");
}

bool TZdbBlobCommandLine::Run(const std::string& fileName, const zdb::TZDBPassword& password) {
  if (getBlob_->parsed()) {
    GetBlobCommand(fileName, password, tableName_, fieldName_, where_, std::cout);
  } else if (setBlob_->parsed()) {
    SetBlobCommand(fileName, password, tableName_, fieldName_, where_, std::cin, std::cout);
  } else {
    return false;
  }
  return true;
}

}  // namespace zdbtool
