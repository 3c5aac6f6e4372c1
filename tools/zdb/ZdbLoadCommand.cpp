// load: a table's rows from CSV, all in one transaction unless batches are asked for.
#include <algorithm>
#include <stdexcept>

#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbCsv.h"
#include "tools/zdb/ZdbInputFile.h"
#include "tools/zdb/ZdbInterrupt.h"
#include "tools/zdb/ZdbTableCommands.h"
#include "zdb/TableRows.h"
#include "zdb/Values.h"

namespace zdbtool {
namespace {

std::string RowsText(int64_t rows) { return std::to_string(rows) + (rows == 1 ? " row" : " rows"); }

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

// Stores the records of a reader in batches, each under one write lock and one commit. A
// batch that fails goes whole; the batches committed before it stay.
class TZdbLoader {
 public:
  // batchRows 0: the whole input is one batch.
  TZdbLoader(zdb::TZDBTableRows& table, int64_t batchRows) : table_(table), batchRows_(batchRows) {}

  // The records into the fields of columns, column by column.
  void LoadAll(TZdbCsvReader& reader, const std::vector<int32_t>& columns) {
    columns_ = columns;
    while (LoadBatch(reader)) {
    }
  }

  int64_t Committed() const { return committed_; }
  // The line of the last record read.
  int64_t Line() const { return line_; }
  // Why the last batch could not be rolled back; empty when it was.
  const std::string& RollbackFailure() const { return rollbackFailure_; }

 private:
  // False once the input is at its end.
  bool LoadBatch(TZdbCsvReader& reader) {
    const zdb::TZDBTableRows::TWriteLock lock(table_);
    int64_t stored = 0;
    bool more = true;
    try {
      table_.ReloadCounters();
      TZdbCsvRecord record;
      while ((batchRows_ == 0 || stored < batchRows_) && (more = NextRecord(reader, record))) {
        PrepareRow(record);
        Insert(record);
        ++stored;
      }
      table_.Commit();
    } catch (...) {
      // Nothing of the batch stays with the session, whatever stopped it.
      try {
        table_.Rollback();
      } catch (const std::exception& error) {
        rollbackFailure_ = error.what();
      }
      throw;
    }
    committed_ += stored;
    return more;
  }

  bool NextRecord(TZdbCsvReader& reader, TZdbCsvRecord& record) {
    ThrowIfInterrupted();
    if (!reader.Next(record)) return false;
    line_ = record.Line;
    return true;
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

  void Insert(const TZdbCsvRecord& record) {
    bool inserted = false;
    std::string failure = "the row could not be stored";
    try {
      inserted = table_.Insert();
    } catch (const std::exception& error) {
      failure = error.what();
    }
    if (!inserted) throw TZdbInputError(record.Line, failure);
  }

  zdb::TZDBTableRows& table_;
  const int64_t batchRows_;
  std::vector<int32_t> columns_;
  int64_t committed_ = 0;
  int64_t line_ = 1;
  std::string rollbackFailure_;
};

// What stays of a load that stopped.
std::string WhatStayed(const TZdbLoader& loader) {
  std::string text = loader.Committed() == 0
                         ? "no row was loaded"
                         : RowsText(loader.Committed()) + " were committed by the batches before it, no row after them";
  if (!loader.RollbackFailure().empty())
    text += " (the rollback failed: " + loader.RollbackFailure() + "; the next open of the file undoes the rest)";
  return text;
}

}  // namespace

void LoadCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                 const std::string& csvFileName, int64_t batchRows, std::ostream& out) {
  const TZdbInterruptGuard interrupts;
  TZdbInputFile input(csvFileName);
  TZdbCsvReader reader([&input] { return input.Read(); });
  TZdbConnection connection(fileName, password);
  zdb::TZDBTableRows table(connection.Database(), zdb::Utf8ToAnsi(tableName));
  TZdbLoader loader(table, batchRows);
  try {
    TZdbCsvRecord header;
    if (!reader.Next(header)) throw TZdbInputError(1, "the file has no header line naming the fields");
    const std::vector<int32_t> columns = ColumnFields(header, table, tableName);
    table.DeferCommits();
    loader.LoadAll(reader, columns);
  } catch (const TZdbInterrupted& interrupted) {
    throw TZdbInterrupted(interrupted.Signal(), std::string(interrupted.what()) + " at line " +
                                                    std::to_string(loader.Line()) + ": " + WhatStayed(loader));
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string(error.what()) + "; " + WhatStayed(loader));
  }
  table.Close();
  out << "loaded " << RowsText(loader.Committed()) << "\n";
}

}  // namespace zdbtool
