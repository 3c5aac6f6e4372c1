#include "engine/table/ZDBConstraintDef.h"

#include <string>

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBMetaStream.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

constexpr int32_t WriteTypeFailed = 10219;
constexpr int32_t ReadTypeFailed = 10220;

// IDs (reserved, table, target), then prefix and body of each name (reserved, table, target).
constexpr int32_t NotNullWriteCodes[9] = {10240, 10241, 10242, 10243, 10244, 10245, 10246, 10247, 10248};
constexpr int32_t NotNullReadCodes[9] = {10249, 10250, 10251, 10252, 10253, 10254, 10255, 10256, 10257};
constexpr int32_t CheckWriteCodes[9] = {10227, 10228, 10229, 10221, 10222, 10223, 10224, 10225, 10226};
constexpr int32_t CheckReadCodes[9] = {10230, 10231, 10232, 10233, 10234, 10235, 10236, 10237, 10238};
constexpr int32_t KeyWriteCodes[9] = {30313, 30314, 30318, 30315, 30316, 30317, 30318, 30323, 30324};
constexpr int32_t KeyReadCodes[9] = {30303, 30304, 30305, 30306, 30307, 30308, 30309, 30310, 30311};

constexpr int32_t KeyWriteColumnCountFailed = 30319;
constexpr int32_t KeyWriteColumnIDFailed = 30320;
constexpr int32_t KeyWriteColumnNamePrefixFailed = 30321;
constexpr int32_t KeyWriteColumnNameFailed = 30322;
constexpr int32_t KeyReadColumnCountFailed = 30312;
constexpr int32_t KeyReadColumnIDFailed = 30317;
constexpr int32_t KeyReadColumnNamePrefixFailed = 30321;
constexpr int32_t KeyReadColumnNameFailed = 30322;

constexpr int32_t UnknownConstraintType = 30316;
// Constraint kinds the file format names but the engine does not support (anything but
// primary key, unique, not null and check) are refused with the engine's own texts.
constexpr int32_t CopyNotImplemented = 30035;
constexpr int32_t ResolveNotImplemented = 30037;
constexpr int32_t TargetFieldNotFound = 30027;
constexpr int32_t PrimaryIndexNotFound = 30325;
constexpr int32_t UniqueIndexNotFound = 30326;
constexpr int32_t PrimaryColumnNotFound = 30331;
constexpr int32_t UniqueColumnNotFound = 30332;

constexpr const char* NotNullNamePart = "C_NotNull";
constexpr const char* CheckNamePart = "C_Check";
constexpr char NameSeparator = '$';
// Room left for the decimal suffix of a name that is taken.
constexpr size_t NameSuffixDigits = 5;

}  // namespace

bool IsImplementedConstraintType(uint8_t code) {
  switch (static_cast<TZDBConstraintType>(code)) {
    case TZDBConstraintType::PrimaryKey:
    case TZDBConstraintType::Unique:
    case TZDBConstraintType::NotNull:
    case TZDBConstraintType::Check:
      return true;
  }
  return false;
}

// --- TZDBConstraintDef -----------------------------------------------------------------

void TZDBConstraintDef::SetReservedName(std::string_view name) { reservedName_ = ToShortName(name); }
void TZDBConstraintDef::SetTableName(std::string_view name) { tableName_ = ToShortName(name); }
void TZDBConstraintDef::SetTargetName(std::string_view name) { targetName_ = ToShortName(name); }

void TZDBConstraintDef::Assign(const TZDBMetaObjectDef& source) {
  TZDBMetaObjectDef::Assign(source);
  const auto* constraint = dynamic_cast<const TZDBConstraintDef*>(&source);
  if (constraint == nullptr) return;
  reservedName_ = constraint->reservedName_;
  reservedObjectID_ = constraint->reservedObjectID_;
  tableName_ = constraint->tableName_;
  tableObjectID_ = constraint->tableObjectID_;
  targetName_ = constraint->targetName_;
  targetObjectID_ = constraint->targetObjectID_;
}

void TZDBConstraintDef::LoadReferences(TStream& stream, const ReferenceCodes& codes, NameFraming framing) {
  reservedObjectID_ = ReadI32(stream, codes[0]);
  tableObjectID_ = ReadI32(stream, codes[1]);
  targetObjectID_ = ReadI32(stream, codes[2]);
  std::string* names[3] = {&reservedName_, &tableName_, &targetName_};
  for (int i = 0; i < 3; ++i) {
    const int32_t prefixCode = codes[3 + 2 * i];
    const int32_t bodyCode = codes[4 + 2 * i];
    *names[i] = framing == NameFraming::Prefix8 ? ReadShortString8(stream, prefixCode, bodyCode)
                                                : ReadShortString32(stream, prefixCode, bodyCode);
  }
}

void TZDBConstraintDef::SaveReferences(TStream& stream, const ReferenceCodes& codes, NameFraming framing) const {
  WriteI32(stream, reservedObjectID_, codes[0]);
  WriteI32(stream, tableObjectID_, codes[1]);
  WriteI32(stream, targetObjectID_, codes[2]);
  const std::string* names[3] = {&reservedName_, &tableName_, &targetName_};
  for (int i = 0; i < 3; ++i) {
    const int32_t prefixCode = codes[3 + 2 * i];
    const int32_t bodyCode = codes[4 + 2 * i];
    if (framing == NameFraming::Prefix8)
      WriteShortString8(stream, *names[i], prefixCode, bodyCode);
    else
      WriteShortString32(stream, *names[i], prefixCode, bodyCode);
  }
}

// --- the four kinds ----------------------------------------------------------------------

void TZDBConstraintDefNotNull::LoadFromStream(TStream& stream) {
  TZDBMetaObjectDef::LoadFromStream(stream);
  LoadReferences(stream, NotNullReadCodes, NameFraming::Prefix8);
}

void TZDBConstraintDefNotNull::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  SaveReferences(stream, NotNullWriteCodes, NameFraming::Prefix8);
}

void TZDBConstraintDefCheck::Assign(const TZDBMetaObjectDef& source) {
  TZDBConstraintDef::Assign(source);
  const auto* check = dynamic_cast<const TZDBConstraintDefCheck*>(&source);
  if (check == nullptr) return;
  minValue_.Assign(check->minValue_, true);
  maxValue_.Assign(check->maxValue_, true);
}

void TZDBConstraintDefCheck::LoadFromStream(TStream& stream) {
  TZDBMetaObjectDef::LoadFromStream(stream);
  LoadReferences(stream, CheckReadCodes, NameFraming::Prefix8);
  minValue_.LoadFromStream(stream);
  maxValue_.LoadFromStream(stream);
}

void TZDBConstraintDefCheck::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  SaveReferences(stream, CheckWriteCodes, NameFraming::Prefix8);
  minValue_.SaveToStream(stream);
  maxValue_.SaveToStream(stream);
}

void TZDBKeyConstraintDef::SetColumns(std::vector<TZDBConstraintColumn> columns) {
  for (TZDBConstraintColumn& column : columns) column.FieldName = ToShortName(column.FieldName);
  columns_ = std::move(columns);
}

void TZDBKeyConstraintDef::Assign(const TZDBMetaObjectDef& source) {
  TZDBConstraintDef::Assign(source);
  const auto* key = dynamic_cast<const TZDBKeyConstraintDef*>(&source);
  if (key != nullptr) columns_ = key->columns_;
}

void TZDBKeyConstraintDef::LoadFromStream(TStream& stream) {
  TZDBMetaObjectDef::LoadFromStream(stream);
  LoadReferences(stream, KeyReadCodes, NameFraming::Prefix32);
  const int32_t count = ReadCount(stream, KeyReadColumnCountFailed);
  columns_.clear();
  for (int32_t i = 0; i < count; ++i) {
    TZDBConstraintColumn column;
    column.FieldObjectID = ReadI32(stream, KeyReadColumnIDFailed);
    column.FieldName = ReadShortString32(stream, KeyReadColumnNamePrefixFailed, KeyReadColumnNameFailed);
    columns_.push_back(std::move(column));
  }
}

void TZDBKeyConstraintDef::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  SaveReferences(stream, KeyWriteCodes, NameFraming::Prefix32);
  WriteI32(stream, static_cast<int32_t>(columns_.size()), KeyWriteColumnCountFailed);
  for (const TZDBConstraintColumn& column : columns_) {
    WriteI32(stream, column.FieldObjectID, KeyWriteColumnIDFailed);
    WriteShortString32(stream, column.FieldName, KeyWriteColumnNamePrefixFailed, KeyWriteColumnNameFailed);
  }
}

// --- TZDBConstraintDefs ------------------------------------------------------------------

template <typename Def>
Def& TZDBConstraintDefs::AddNew() {
  auto definition = std::make_unique<Def>();
  Def& added = *definition;
  Add(std::move(definition));
  return added;
}

TZDBConstraintDefNotNull& TZDBConstraintDefs::AddNotNull() { return AddNew<TZDBConstraintDefNotNull>(); }
TZDBConstraintDefCheck& TZDBConstraintDefs::AddCheck() { return AddNew<TZDBConstraintDefCheck>(); }
TZDBConstraintDefPrimary& TZDBConstraintDefs::AddPrimary() { return AddNew<TZDBConstraintDefPrimary>(); }
TZDBConstraintDefUnique& TZDBConstraintDefs::AddUnique() { return AddNew<TZDBConstraintDefUnique>(); }

std::unique_ptr<TZDBMetaObjectDef> TZDBConstraintDefs::CreateLike(const TZDBMetaObjectDef& source) const {
  return CreateOfType(static_cast<const TZDBConstraintDef&>(source).ConstraintType());
}

std::unique_ptr<TZDBConstraintDef> TZDBConstraintDefs::CreateOfType(uint8_t type) {
  switch (type) {
    case ConstraintTypeCode(TZDBConstraintType::PrimaryKey):
      return std::make_unique<TZDBConstraintDefPrimary>();
    case ConstraintTypeCode(TZDBConstraintType::Unique):
      return std::make_unique<TZDBConstraintDefUnique>();
    case ConstraintTypeCode(TZDBConstraintType::NotNull):
      return std::make_unique<TZDBConstraintDefNotNull>();
    case ConstraintTypeCode(TZDBConstraintType::Check):
      return std::make_unique<TZDBConstraintDefCheck>();
    default:
      RaiseError(CopyNotImplemented, "Not implemented yet");
  }
}

void TZDBConstraintDefs::LoadFromStream(TStream& stream) {
  Clear();
  const int32_t count = ReadCount(stream, ReadListCountFailed);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t type = ReadU8(stream, ReadTypeFailed);
    if (!IsImplementedConstraintType(type)) RaiseError(UnknownConstraintType, "Unknown Constraint Type: '%d'", {type});
    std::unique_ptr<TZDBConstraintDef> definition = CreateOfType(type);
    definition->LoadFromStream(stream);
    AddItem(std::move(definition));
  }
}

void TZDBConstraintDefs::SaveToStream(TStream& stream) const {
  WriteI32(stream, Count(), WriteListCountFailed);
  for (int32_t i = 0; i < Count(); ++i) {
    WriteU8(stream, Items(i).ConstraintType(), WriteTypeFailed);
    Items(i).SaveToStream(stream);
  }
}

void TZDBConstraintDefs::SetTableName(std::string_view tableName) {
  for (int32_t i = 0; i < Count(); ++i) Items(i).SetTableName(tableName);
}

void TZDBConstraintDefs::GenerateNames(const RandomSource& random) {
  const RandomSource draw = random ? random : RandomSource(os::Random);
  for (int32_t i = 0; i < Count(); ++i) {
    TZDBConstraintDef& constraint = Items(i);
    if (!constraint.Name().empty()) continue;
    const char* kind = nullptr;
    if (constraint.ConstraintType() == ConstraintTypeCode(TZDBConstraintType::NotNull)) kind = NotNullNamePart;
    if (constraint.ConstraintType() == ConstraintTypeCode(TZDBConstraintType::Check)) kind = CheckNamePart;
    if (kind == nullptr) continue;
    const std::string joined = std::string(1, NameSeparator) + kind + NameSeparator + constraint.TableName() +
                               NameSeparator + constraint.TargetName();
    std::string name = ToShortName(joined);
    // A suffix must survive the cut to 255 characters, or a taken name would stay taken.
    const std::string stem = joined.substr(0, MaxShortNameLength - NameSuffixDigits);
    while (IndexOfName(name) >= 0) name = stem + std::to_string(draw(NameSuffixRange));
    constraint.SetName(name);
  }
}

void TZDBConstraintDefs::Resolve(const TZDBFieldDefs& fields, const TZDBIndexDefs& indexes) {
  for (int32_t i = 0; i < Count(); ++i) {
    TZDBConstraintDef& constraint = Items(i);
    const uint8_t type = constraint.ConstraintType();
    if (type == ConstraintTypeCode(TZDBConstraintType::NotNull) ||
        type == ConstraintTypeCode(TZDBConstraintType::Check)) {
      const TZDBFieldDef* field = fields.FindByName(constraint.TargetName());
      if (field == nullptr) RaiseError(TargetFieldNotFound, "Field '%s' not found", {constraint.TargetName()});
      constraint.SetTargetObjectID(field->ObjectID());
    } else if (type == ConstraintTypeCode(TZDBConstraintType::PrimaryKey) ||
               type == ConstraintTypeCode(TZDBConstraintType::Unique)) {
      const bool primary = type == ConstraintTypeCode(TZDBConstraintType::PrimaryKey);
      const TZDBIndexDef* index = indexes.FindByName(constraint.TargetName());
      if (index == nullptr)
        RaiseError(primary ? PrimaryIndexNotFound : UniqueIndexNotFound, "Index '%s' not found",
                   {constraint.TargetName()});
      constraint.SetTargetObjectID(index->ObjectID());
      auto* key = dynamic_cast<TZDBKeyConstraintDef*>(&constraint);
      if (key == nullptr) continue;  // a bare definition of the type has no columns
      for (TZDBConstraintColumn& column : key->MutableColumns()) {
        const TZDBFieldDef* field = fields.FindByName(column.FieldName);
        if (field == nullptr)
          RaiseError(primary ? PrimaryColumnNotFound : UniqueColumnNotFound, "Field '%s' not found",
                     {column.FieldName});
        column.FieldObjectID = field->ObjectID();
      }
    } else {
      RaiseError(ResolveNotImplemented, "Not implemented yet");
    }
  }
}

}  // namespace zdb
