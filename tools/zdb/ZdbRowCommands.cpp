// load and dump: a table's rows from and to CSV.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbCsv.h"
#include "tools/zdb/ZdbTableCommands.h"
#include "zdb/TableRows.h"
#include "zdb/Values.h"

namespace zdbtool {
namespace {

// Rows stored per commit: a commit waits for the disk, a row alone should not.
constexpr int64_t BatchRows = 1000;
constexpr const char* LineEnd = "\r\n";

std::string RowsText(int64_t rows) { return std::to_string(rows) + (rows == 1 ? " row" : " rows"); }

std::string ReadWholeFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot read '" + fileName + "'");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The field number of each CSV column, from the header line.
std::vector<int32_t> ColumnFields(const TZdbCsvRecord& header, const zdb::TZDBTableRows& table,
                                  const std::string& tableName) {
  const std::vector<zdb::TZDBFieldDefinition> fields = table.Definitions().Fields;
  std::vector<int32_t> columns;
  for (const std::string& name : header.Fields) {
    int32_t fieldNo = -1;
    try {
      fieldNo = table.FieldNumber(zdb::Utf8ToAnsi(name));
    } catch (const std::exception& error) {
      throw TZdbInputError(header.Line, error.what());
    }
    if (fieldNo < 0) throw TZdbInputError(header.Line, "'" + name + "' is not a field of table '" + tableName + "'");
    if (std::find(columns.begin(), columns.end(), fieldNo) != columns.end())
      throw TZdbInputError(header.Line, "field '" + name + "' is named twice");
    if (!table.HasTextForm(fieldNo))
      throw TZdbInputError(header.Line, "field '" + name + "' of type " +
                                            zdb::LogicalTypeName(fields[static_cast<size_t>(fieldNo)].Type) +
                                            " cannot be loaded from CSV");
    columns.push_back(fieldNo);
  }
  return columns;
}

// One batch of rows under one write lock and one commit.
class Loader {
 public:
  Loader(zdb::TZDBTableRows& table, const std::vector<int32_t>& columns) : table_(table), columns_(columns) {}

  // Stores up to BatchRows records of the reader; answers the rows stored. A record that
  // cannot be stored ends the batch: the rows before it are committed and the error
  // passed on.
  int64_t LoadBatch(TZdbCsvReader& reader) {
    const zdb::TZDBTableRows::TWriteLock lock(table_);
    int64_t stored = 0;
    try {
      table_.ReloadCounters();
      int64_t firstLine = 0;
      TZdbCsvRecord record;
      for (;;) {
        bool more = false;
        try {
          more = stored < BatchRows && reader.Next(record);
          if (more) PrepareRow(record);
        } catch (const TZdbInputError&) {
          Commit(stored);
          throw;
        }
        if (!more) break;
        if (firstLine == 0) firstLine = record.Line;
        Insert(record, firstLine);
        ++stored;
      }
      Commit(stored);
    } catch (const TZdbInputError&) {
      throw;
    } catch (...) {
      // Nothing half-done stays with the session.
      table_.Rollback();
      throw;
    }
    return stored;
  }

  // Rows committed so far.
  int64_t Loaded() const { return loaded_; }

 private:
  void Commit(int64_t stored) {
    table_.Commit();
    loaded_ += stored;
  }

  void Insert(const TZdbCsvRecord& record, int64_t firstLine) {
    bool inserted = false;
    std::string failure = "the row could not be stored";
    try {
      inserted = table_.Insert();
    } catch (const std::exception& error) {
      failure = error.what();
    }
    if (inserted) return;
    // What the failed insert left behind goes, and with it the batch's earlier rows.
    table_.Rollback();
    if (firstLine < record.Line)
      failure += "; the rows of lines " + std::to_string(firstLine) + " to " + std::to_string(record.Line - 1) +
                 " were not stored either";
    throw TZdbInputError(record.Line, failure);
  }

  void PrepareRow(const TZdbCsvRecord& record) {
    if (record.Fields.size() != columns_.size())
      throw TZdbInputError(record.Line, std::to_string(record.Fields.size()) + " fields, the header names " +
                                            std::to_string(columns_.size()));
    table_.NewRow();
    try {
      table_.FillRow(columns_, record.Fields);
    } catch (const std::exception& error) {
      throw TZdbInputError(record.Line, error.what());
    }
  }

  zdb::TZDBTableRows& table_;
  const std::vector<int32_t>& columns_;
  int64_t loaded_ = 0;
};

}  // namespace

void LoadCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                 const std::string& csvFileName, std::ostream& out) {
  TZdbCsvReader reader(ReadWholeFile(csvFileName));
  TZdbConnection connection(fileName, password);
  zdb::TZDBTableRows table(connection.Database(), zdb::Utf8ToAnsi(tableName));
  TZdbCsvRecord header;
  if (!reader.Next(header)) throw TZdbInputError(1, "the file has no header line naming the fields");
  const std::vector<int32_t> columns = ColumnFields(header, table, tableName);
  table.DeferCommits();
  Loader loader(table, columns);
  try {
    while (loader.LoadBatch(reader) == BatchRows) {
    }
  } catch (const TZdbInputError& error) {
    throw std::runtime_error(std::string(error.what()) + " (" + RowsText(loader.Loaded()) + " loaded before it)");
  }
  table.Close();
  out << "loaded " << RowsText(loader.Loaded()) << "\n";
}

void DumpCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                 const std::string& indexName, std::ostream& out) {
  TZdbConnection connection(fileName, password);
  zdb::TZDBTableRows table(connection.Database(), zdb::Utf8ToAnsi(tableName));
  if (!indexName.empty() && !table.UseIndex(zdb::Utf8ToAnsi(indexName)))
    throw std::runtime_error("Table '" + tableName + "' has no index '" + indexName + "'");
  const std::vector<zdb::TZDBFieldDefinition> fields = table.Definitions().Fields;
  const int32_t fieldCount = static_cast<int32_t>(fields.size());
  std::string line;
  for (int32_t i = 0; i < fieldCount; ++i) {
    const zdb::TZDBFieldDefinition& field = fields[static_cast<size_t>(i)];
    if (!table.HasDumpForm(i))
      throw std::runtime_error("Field '" + zdb::AnsiToUtf8(field.Name) + "' of type " +
                               zdb::LogicalTypeName(field.Type) + " cannot be dumped to CSV");
    line += (i == 0 ? "" : ",") + CsvField(zdb::AnsiToUtf8(field.Name));
  }
  out << line << LineEnd;
  table.ToBegin();
  zdb::TZDBRowRead result = zdb::TZDBRowRead::Row;
  while ((result = table.Next()) == zdb::TZDBRowRead::Row) {
    line.clear();
    for (int32_t i = 0; i < fieldCount; ++i) line += (i == 0 ? "" : ",") + CsvField(table.FieldDumpText(i));
    out << line << LineEnd;
  }
  if (result != zdb::TZDBRowRead::End)
    throw std::runtime_error("Table '" + tableName + "' could not be read to its end: it is locked or damaged");
}

}  // namespace zdbtool
