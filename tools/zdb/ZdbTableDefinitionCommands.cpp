// create-table and schema: a table's definitions from the command line, and back.
#include <algorithm>
#include <iterator>
#include <memory>
#include <sstream>

#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableAccess.h"
#include "tools/zdb/ZdbConnection.h"
#include "tools/zdb/ZdbFieldText.h"
#include "tools/zdb/ZdbTableCommands.h"

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

std::string ConstraintText(const zdb::TZDBConstraintDef& constraint) {
  std::string text = constraint.Name() + " ";
  switch (static_cast<zdb::TZDBConstraintType>(constraint.ConstraintType())) {
    case zdb::TZDBConstraintType::NotNull:
      return text + "NOT NULL (" + constraint.TargetName() + ")";
    case zdb::TZDBConstraintType::Check: {
      const auto& check = static_cast<const zdb::TZDBConstraintDefCheck&>(constraint);
      text += "CHECK (" + constraint.TargetName() + ")";
      if (!check.MinValue().IsNull()) text += " >= " + check.MinValue().AsString();
      if (!check.MaxValue().IsNull()) text += " <= " + check.MaxValue().AsString();
      return text;
    }
    case zdb::TZDBConstraintType::PrimaryKey:
    case zdb::TZDBConstraintType::Unique: {
      const auto& key = static_cast<const zdb::TZDBKeyConstraintDef&>(constraint);
      text += constraint.ConstraintType() == zdb::ConstraintTypeCode(zdb::TZDBConstraintType::PrimaryKey)
                  ? "PRIMARY KEY ("
                  : "UNIQUE (";
      for (size_t i = 0; i < key.Columns().size(); ++i) text += (i == 0 ? "" : ", ") + key.Columns()[i].FieldName;
      return text + ") index " + constraint.TargetName();
    }
  }
  return text + "type " + std::to_string(constraint.ConstraintType());
}

}  // namespace

std::string ParseFieldSpec(const std::string& text, TZdbFieldSpec& spec) {
  const std::vector<std::string> parts = Split(text, SpecSeparator);
  if (parts.size() < 2 || parts[0].empty()) return "'" + text + "' is not NAME:TYPE or NAME:TYPE:SIZE";
  spec = {};
  spec.Name = parts[0];
  spec.Type = zdb::LogicalTypeOfName(parts[1]);
  if (spec.Type == TZDBLogicalType::None) return "'" + parts[1] + "' is not a field type";
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
  if (parts.size() < 2 || parts[0].empty())
    return "'" + text + "' is not NAME:FIELD[,FIELD...][:unique|:primary][:desc]";
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
  zdb::TZDBFieldDefs fieldDefs;
  for (const TZdbFieldSpec& field : fields) {
    auto definition = std::make_unique<zdb::TZDBFieldDef>(Utf8ToAnsi(field.Name), field.Type, field.Size);
    definition->SetBlobCompressionAlgorithm(field.BlobAlgorithm);
    definition->SetBlobCompressionMode(field.BlobLevel);
    fieldDefs.Add(std::move(definition));
  }
  zdb::TZDBIndexDefs indexDefs;
  zdb::TZDBConstraintDefs constraintDefs;
  for (const TZdbIndexSpec& index : indexes) {
    auto definition = std::make_unique<zdb::TZDBIndexDef>();
    definition->SetName(Utf8ToAnsi(index.Name));
    std::vector<zdb::TZDBIndexColumn> columns;
    for (const std::string& field : index.Fields) columns.push_back({Utf8ToAnsi(field), index.Descending});
    definition->SetColumns(std::move(columns));
    definition->SetUnique(index.Unique);
    definition->SetPrimary(index.Primary);
    indexDefs.Add(std::move(definition));
    if (!index.Unique && !index.Primary) continue;
    // The constraint an added index would get, so that keys are checked by name.
    zdb::TZDBKeyConstraintDef& key = index.Primary
                                         ? static_cast<zdb::TZDBKeyConstraintDef&>(constraintDefs.AddPrimary())
                                         : constraintDefs.AddUnique();
    std::string name = index.Primary ? "C_PK" : "C_Unique";
    std::vector<zdb::TZDBConstraintColumn> keyColumns;
    for (const std::string& field : index.Fields) {
      name += "$" + Utf8ToAnsi(field);
      keyColumns.push_back({Utf8ToAnsi(field), zdb::UnassignedObjectID});
    }
    key.SetName(name);
    key.SetTargetName(Utf8ToAnsi(index.Name));
    key.SetColumns(std::move(keyColumns));
  }
  for (const std::string& field : notNullFields) constraintDefs.AddNotNull().SetTargetName(Utf8ToAnsi(field));

  TZdbConnection connection(fileName, password);
  zdb::CreateDiskTable(connection.Data(), connection.Session(), Utf8ToAnsi(tableName), fieldDefs, indexDefs,
                       constraintDefs);
}

void SchemaCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                   std::ostream& out) {
  TZdbConnection connection(fileName, password);
  zdb::TZDBTableCursor cursor(connection.Session(), Utf8ToAnsi(tableName));
  zdb::TZDBOpenTable table(connection.Data(), cursor);
  zdb::TZDBDiskTableData& data = table.Data();
  out << "table: " << AnsiToUtf8(data.TableName()) << '\n';
  const zdb::TZDBFieldDefs& fields = data.FieldManager()->FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const zdb::TZDBFieldDef& field = fields.Items(i);
    out << "field: " << AnsiToUtf8(field.Name()) << ' ' << zdb::LogicalTypeName(field.LogicalType());
    if (TakesSize(field.LogicalType())) out << '(' << field.FieldSize() << ')';
    if (field.IsBlob() && field.BlobCompressionAlgorithm() != 0) {
      const uint8_t algorithm = field.BlobCompressionAlgorithm();
      out << ' '
          << (algorithm < std::size(BlobAlgorithmNames) ? BlobAlgorithmNames[algorithm] : std::to_string(algorithm))
          << ':' << static_cast<int>(field.BlobCompressionMode());
    }
    out << '\n';
  }
  const zdb::TZDBIndexDefs& indexes = data.IndexManager()->IndexDefs();
  for (int32_t i = 0; i < indexes.Count(); ++i) {
    const zdb::TZDBIndexDef& index = indexes.Items(i);
    if (index.Temporary()) continue;
    out << "index: " << AnsiToUtf8(index.Name()) << " (";
    for (size_t c = 0; c < index.Columns().size(); ++c) {
      const zdb::TZDBIndexColumn& column = index.Columns()[c];
      out << (c == 0 ? "" : ", ") << AnsiToUtf8(column.FieldName) << (column.Descending ? " DESC" : "")
          << (column.CaseInsensitive ? " NO_CASE" : "");
    }
    out << ')' << (index.Unique() ? " unique" : "") << (index.Primary() ? " primary" : "") << '\n';
  }
  const zdb::TZDBConstraintDefs& constraints = data.ConstraintManager()->ConstraintDefs();
  for (int32_t i = 0; i < constraints.Count(); ++i)
    out << "constraint: " << AnsiToUtf8(ConstraintText(constraints.Items(i))) << '\n';
  out << "rows: " << data.GetRecordCount(cursor) << '\n';
}

}  // namespace zdbtool
