#include "engine/table/ZDBConstraintDef.h"

#include <string>

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBMetaStream.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

// IDs (reserved, table, target), then prefix and body of each name (reserved, table, target).
constexpr const TZDBError* NotNullWriteCodes[9] = {&errors::ConstraintNotNullWriteReservedIDFailed, &errors::ConstraintNotNullWriteTableIDFailed, &errors::ConstraintNotNullWriteTargetIDFailed, &errors::ConstraintNotNullWriteReservedNamePrefixFailed, &errors::ConstraintNotNullWriteReservedNameFailed, &errors::ConstraintNotNullWriteTableNamePrefixFailed, &errors::ConstraintNotNullWriteTableNameFailed, &errors::ConstraintNotNullWriteTargetNamePrefixFailed, &errors::ConstraintNotNullWriteTargetNameFailed};
constexpr const TZDBError* NotNullReadCodes[9] = {&errors::ConstraintNotNullReadReservedIDFailed, &errors::ConstraintNotNullReadTableIDFailed, &errors::ConstraintNotNullReadTargetIDFailed, &errors::ConstraintNotNullReadReservedNamePrefixFailed, &errors::ConstraintNotNullReadReservedNameFailed, &errors::ConstraintNotNullReadTableNamePrefixFailed, &errors::ConstraintNotNullReadTableNameFailed, &errors::ConstraintNotNullReadTargetNamePrefixFailed, &errors::ConstraintNotNullReadTargetNameFailed};
constexpr const TZDBError* CheckWriteCodes[9] = {&errors::ConstraintCheckWriteReservedIDFailed, &errors::ConstraintCheckWriteTableIDFailed, &errors::ConstraintCheckWriteTargetIDFailed, &errors::ConstraintCheckWriteReservedNamePrefixFailed, &errors::ConstraintCheckWriteReservedNameFailed, &errors::ConstraintCheckWriteTableNamePrefixFailed, &errors::ConstraintCheckWriteTableNameFailed, &errors::ConstraintCheckWriteTargetNamePrefixFailed, &errors::ConstraintCheckWriteTargetNameFailed};
constexpr const TZDBError* CheckReadCodes[9] = {&errors::ConstraintCheckReadReservedIDFailed, &errors::ConstraintCheckReadTableIDFailed, &errors::ConstraintCheckReadTargetIDFailed, &errors::ConstraintCheckReadReservedNamePrefixFailed, &errors::ConstraintCheckReadReservedNameFailed, &errors::ConstraintCheckReadTableNamePrefixFailed, &errors::ConstraintCheckReadTableNameFailed, &errors::ConstraintCheckReadTargetNamePrefixFailed, &errors::ConstraintCheckReadTargetNameFailed};
constexpr const TZDBError* KeyWriteCodes[9] = {&errors::ConstraintKeyWriteReservedIDFailed, &errors::ConstraintKeyWriteTableIDFailed, &errors::ConstraintKeyWriteTargetIDFailed, &errors::ConstraintKeyWriteReservedNamePrefixFailed, &errors::ConstraintKeyWriteReservedNameFailed, &errors::ConstraintKeyWriteTableNamePrefixFailed, &errors::ConstraintKeyWriteTargetIDFailed, &errors::ConstraintKeyWriteTargetNamePrefixFailed, &errors::ConstraintKeyWriteTargetNameFailed};
constexpr const TZDBError* KeyReadCodes[9] = {&errors::ConstraintKeyReadReservedIDFailed, &errors::ConstraintKeyReadTableIDFailed, &errors::ConstraintKeyReadTargetIDFailed, &errors::ConstraintKeyReadReservedNamePrefixFailed, &errors::ConstraintKeyReadReservedNameFailed, &errors::ConstraintKeyReadTableNamePrefixFailed, &errors::ConstraintKeyReadTableNameFailed, &errors::ConstraintKeyReadTargetNamePrefixFailed, &errors::ConstraintKeyReadTargetNameFailed};

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
  reservedObjectID_ = ReadI32(stream, *codes[0]);
  tableObjectID_ = ReadI32(stream, *codes[1]);
  targetObjectID_ = ReadI32(stream, *codes[2]);
  std::string* names[3] = {&reservedName_, &tableName_, &targetName_};
  for (int i = 0; i < 3; ++i) {
    const TZDBError& prefixCode = *codes[3 + 2 * i];
    const TZDBError& bodyCode = *codes[4 + 2 * i];
    *names[i] = framing == NameFraming::Prefix8 ? ReadShortString8(stream, prefixCode, bodyCode)
                                                : ReadShortString32(stream, prefixCode, bodyCode);
  }
}

void TZDBConstraintDef::SaveReferences(TStream& stream, const ReferenceCodes& codes, NameFraming framing) const {
  WriteI32(stream, reservedObjectID_, *codes[0]);
  WriteI32(stream, tableObjectID_, *codes[1]);
  WriteI32(stream, targetObjectID_, *codes[2]);
  const std::string* names[3] = {&reservedName_, &tableName_, &targetName_};
  for (int i = 0; i < 3; ++i) {
    const TZDBError& prefixCode = *codes[3 + 2 * i];
    const TZDBError& bodyCode = *codes[4 + 2 * i];
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
  const int32_t count = ReadCount(stream, errors::ConstraintKeyReadColumnCountFailed);
  columns_.clear();
  for (int32_t i = 0; i < count; ++i) {
    TZDBConstraintColumn column;
    column.FieldObjectID = ReadI32(stream, errors::ConstraintKeyReadColumnIDFailed);
    column.FieldName = ReadShortString32(stream, errors::ConstraintKeyReadColumnNamePrefixFailed, errors::ConstraintKeyReadColumnNameFailed);
    columns_.push_back(std::move(column));
  }
}

void TZDBKeyConstraintDef::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  SaveReferences(stream, KeyWriteCodes, NameFraming::Prefix32);
  WriteI32(stream, static_cast<int32_t>(columns_.size()), errors::ConstraintKeyWriteColumnCountFailed);
  for (const TZDBConstraintColumn& column : columns_) {
    WriteI32(stream, column.FieldObjectID, errors::ConstraintKeyWriteColumnIDFailed);
    WriteShortString32(stream, column.FieldName, errors::ConstraintKeyWriteColumnNamePrefixFailed, errors::ConstraintKeyWriteColumnNameFailed);
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
      RaiseError(errors::CopyNotImplemented);
  }
}

void TZDBConstraintDefs::LoadFromStream(TStream& stream) {
  Clear();
  const int32_t count = ReadCount(stream, errors::ListCountReadFailed);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t type = ReadU8(stream, errors::ConstraintReadTypeFailed);
    if (!IsImplementedConstraintType(type)) RaiseError(errors::UnknownConstraintType, {type});
    std::unique_ptr<TZDBConstraintDef> definition = CreateOfType(type);
    definition->LoadFromStream(stream);
    AddItem(std::move(definition));
  }
}

void TZDBConstraintDefs::SaveToStream(TStream& stream) const {
  WriteI32(stream, Count(), errors::ListCountWriteFailed);
  for (int32_t i = 0; i < Count(); ++i) {
    WriteU8(stream, Items(i).ConstraintType(), errors::ConstraintWriteTypeFailed);
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
      if (field == nullptr) RaiseError(errors::TargetFieldNotFound, {constraint.TargetName()});
      constraint.SetTargetObjectID(field->ObjectID());
    } else if (type == ConstraintTypeCode(TZDBConstraintType::PrimaryKey) ||
               type == ConstraintTypeCode(TZDBConstraintType::Unique)) {
      const bool primary = type == ConstraintTypeCode(TZDBConstraintType::PrimaryKey);
      const TZDBIndexDef* index = indexes.FindByName(constraint.TargetName());
      if (index == nullptr)
        RaiseError(primary ? errors::PrimaryIndexNotFound : errors::UniqueIndexNotFound, {constraint.TargetName()});
      constraint.SetTargetObjectID(index->ObjectID());
      auto* key = dynamic_cast<TZDBKeyConstraintDef*>(&constraint);
      if (key == nullptr) continue;  // a bare definition of the type has no columns
      for (TZDBConstraintColumn& column : key->MutableColumns()) {
        const TZDBFieldDef* field = fields.FindByName(column.FieldName);
        if (field == nullptr)
          RaiseError(primary ? errors::PrimaryColumnNotFound : errors::UniqueColumnNotFound, {column.FieldName});
        column.FieldObjectID = field->ObjectID();
      }
    } else {
      RaiseError(errors::ResolveNotImplemented);
    }
  }
}

}  // namespace zdb
