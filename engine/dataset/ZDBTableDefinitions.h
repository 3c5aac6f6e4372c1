// A table's definitions as plain data, both ways: a new table from its field, index and
// not-null definitions (CreateTable), and the definitions of an open table read back
// (TZDBTableRows::Definitions, ZDBTableRows.h). Names are the engine's single-byte text.
// CreateTable works through a connected database component, as one more session of it,
// and raises the engine's errors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table/ZDBFieldTypes.h"

namespace zdb {

class TZDBDatabase;

struct TZDBFieldDefinition {
  std::string Name;
  TZDBLogicalType Type = TZDBLogicalType::None;
  int32_t Size = 0;
  // The compression of a large value: algorithm 0 none, 1 zlib, 2 bzip2, 3 ppm; level 1..9.
  uint8_t BlobAlgorithm = 0;
  uint8_t BlobLevel = 0;
  bool IsBlob = false;  // what the field holds is a large value (read back, not used for creating)
};

struct TZDBIndexColumnDefinition {
  std::string FieldName;
  bool Descending = false;
  bool CaseInsensitive = false;
};

struct TZDBIndexDefinition {
  std::string Name;
  std::vector<TZDBIndexColumnDefinition> Columns;
  bool Unique = false;
  bool Primary = false;
};

enum class TZDBConstraintKind { NotNull, Check, PrimaryKey, Unique, Other };

struct TZDBConstraintDefinition {
  std::string Name;
  TZDBConstraintKind Kind = TZDBConstraintKind::Other;
  int32_t TypeCode = 0;    // as stored
  std::string TargetName;  // the field, or a key's index
  // A check's bounds, as text.
  bool HasMinValue = false;
  bool HasMaxValue = false;
  std::string MinValue;
  std::string MaxValue;
  std::vector<std::string> KeyFields;  // a key's fields
};

struct TZDBTableDefinitions {
  std::string TableName;
  std::vector<TZDBFieldDefinition> Fields;
  std::vector<TZDBIndexDefinition> Indexes;  // temporary indexes left out
  std::vector<TZDBConstraintDefinition> Constraints;
};

// Creates the table (30395 when one of that name exists). A primary or unique index
// brings the constraint an added index would get ("C_PK$field", "C_Unique$field", one
// "$field" per column), so that keys are checked by name; each not-null field brings a
// not-null constraint.
void CreateTable(TZDBDatabase& database, const std::string& tableName, const std::vector<TZDBFieldDefinition>& fields,
                 const std::vector<TZDBIndexDefinition>& indexes, const std::vector<std::string>& notNullFields);

}  // namespace zdb
