#include "engine/table/ZDBIndexDef.h"

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBMetaStream.h"

namespace zdb {
namespace {

constexpr int32_t DirectionsLengthDiffers = 10278;
constexpr int32_t CasesLengthDiffers = 10279;
constexpr const char* ListLengthsDiffer = "Error - different list lengths. L1 = %d, L2 = %d";

constexpr int32_t WriteKindFailed = 10344;
constexpr int32_t WriteUniqueFailed = 10345;
constexpr int32_t WritePrimaryFailed = 10346;
constexpr int32_t WriteColumnCountFailed = 10347;
constexpr int32_t WriteRootPageNoFailed = 10348;
constexpr int32_t WriteColumnNameLengthFailed = 10354;
constexpr int32_t WriteColumnNameFailed = 10355;
constexpr int32_t WriteDescendingFailed = 10356;
constexpr int32_t WriteCaseInsensitiveFailed = 10357;
constexpr int32_t WriteMaxIndexedSizeFailed = 20169;

constexpr int32_t ReadKindFailed = 10349;
constexpr int32_t ReadUniqueFailed = 10350;
constexpr int32_t ReadPrimaryFailed = 10351;
constexpr int32_t ReadColumnCountFailed = 10352;
constexpr int32_t ReadRootPageNoFailed = 10353;
constexpr int32_t ReadColumnNameLengthFailed = 10358;
constexpr int32_t ReadColumnNameFailed = 10359;
constexpr int32_t ReadDescendingFailed = 10360;
constexpr int32_t ReadCaseInsensitiveFailed = 10361;
constexpr int32_t ReadMaxIndexedSizeFailed = 20168;

uint8_t Flag(bool value) { return value ? FlagTrue : 0; }

}  // namespace

void TZDBIndexDef::SetColumns(std::vector<TZDBIndexColumn> columns) {
  for (TZDBIndexColumn& column : columns) column.FieldName = ToShortName(column.FieldName);
  columns_ = std::move(columns);
}

void TZDBIndexDef::SetColumns(const std::vector<std::string>& fieldNames, const std::vector<std::string>& directions,
                              const std::vector<std::string>& cases) {
  if (directions.size() != fieldNames.size())
    RaiseError(DirectionsLengthDiffers, ListLengthsDiffer, {fieldNames.size(), directions.size()});
  if (cases.size() != fieldNames.size())
    RaiseError(CasesLengthDiffers, ListLengthsDiffer, {fieldNames.size(), cases.size()});
  std::vector<TZDBIndexColumn> columns;
  for (size_t i = 0; i < fieldNames.size(); ++i) {
    TZDBIndexColumn column;
    column.FieldName = fieldNames[i];
    column.Descending = SameObjectName(directions[i], DescendingText);
    column.CaseInsensitive = SameObjectName(cases[i], CaseInsensitiveText);
    columns.push_back(std::move(column));
  }
  SetColumns(std::move(columns));
}

void TZDBIndexDef::RenameColumnField(std::string_view oldName, std::string_view newName) {
  for (TZDBIndexColumn& column : columns_)
    if (SameObjectName(column.FieldName, oldName)) column.FieldName = ToShortName(newName);
}

void TZDBIndexDef::Assign(const TZDBMetaObjectDef& source) {
  TZDBMetaObjectDef::Assign(source);
  const auto* index = dynamic_cast<const TZDBIndexDef*>(&source);
  if (index == nullptr) return;
  indexKind_ = index->indexKind_;
  columns_ = index->columns_;
  unique_ = index->unique_;
  primary_ = index->primary_;
  rootPageNo_ = index->rootPageNo_;
  temporary_ = index->temporary_;
  ownerSession_ = index->ownerSession_;
  changeCounter_ = index->changeCounter_;
}

void TZDBIndexDef::LoadFromStream(TStream& stream) {
  TZDBMetaObjectDef::LoadFromStream(stream);
  indexKind_ = ReadU8(stream, ReadKindFailed);
  unique_ = ReadU8(stream, ReadUniqueFailed) != 0;
  primary_ = ReadU8(stream, ReadPrimaryFailed) != 0;
  const int32_t columnCount = ReadCount(stream, ReadColumnCountFailed);
  rootPageNo_ = ReadI32(stream, ReadRootPageNoFailed);
  columns_.clear();
  for (int32_t i = 0; i < columnCount; ++i) {
    TZDBIndexColumn column;
    column.FieldName = ReadShortName(stream, ReadColumnNameLengthFailed, ReadColumnNameFailed);
    column.Descending = ReadU8(stream, ReadDescendingFailed) != 0;
    column.CaseInsensitive = ReadU8(stream, ReadCaseInsensitiveFailed) != 0;
    column.MaxIndexedSize = ReadI32(stream, ReadMaxIndexedSizeFailed);
    columns_.push_back(std::move(column));
  }
  temporary_ = false;
  ownerSession_ = NoOwnerSession;
}

void TZDBIndexDef::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  WriteU8(stream, indexKind_, WriteKindFailed);
  WriteU8(stream, Flag(unique_), WriteUniqueFailed);
  WriteU8(stream, Flag(primary_), WritePrimaryFailed);
  WriteI32(stream, static_cast<int32_t>(columns_.size()), WriteColumnCountFailed);
  WriteI32(stream, rootPageNo_, WriteRootPageNoFailed);
  for (const TZDBIndexColumn& column : columns_) {
    WriteShortName(stream, column.FieldName, WriteColumnNameLengthFailed, WriteColumnNameFailed);
    WriteU8(stream, Flag(column.Descending), WriteDescendingFailed);
    WriteU8(stream, Flag(column.CaseInsensitive), WriteCaseInsensitiveFailed);
    WriteI32(stream, column.MaxIndexedSize, WriteMaxIndexedSizeFailed);
  }
}

TZDBIndexDef& TZDBIndexDefs::InternalAddCreated() {
  auto definition = std::make_unique<TZDBIndexDef>();
  TZDBIndexDef& added = *definition;
  Add(std::move(definition));
  return added;
}

std::unique_ptr<TZDBMetaObjectDef> TZDBIndexDefs::CreateLike(const TZDBMetaObjectDef&) const {
  return std::make_unique<TZDBIndexDef>();
}

void TZDBIndexDefs::SaveToStream(TStream& stream) const {
  int32_t stored = 0;
  for (int32_t i = 0; i < Count(); ++i)
    if (!Items(i).Temporary()) ++stored;
  WriteI32(stream, stored, WriteListCountFailed);
  for (int32_t i = 0; i < Count(); ++i)
    if (!Items(i).Temporary()) Items(i).SaveToStream(stream);
}

void TZDBIndexDefs::SetItem(int32_t position, std::unique_ptr<TZDBIndexDef> definition) {
  ReplaceItem(position, std::move(definition));
}

}  // namespace zdb
