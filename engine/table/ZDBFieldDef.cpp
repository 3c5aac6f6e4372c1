#include "engine/table/ZDBFieldDef.h"

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBMetaStream.h"

namespace zdb {
namespace {

constexpr int32_t UnsupportedDataType = 30007;
constexpr int32_t RecordTooLarge = 20174;

constexpr int32_t WriteStorageTypeFailed = 10170;
constexpr int32_t WriteLogicalTypeFailed = 10171;
constexpr int32_t WriteFieldSizeFailed = 10172;
constexpr int32_t WriteBlobAlgorithmFailed = 10175;
constexpr int32_t WriteBlobModeFailed = 10176;
constexpr int32_t WriteBlobBlockSizeFailed = 10177;
constexpr int32_t WriteIncrementFailed = 30412;
constexpr int32_t WriteInitialValueFailed = 30413;
constexpr int32_t WriteMinValueFailed = 30414;
constexpr int32_t WriteMaxValueFailed = 30415;
constexpr int32_t WriteCycledFailed = 30416;

constexpr int32_t ReadStorageTypeFailed = 10187;
constexpr int32_t ReadLogicalTypeFailed = 10188;
constexpr int32_t ReadFieldSizeFailed = 10189;
constexpr int32_t ReadBlobAlgorithmFailed = 10192;
constexpr int32_t ReadBlobModeFailed = 10193;
constexpr int32_t ReadBlobBlockSizeFailed = 10194;
constexpr int32_t ReadIncrementFailed = 30407;
constexpr int32_t ReadInitialValueFailed = 30408;
constexpr int32_t ReadMinValueFailed = 30409;
constexpr int32_t ReadMaxValueFailed = 30410;
constexpr int32_t ReadCycledFailed = 30411;

[[noreturn]] void RaiseRecordTooLarge() {
  RaiseError(RecordTooLarge,
             "Cannot create table. Record is too large to fit in current database page. Please increase page "
             "size of database file or decrease record size");
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
    RaiseError(UnsupportedDataType, "Unsupported data type '%s'", {LogicalTypeName(type)});
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
  storageType_ = static_cast<TZDBStorageType>(ReadU8(stream, ReadStorageTypeFailed));
  logicalType_ = static_cast<TZDBLogicalType>(ReadU8(stream, ReadLogicalTypeFailed));
  fieldSize_ = ReadI32(stream, ReadFieldSizeFailed);
  if (IsBlob()) {
    blobCompressionAlgorithm_ = ReadU8(stream, ReadBlobAlgorithmFailed);
    blobCompressionMode_ = ReadU8(stream, ReadBlobModeFailed);
    blobBlockSize_ = ReadI32(stream, ReadBlobBlockSizeFailed);
  }
  autoincIncrement_ = ReadI64(stream, ReadIncrementFailed);
  autoincInitialValue_ = ReadI64(stream, ReadInitialValueFailed);
  autoincMinValue_ = ReadI64(stream, ReadMinValueFailed);
  autoincMaxValue_ = ReadI64(stream, ReadMaxValueFailed);
  autoincCycled_ = ReadU8(stream, ReadCycledFailed) != 0;
  TZDBVariant defaultValue;
  defaultValue.LoadFromStream(stream);
  SetDefaultValue(defaultValue);
  RecomputeWidths();
}

void TZDBFieldDef::SaveToStream(TStream& stream) const {
  TZDBMetaObjectDef::SaveToStream(stream);
  WriteU8(stream, StorageTypeCode(storageType_), WriteStorageTypeFailed);
  WriteU8(stream, LogicalTypeCode(logicalType_), WriteLogicalTypeFailed);
  WriteI32(stream, fieldSize_, WriteFieldSizeFailed);
  if (IsBlob()) {
    WriteU8(stream, blobCompressionAlgorithm_, WriteBlobAlgorithmFailed);
    WriteU8(stream, blobCompressionMode_, WriteBlobModeFailed);
    WriteI32(stream, blobBlockSize_, WriteBlobBlockSizeFailed);
  }
  WriteI64(stream, autoincIncrement_, WriteIncrementFailed);
  WriteI64(stream, autoincInitialValue_, WriteInitialValueFailed);
  WriteI64(stream, autoincMinValue_, WriteMinValueFailed);
  WriteI64(stream, autoincMaxValue_, WriteMaxValueFailed);
  WriteU8(stream, autoincCycled_ ? BooleanTrue : 0, WriteCycledFailed);
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
