// create-table and schema: a table's definitions from the command line, and back.
#include <algorithm>
#include <iterator>
#include <memory>
#include <sstream>

#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbTableCommands.h"
#include "zdb/TableRows.h"
#include "zdb/Values.h"

namespace zdbtool {
namespace {

using zdb::TZDBLogicalType;

constexpr int32_t GuidSize = 38;
constexpr uint8_t DefaultBlobLevel = 6;
constexpr int32_t MinBlobLevel = 1;
constexpr int32_t MaxBlobLevel = 9;

// The algorithms as the command line names them, by their codes.
constexpr const char* BlobAlgorithmNames[] = {"none", "zlib", "bzip2", "ppm"};
constexpr char SpecSeparator = ':';
constexpr char FieldListSeparator = ',';

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

bool TakesSize(TZDBLogicalType type) {
  switch (zdb::LogicalToStorageType(type)) {
    case zdb::TZDBStorageType::Char:
    case zdb::TZDBStorageType::String:
    case zdb::TZDBStorageType::WideChar:
    case zdb::TZDBStorageType::WideString:
    case zdb::TZDBStorageType::Bytes:
    case zdb::TZDBStorageType::VarBytes:
      return true;
    default:
      return false;
  }
}

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

// ALGORITHM[:LEVEL] of a large-value field (the parts after NAME:TYPE).
std::string ParseBlobCompression(const std::vector<std::string>& parts, TZdbFieldSpec& spec) {
  if (parts.size() > 4) return "a " + zdb::LogicalTypeName(spec.Type) + " field takes at most ALGORITHM:LEVEL";
  if (parts.size() < 3) return {};
  const std::string name = Lowered(parts[2]);
  const auto* found = std::find(std::begin(BlobAlgorithmNames), std::end(BlobAlgorithmNames), name);
  if (found == std::end(BlobAlgorithmNames)) return "'" + parts[2] + "' is none of none, zlib, bzip2, ppm";
  spec.BlobAlgorithm = static_cast<uint8_t>(found - std::begin(BlobAlgorithmNames));
  if (spec.BlobAlgorithm == 0) return parts.size() == 4 ? "no compression takes no level" : std::string();
  spec.BlobLevel = DefaultBlobLevel;
  if (parts.size() < 4) return {};
  size_t used = 0;
  int32_t level = 0;
  try {
    level = std::stoi(parts[3], &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != parts[3].size() || level < MinBlobLevel || level > MaxBlobLevel)
    return "'" + parts[3] + "' is not a compression level from 1 to 9";
  spec.BlobLevel = static_cast<uint8_t>(level);
  return {};
}

// Every type name once, in the type-name table's order.
std::string TypeNames() {
  std::vector<std::string> names;
  for (const zdb::TSQLFieldType& type : zdb::SQLFieldTypes())
    if (std::find(names.begin(), names.end(), type.Name) == names.end()) names.emplace_back(type.Name);
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string ConstraintText(const zdb::TZDBConstraintDefinition& constraint) {
  std::string text = constraint.Name + " ";
  switch (constraint.Kind) {
    case zdb::TZDBConstraintKind::NotNull:
      return text + "NOT NULL (" + constraint.TargetName + ")";
    case zdb::TZDBConstraintKind::Check:
      text += "CHECK (" + constraint.TargetName + ")";
      if (constraint.HasMinValue) text += " >= " + constraint.MinValue;
      if (constraint.HasMaxValue) text += " <= " + constraint.MaxValue;
      return text;
    case zdb::TZDBConstraintKind::PrimaryKey:
    case zdb::TZDBConstraintKind::Unique: {
      text += constraint.Kind == zdb::TZDBConstraintKind::PrimaryKey ? "PRIMARY KEY (" : "UNIQUE (";
      for (size_t i = 0; i < constraint.KeyFields.size(); ++i) text += (i == 0 ? "" : ", ") + constraint.KeyFields[i];
      return text + ") index " + constraint.TargetName;
    }
    case zdb::TZDBConstraintKind::Other:
      break;
  }
  return text + "type " + std::to_string(constraint.TypeCode);
}

}  // namespace

std::string ParseFieldSpec(const std::string& text, TZdbFieldSpec& spec) {
  const std::vector<std::string> parts = Split(text, SpecSeparator);
  if (parts.size() < 2) return "'" + text + "' is not NAME:TYPE or NAME:TYPE:SIZE";
  if (parts[0].empty()) return "'" + text + "': the field name must not be empty";
  spec = {};
  spec.Name = parts[0];
  spec.Type = zdb::LogicalTypeOfName(parts[1]);
  if (spec.Type == TZDBLogicalType::None) return "'" + parts[1] + "' is not a field type; one of: " + TypeNames();
  if (zdb::IsBlobLogicalType(spec.Type)) return ParseBlobCompression(parts, spec);
  if (parts.size() > 3) return "'" + text + "' is not NAME:TYPE or NAME:TYPE:SIZE";
  spec.Size = spec.Type == TZDBLogicalType::Guid ? GuidSize : 0;
  if (parts.size() == 3) {
    if (!TakesSize(spec.Type)) return "a " + zdb::LogicalTypeName(spec.Type) + " field takes no size";
    size_t used = 0;
    try {
      spec.Size = std::stoi(parts[2], &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != parts[2].size() || used == 0 || spec.Size <= 0) return "'" + parts[2] + "' is not a size above 0";
  } else if (TakesSize(spec.Type) && spec.Type != TZDBLogicalType::Guid) {
    return "a " + zdb::LogicalTypeName(spec.Type) + " field needs its size: " + spec.Name + ":" + parts[1] + ":SIZE";
  }
  return {};
}

std::string ParseIndexSpec(const std::string& text, TZdbIndexSpec& spec) {
  const std::vector<std::string> parts = Split(text, SpecSeparator);
  if (parts.size() < 2) return "'" + text + "' is not NAME:FIELD[,FIELD...][:unique|:primary][:desc]";
  if (parts[0].empty()) return "'" + text + "': the index name must not be empty";
  spec = {};
  spec.Name = parts[0];
  spec.Fields = Split(parts[1], FieldListSeparator);
  for (const std::string& field : spec.Fields)
    if (field.empty()) return "'" + parts[1] + "' is not a list of fields";
  for (size_t i = 2; i < parts.size(); ++i) {
    const std::string flag = Lowered(parts[i]);
    if (flag == "unique") {
      spec.Unique = true;
    } else if (flag == "primary") {
      spec.Primary = true;
    } else if (flag == "desc") {
      spec.Descending = true;
    } else {
      return "'" + parts[i] + "' is none of unique, primary, desc";
    }
  }
  if (spec.Unique && spec.Primary) return "an index is either unique or primary";
  return {};
}

void CreateTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                        const std::vector<TZdbFieldSpec>& fields, const std::vector<TZdbIndexSpec>& indexes,
                        const std::vector<std::string>& notNullFields) {
  std::vector<zdb::TZDBFieldDefinition> fieldDefinitions;
  for (const TZdbFieldSpec& field : fields) {
    zdb::TZDBFieldDefinition definition;
    definition.Name = zdb::Utf8ToAnsi(field.Name);
    definition.Type = field.Type;
    definition.Size = field.Size;
    definition.BlobAlgorithm = field.BlobAlgorithm;
    definition.BlobLevel = field.BlobLevel;
    fieldDefinitions.push_back(std::move(definition));
  }
  std::vector<zdb::TZDBIndexDefinition> indexDefinitions;
  for (const TZdbIndexSpec& index : indexes) {
    zdb::TZDBIndexDefinition definition;
    definition.Name = zdb::Utf8ToAnsi(index.Name);
    for (const std::string& field : index.Fields) {
      zdb::TZDBIndexColumnDefinition column;
      column.FieldName = zdb::Utf8ToAnsi(field);
      column.Descending = index.Descending;
      definition.Columns.push_back(std::move(column));
    }
    definition.Unique = index.Unique;
    definition.Primary = index.Primary;
    indexDefinitions.push_back(std::move(definition));
  }
  std::vector<std::string> notNull;
  for (const std::string& field : notNullFields) notNull.push_back(zdb::Utf8ToAnsi(field));

  TZdbConnection connection(fileName, password);
  zdb::CreateTable(connection.Database(), zdb::Utf8ToAnsi(tableName), fieldDefinitions, indexDefinitions, notNull);
}

void SchemaCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                   std::ostream& out) {
  TZdbConnection connection(fileName, password);
  zdb::TZDBTableRows table(connection.Database(), zdb::Utf8ToAnsi(tableName));
  const zdb::TZDBTableDefinitions definitions = table.Definitions();
  out << "table: " << zdb::AnsiToUtf8(definitions.TableName) << '\n';
  for (const zdb::TZDBFieldDefinition& field : definitions.Fields) {
    out << "field: " << zdb::AnsiToUtf8(field.Name) << ' ' << zdb::LogicalTypeName(field.Type);
    if (TakesSize(field.Type)) out << '(' << field.Size << ')';
    if (field.IsBlob && field.BlobAlgorithm != 0) {
      const uint8_t algorithm = field.BlobAlgorithm;
      out << ' '
          << (algorithm < std::size(BlobAlgorithmNames) ? BlobAlgorithmNames[algorithm] : std::to_string(algorithm))
          << ':' << static_cast<int>(field.BlobLevel);
    }
    out << '\n';
  }
  for (const zdb::TZDBIndexDefinition& index : definitions.Indexes) {
    out << "index: " << zdb::AnsiToUtf8(index.Name) << " (";
    for (size_t c = 0; c < index.Columns.size(); ++c) {
      const zdb::TZDBIndexColumnDefinition& column = index.Columns[c];
      out << (c == 0 ? "" : ", ") << zdb::AnsiToUtf8(column.FieldName) << (column.Descending ? " DESC" : "")
          << (column.CaseInsensitive ? " NO_CASE" : "");
    }
    out << ')' << (index.Unique ? " unique" : "") << (index.Primary ? " primary" : "") << '\n';
  }
  for (const zdb::TZDBConstraintDefinition& constraint : definitions.Constraints)
    out << "constraint: " << zdb::AnsiToUtf8(ConstraintText(constraint)) << '\n';
  out << "rows: " << table.RowCount() << '\n';
}

}  // namespace zdbtool
