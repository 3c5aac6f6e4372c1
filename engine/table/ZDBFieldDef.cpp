#include "engine/table/ZDBFieldDef.h"

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBMetaStream.h"

namespace zdb {
namespace {

[[noreturn]] void RaiseRecordTooLarge() {
  RaiseError(errors::RecordTooLarge);
}

int32_t RowSize(int64_t size) {
  if (size > std::numeric_limits<int32_t>::max()) RaiseRecordTooLarge();
  return static_cast<int32_t>(size);
}

}  // namespace

TZDBFieldDef::TZDBFieldDef(std::string_view name, TZDBLogicalType type, int32_t fieldSize) {
  SetName(name);
  SetDataType(type, fieldSize);
}

void TZDBFieldDef::SetDataType(TZDBLogicalType type, int32_t fieldSize) {
  const TZDBStorageType storageType = LogicalToStorageType(type);
  if (storageType == TZDBStorageType::None)
    RaiseError(errors::UnsupportedDataType, {LogicalTypeName(type)});
  const int32_t memoryDataSize = MemoryDataSizeOf(storageType, fieldSize);  // raises before anything changes
  logicalType_ = type;
  storageType_ = storageType;
  fieldSize_ = fieldSize;
  memoryDataSize_ = memoryDataSize;
  storedDataSize_ = StoredDataSizeOf(storageType, fieldSize);
}

void TZDBFieldDef::RecomputeWidths() {
  memoryDataSize_ = MemoryDataSizeOf(storageType_, fieldSize_);
  storedDataSize_ = StoredDataSizeOf(storageType_, fieldSize_);
}

void TZDBFieldDef::SetDefaultValue(const TZDBVariant& value) {
  defaultValue_.Assign(value, true);
  defaultExpression_ = TZDBDefaultExpression::FromDefault(defaultValue_);
}

void TZDBFieldDef::Assign(const TZDBMetaObjectDef& source) {
  TZDBMetaObjectDef::Assign(source);
  const auto* field = dynamic_cast<const TZDBFieldDef*>(&source);
  if (field == nullptr) return;
  storageType_ = field->storageType_;
  logicalType_ = field->logicalType_;
  fieldSize_ = field->fieldSize_;
  storedDataSize_ = field->storedDataSize_;
  memoryDataSize_ = field->memoryDataSize_;
  storedOffset_ = field->storedOffset_;
  memoryOffset_ = field->memoryOffset_;
  blobCompressionAlgorithm_ = field->blobCompressionAlgorithm_;
  blobCompressionMode_ = field->blobCompressionMode_;
  blobBlockSize_ = field->blobBlockSize_;
  autoincIncrement_ = field->autoincIncrement_;
  autoincInitialValue_ = field->autoincInitialValue_;
  autoincMinValue_ = field->autoincMinValue_;
  autoincMaxValue_ = field->autoincMaxValue_;
  autoincCycled_ = field->autoincCycled_;
  SetDefaultValue(field->defaultValue_);
}

void TZDBFieldDef::LoadFromStream(TStream& stream) {
  TZDBMetaObjectDef::LoadFromStream(stream);
  storageType_ = static_cast<TZDBStorageType>(ReadU8(stream, errors::FieldDefReadStorageTypeFailed));
  logicalType_ = static_cast<TZDBLogicalType>(ReadU8(stream, errors::FieldDefReadLogicalTypeFailed));
  fieldSize_ = ReadI32(stream, errors::FieldDefReadFieldSizeFailed);
  if (IsBlob()) {
    blobCompressionAlgorithm_ = ReadU8(stream, errors::FieldDefReadBlobAlgorithmFailed);
    blobCompressionMode_ = ReadU8(stream, errors::FieldDefReadBlobModeFailed);
    blobBlockSize_ = ReadI32(stream, errors::FieldDefReadBlobBlockSizeFailed);
  }
  autoincIncrement_ = ReadI64(stream, errors::FieldDefReadIncrementFailed);
  autoincInitialValue_ = ReadI64(stream, errors::FieldDefReadInitialValueFailed);
  autoincMinValue_ = ReadI64(stream, errors::FieldDefReadMinValueFailed);
  autoincMaxValue_ = ReadI64(stream, errors::FieldDefReadMaxValueFailed);
  autoincCycled_ = ReadU8(stream, errors::FieldDefReadCycledFailed) != 0;
  TZDBVariant defaultValue;
  defaultValue.LoadFromStream(stream);
  SetDefaultValue(defaultValue);
  RecomputeWidths();
}

void TZDBFieldDef::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  WriteU8(stream, StorageTypeCode(storageType_), errors::FieldDefWriteStorageTypeFailed);
  WriteU8(stream, LogicalTypeCode(logicalType_), errors::FieldDefWriteLogicalTypeFailed);
  WriteI32(stream, fieldSize_, errors::FieldDefWriteFieldSizeFailed);
  if (IsBlob()) {
    WriteU8(stream, blobCompressionAlgorithm_, errors::FieldDefWriteBlobAlgorithmFailed);
    WriteU8(stream, blobCompressionMode_, errors::FieldDefWriteBlobModeFailed);
    WriteI32(stream, blobBlockSize_, errors::FieldDefWriteBlobBlockSizeFailed);
  }
  WriteI64(stream, autoincIncrement_, errors::FieldDefWriteIncrementFailed);
  WriteI64(stream, autoincInitialValue_, errors::FieldDefWriteInitialValueFailed);
  WriteI64(stream, autoincMinValue_, errors::FieldDefWriteMinValueFailed);
  WriteI64(stream, autoincMaxValue_, errors::FieldDefWriteMaxValueFailed);
  WriteU8(stream, autoincCycled_ ? BooleanTrue : 0, errors::FieldDefWriteCycledFailed);
  defaultValue_.SaveToStream(stream);
}

TZDBFieldDef& TZDBFieldDefs::InternalAddCreated() {
  auto definition = std::make_unique<TZDBFieldDef>();
  TZDBFieldDef& added = *definition;
  Add(std::move(definition));
  return added;
}

std::unique_ptr<TZDBMetaObjectDef> TZDBFieldDefs::CreateLike(const TZDBMetaObjectDef&) const {
  return std::make_unique<TZDBFieldDef>();
}

void TZDBFieldDefs::RecomputeOffsets() {
  int64_t storedSum = NullMapSize();
  int64_t memorySum = storedSum;
  for (int32_t i = 0; i < Count(); ++i) {
    TZDBFieldDef& field = Items(i);
    field.SetOffsets(RowSize(storedSum), RowSize(memorySum));
    storedSum += field.StoredDataSize();
    memorySum += field.MemoryDataSize();
  }
  RowSize(storedSum);
  RowSize(memorySum);
}

int32_t TZDBFieldDefs::RecordBufferSize() const {
  int64_t size = NullMapSize();
  for (int32_t i = 0; i < Count(); ++i) size += Items(i).MemoryDataSize();
  return RowSize(size);
}

int32_t TZDBFieldDefs::StoredRecordSize() const {
  int64_t size = NullMapSize();
  for (int32_t i = 0; i < Count(); ++i) size += Items(i).StoredDataSize();
  return RowSize(size);
}

}  // namespace zdb
