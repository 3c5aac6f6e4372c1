#include "engine/table/ZDBIndexDef.h"

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBMetaStream.h"

namespace zdb {
namespace {

uint8_t Flag(bool value) { return value ? FlagTrue : 0; }

}  // namespace

void TZDBIndexDef::SetColumns(std::vector<TZDBIndexColumn> columns) {
  for (TZDBIndexColumn& column : columns) column.FieldName = ToShortName(column.FieldName);
  columns_ = std::move(columns);
}

void TZDBIndexDef::SetColumns(const std::vector<std::string>& fieldNames, const std::vector<std::string>& directions,
                              const std::vector<std::string>& cases) {
  if (directions.size() != fieldNames.size())
    RaiseError(errors::DirectionsLengthDiffers, {fieldNames.size(), directions.size()});
  if (cases.size() != fieldNames.size())
    RaiseError(errors::IndexDefCasesLengthDiffers, {fieldNames.size(), cases.size()});
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
  indexKind_ = ReadU8(stream, errors::IndexDefReadKindFailed);
  unique_ = ReadU8(stream, errors::IndexDefReadUniqueFailed) != 0;
  primary_ = ReadU8(stream, errors::IndexDefReadPrimaryFailed) != 0;
  const int32_t columnCount = ReadCount(stream, errors::IndexDefReadColumnCountFailed);
  rootPageNo_ = ReadI32(stream, errors::IndexDefReadRootPageNoFailed);
  columns_.clear();
  for (int32_t i = 0; i < columnCount; ++i) {
    TZDBIndexColumn column;
    column.FieldName = ReadShortName(stream, errors::IndexDefReadColumnNameLengthFailed, errors::IndexDefReadColumnNameFailed);
    column.Descending = ReadU8(stream, errors::IndexDefReadDescendingFailed) != 0;
    column.CaseInsensitive = ReadU8(stream, errors::IndexDefReadCaseInsensitiveFailed) != 0;
    column.MaxIndexedSize = ReadI32(stream, errors::IndexDefReadMaxIndexedSizeFailed);
    columns_.push_back(std::move(column));
  }
  temporary_ = false;
  ownerSession_ = NoOwnerSession;
}

void TZDBIndexDef::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  WriteU8(stream, indexKind_, errors::IndexDefWriteKindFailed);
  WriteU8(stream, Flag(unique_), errors::IndexDefWriteUniqueFailed);
  WriteU8(stream, Flag(primary_), errors::IndexDefWritePrimaryFailed);
  WriteI32(stream, static_cast<int32_t>(columns_.size()), errors::IndexDefWriteColumnCountFailed);
  WriteI32(stream, rootPageNo_, errors::IndexDefWriteRootPageNoFailed);
  for (const TZDBIndexColumn& column : columns_) {
    WriteShortName(stream, column.FieldName, errors::IndexDefWriteColumnNameLengthFailed, errors::IndexDefWriteColumnNameFailed);
    WriteU8(stream, Flag(column.Descending), errors::IndexDefWriteDescendingFailed);
    WriteU8(stream, Flag(column.CaseInsensitive), errors::IndexDefWriteCaseInsensitiveFailed);
    WriteI32(stream, column.MaxIndexedSize, errors::IndexDefWriteMaxIndexedSizeFailed);
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
  WriteI32(stream, stored, errors::ListCountWriteFailed);
  for (int32_t i = 0; i < Count(); ++i)
    if (!Items(i).Temporary()) Items(i).SaveToStream(stream);
}

void TZDBIndexDefs::SetItem(int32_t position, std::unique_ptr<TZDBIndexDef> definition) {
  ReplaceItem(position, std::move(definition));
}

}  // namespace zdb
