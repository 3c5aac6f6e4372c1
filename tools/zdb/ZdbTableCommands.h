// The zdb commands that define, fill and read tables. They connect as a multi-user
// session (ZdbConnection.h), so they wait for the locks of programs using the file.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "zdb/Fields.h"
#include "zdb/Password.h"

namespace zdbtool {

// NAME:TYPE[:SIZE]; TYPE is a name of the type-name table (letter case ignored). The
// string and byte-string types need their SIZE; GUID takes 38 unless given; other types
// take none. The large-value types (BLOB, MEMO, WIDEMEMO and their other names) take
// their compression instead: NAME:TYPE[:ALGORITHM[:LEVEL]], ALGORITHM one of none, zlib,
// bzip2, ppm (none unless given), LEVEL 1..9 (6 unless given; none takes no level).
struct TZdbFieldSpec {
  std::string Name;
  zdb::TZDBLogicalType Type = zdb::TZDBLogicalType::None;
  int32_t Size = 0;
  uint8_t BlobAlgorithm = 0;
  uint8_t BlobLevel = 0;
};
// NAME:FIELD[,FIELD...][:unique|:primary][:desc]
struct TZdbIndexSpec {
  std::string Name;
  std::vector<std::string> Fields;
  bool Unique = false;
  bool Primary = false;
  bool Descending = false;
};

// An empty answer when the text is a valid spec; else what is wrong with it.
std::string ParseFieldSpec(const std::string& text, TZdbFieldSpec& spec);
std::string ParseIndexSpec(const std::string& text, TZdbIndexSpec& spec);

// Creates the table. A primary or unique index brings its constraint ("C_PK$field",
// "C_Unique$field"), each --not-null field a not-null constraint.
void CreateTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                        const std::vector<TZdbFieldSpec>& fields, const std::vector<TZdbIndexSpec>& indexes,
                        const std::vector<std::string>& notNullFields);

// "table: NAME", then one line per field ("field: NAME TYPE", "TYPE(SIZE)", or for a
// compressed large value "TYPE ALGORITHM:LEVEL"), index
// ("index: NAME (FIELD [DESC] [NO_CASE], ...) [unique] [primary]") and constraint, and
// "rows: N".
void SchemaCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                   std::ostream& out);

// Loads the rows of an RFC 4180 CSV file ("-": standard input) whose first line names
// the fields (letter case ignored; fields it does not name stay NULL). The load is one
// transaction: a line that cannot be stored, a failed commit or an interruption
// (TZdbInterrupted) leaves the table as it was, and the error names the line and says
// that no row was loaded. With batchRows above 0 every batchRows rows are committed, and
// a load that stops keeps the batches committed before it and says how many rows they
// hold. Reports "loaded N rows".
void LoadCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                 const std::string& csvFileName, int64_t batchRows, std::ostream& out);

// Every row as CSV with a header line, in the index's order (physical order without
// one).
void DumpCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                 const std::string& indexName, std::ostream& out);

}  // namespace zdbtool
