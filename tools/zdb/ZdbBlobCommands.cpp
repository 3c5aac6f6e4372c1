// get-blob and set-blob: one large value of one row, to stdout and from stdin.
#include "tools/zdb/ZdbBlobCommands.h"

#include <algorithm>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/table/ZDBTableAccess.h"
#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbFieldText.h"

namespace zdbtool {
namespace {

constexpr int64_t CopyPiece = 1 << 20;

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

int32_t FieldNumber(const zdb::TZDBFieldDefs& fields, const std::string& name, const std::string& tableName) {
  const int32_t fieldNo = fields.IndexOfName(Utf8ToAnsi(name));
  if (fieldNo < 0) throw std::runtime_error("'" + name + "' is not a field of table '" + tableName + "'");
  return fieldNo;
}

// The table open for the command, the cursor standing on the one row the key names.
class TZdbBlobRow {
 public:
  TZdbBlobRow(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
              const std::string& fieldName, const std::string& where)
      : connection_(fileName, password),
        cursor_(connection_.Session(), Utf8ToAnsi(tableName)),
        table_(connection_.Data(), cursor_) {
    const zdb::TZDBFieldDefs& fields = Data().FieldManager()->FieldDefs();
    fieldNo_ = FieldNumber(fields, fieldName, tableName);
    const zdb::TZDBFieldDef& field = fields.Items(fieldNo_);
    if (!field.IsBlob())
      throw std::runtime_error("Field '" + fieldName + "' of table '" + tableName + "' (" +
                               zdb::LogicalTypeName(field.LogicalType()) + ") is not a BLOB, MEMO or WIDEMEMO field");
    TZdbRowKey key;
    const std::string keyError = ParseRowKey(where, key);
    if (!keyError.empty()) throw std::runtime_error(keyError);
    const int32_t keyNo = FieldNumber(fields, key.Field, tableName);
    if (!HasTextForm(fields.Items(keyNo)))
      throw std::runtime_error("Field '" + key.Field + "' of type " +
                               zdb::LogicalTypeName(fields.Items(keyNo).LogicalType()) + " cannot name a row");
    // The value as the field writes it, so that "2024" finds 2024 whatever its spelling.
    std::vector<uint8_t> probe(static_cast<size_t>(Data().RecordBufferSize()), 0);
    Data().FieldManager()->InitRecordBuffer(probe.data());
    SetFieldFromText(fields, keyNo, key.Value, probe.data());
    const std::string wanted = FieldAsText(fields, keyNo, probe.data());

    int64_t matches = 0;
    zdb::TZDBRecordID found;
    cursor_.SetToBegin();
    uint8_t result = zdb::grOK;
    while ((result = Data().GetRecord(cursor_, zdb::grmNext)) == zdb::grOK) {
      if (FieldAsText(fields, keyNo, cursor_.RecordBuffer()) != wanted) continue;
      ++matches;
      found = cursor_.RecordID();
    }
    if (result != zdb::grEOF)
      throw std::runtime_error("Table '" + tableName + "' could not be read to its end: it is locked or damaged");
    if (matches == 0) throw std::runtime_error("No row of table '" + tableName + "' has " + where);
    if (matches > 1)
      throw std::runtime_error(std::to_string(matches) + " rows of table '" + tableName + "' have " + where +
                               "; name one row");
    cursor_.SetPosition(found);
    if (Data().GetRecord(cursor_, zdb::grmCurrent) != zdb::grOK)
      throw std::runtime_error("The row of table '" + tableName + "' with " + where + " could not be read again");
  }

  zdb::TZDBDiskTableData& Data() const { return table_.Data(); }
  zdb::TZDBTableCursor& Cursor() { return cursor_; }
  int32_t FieldNo() const { return fieldNo_; }
  void Close() { table_.Close(); }

 private:
  TZdbConnection connection_;
  zdb::TZDBTableCursor cursor_;
  zdb::TZDBOpenTable table_;
  int32_t fieldNo_ = -1;
};

}  // namespace

void GetBlobCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                    const std::string& fieldName, const std::string& where, std::ostream& out) {
  TZdbBlobRow row(fileName, password, tableName, fieldName, where);
  std::unique_ptr<zdb::TZDBBlobStream> stream = row.Data().OpenBlobStream(row.Cursor(), false, row.FieldNo());
  std::vector<char> piece(static_cast<size_t>(CopyPiece));
  for (int64_t left = stream->Size(); left > 0;) {
    const int64_t read = stream->Read(piece.data(), std::min(left, CopyPiece));
    if (read <= 0) throw std::runtime_error("The value of field '" + fieldName + "' could not be read whole");
    out.write(piece.data(), read);
    left -= read;
  }
  stream.reset();
  row.Data().ReleaseRecordBlobs(row.Cursor().MutableRecordBuffer());
  row.Close();
  out.flush();
  if (!out) throw std::runtime_error("The value could not be written out");
}

void SetBlobCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                    const std::string& fieldName, const std::string& where, std::istream& in, std::ostream& report) {
  // The whole input first: a read that fails changes nothing.
  const std::vector<char> value((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("The new value could not be read");
  TZdbBlobRow row(fileName, password, tableName, fieldName, where);
  zdb::TZDBDiskTableData& data = row.Data();
  zdb::TZDBTableCursor& cursor = row.Cursor();
  // The row as read: the post refuses it when another program changed it meanwhile.
  const std::vector<uint8_t> original(cursor.RecordBuffer(), cursor.RecordBuffer() + data.RecordBufferSize());
  {
    std::unique_ptr<zdb::TZDBBlobStream> stream = data.OpenBlobStream(cursor, true, row.FieldNo());
    const int64_t size = static_cast<int64_t>(value.size());
    if (size > 0 && stream->Write(value.data(), size) != size)
      throw std::runtime_error("The new value of field '" + fieldName + "' could not be written");
    data.SaveBlobStream(cursor, row.FieldNo(), *stream);
  }
  cursor.SetOriginalRecordBuffer(original.data());
  try {
    zdb::PostUpdate(data, cursor);
  } catch (...) {
    cursor.SetOriginalRecordBuffer(nullptr);
    data.ReleaseRecordBlobs(cursor.MutableRecordBuffer());
    throw;
  }
  cursor.SetOriginalRecordBuffer(nullptr);
  row.Close();
  report << "stored " << value.size() << (value.size() == 1 ? " byte" : " bytes") << '\n';
}

void TZdbBlobCommandLine::Add(CLI::App& app, std::string& fileName, std::string& password) {
  const auto add = [&](const char* name, const char* description) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("FILE", fileName, "Database file")->required();
    command->add_option("TABLE", tableName_, "Table name")->required();
    command->add_option("FIELD", fieldName_, "A BLOB, MEMO or WIDEMEMO field")->required();
    command->add_option("--where", where_, "The row: KEY=VALUE, a field and its value naming one row")
        ->required()
        ->check(RowKeyText);
    command->add_option("--password", password, "Password of an encrypted file");
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
