// dump: a table's rows as CSV.
#include <stdexcept>

#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbCsv.h"
#include "tools/zdb/ZdbTableCommands.h"
#include "zdb/TableRows.h"
#include "zdb/Values.h"

namespace zdbtool {
namespace {

constexpr const char* LineEnd = "\r\n";

}  // namespace

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
