// Field definitions and the field list of a table.
//
// A field has a logical type, the storage type derived from it, a declared size (for
// the string and byte-string types), its layout in both row forms (computed), a default
// value, the settings of its large-value stream (BLOB storage only) and the settings of
// its automatic increment counter.
//
// Stored form: the definition prefix, then
//   1 StorageType   1 LogicalType   4 FieldSize
//   [BLOB storage only: 1 BlobCompressionAlgorithm  1 BlobCompressionMode  4 BlobBlockSize]
//   8 AutoincIncrement  8 AutoincInitialValue  8 AutoincMinValue  8 AutoincMaxValue
//   1 AutoincCycled
//   DefaultValue in the TZDBVariant stream form
// After loading, the widths are recomputed and the default expression rebuilt.
//
// Row layout: both row forms begin with a null map of ceil(FieldCount / 8) bytes, then
// every field in definition order, packed (RecomputeOffsets).
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

#include "engine/base/ZDBVariant.h"
#include "engine/table/ZDBDefaultExpression.h"
#include "engine/table/ZDBFieldTypes.h"
#include "engine/table/ZDBMetaObjectDef.h"

namespace zdb {

class TZDBFieldDef : public TZDBMetaObjectDef {
 public:
  static constexpr int32_t DefaultBlobBlockSize = 102400;
  static constexpr int64_t NoAutoincLimit = 0;

  TZDBFieldDef() = default;
  TZDBFieldDef(std::string_view name, TZDBLogicalType type, int32_t fieldSize = 0);

  TZDBStorageType StorageType() const { return storageType_; }
  TZDBLogicalType LogicalType() const { return logicalType_; }
  int32_t FieldSize() const { return fieldSize_; }
  // Stores the logical type, derives the storage type and recomputes the widths.
  // Raises 30007 "Unsupported data type '%s'" for a logical type without a storage type.
  void SetDataType(TZDBLogicalType type, int32_t fieldSize);

  int32_t StoredDataSize() const { return storedDataSize_; }
  int32_t MemoryDataSize() const { return memoryDataSize_; }
  int32_t StoredOffset() const { return storedOffset_; }
  int32_t MemoryOffset() const { return memoryOffset_; }
  void SetOffsets(int32_t storedOffset, int32_t memoryOffset) {
    storedOffset_ = storedOffset;
    memoryOffset_ = memoryOffset;
  }

  const TZDBVariant& DefaultValue() const { return defaultValue_; }
  // Copies the value and rebuilds the default expression.
  void SetDefaultValue(const TZDBVariant& value);
  // The expression the default stands for, or null for a plain default.
  const TZDBDefaultExpression* DefaultExpression() const { return defaultExpression_.get(); }

  uint8_t BlobCompressionAlgorithm() const { return blobCompressionAlgorithm_; }
  void SetBlobCompressionAlgorithm(uint8_t algorithm) { blobCompressionAlgorithm_ = algorithm; }
  uint8_t BlobCompressionMode() const { return blobCompressionMode_; }
  void SetBlobCompressionMode(uint8_t mode) { blobCompressionMode_ = mode; }
  int32_t BlobBlockSize() const { return blobBlockSize_; }
  void SetBlobBlockSize(int32_t blockSize) { blobBlockSize_ = blockSize; }

  // The step; 0 counts as 1.
  int64_t AutoincIncrement() const { return autoincIncrement_; }
  void SetAutoincIncrement(int64_t increment) { autoincIncrement_ = increment; }
  int64_t AutoincInitialValue() const { return autoincInitialValue_; }
  void SetAutoincInitialValue(int64_t value) { autoincInitialValue_ = value; }
  int64_t AutoincMinValue() const { return autoincMinValue_; }
  void SetAutoincMinValue(int64_t value) { autoincMinValue_ = value; }
  // The largest value; NoAutoincLimit (0) sets none.
  int64_t AutoincMaxValue() const { return autoincMaxValue_; }
  void SetAutoincMaxValue(int64_t value) { autoincMaxValue_ = value; }
  bool AutoincCycled() const { return autoincCycled_; }
  void SetAutoincCycled(bool cycled) { autoincCycled_ = cycled; }

  bool IsBlob() const { return IsBlobType(storageType_); }
  bool IsAutoinc() const { return IsAutoincLogicalType(logicalType_); }

  void Assign(const TZDBMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

 private:
  void RecomputeWidths();

  TZDBStorageType storageType_ = TZDBStorageType::None;
  TZDBLogicalType logicalType_ = TZDBLogicalType::None;
  int32_t fieldSize_ = 0;
  int32_t storedDataSize_ = 0;
  int32_t memoryDataSize_ = 0;
  int32_t storedOffset_ = 0;
  int32_t memoryOffset_ = 0;
  TZDBVariant defaultValue_;
  std::unique_ptr<TZDBDefaultExpression> defaultExpression_;
  uint8_t blobCompressionAlgorithm_ = 0;
  uint8_t blobCompressionMode_ = 0;
  int32_t blobBlockSize_ = DefaultBlobBlockSize;
  int64_t autoincIncrement_ = 1;
  int64_t autoincInitialValue_ = 0;
  int64_t autoincMinValue_ = 0;
  int64_t autoincMaxValue_ = std::numeric_limits<int64_t>::max();
  bool autoincCycled_ = false;
};

// Bytes of the null map of a row with fieldCount fields.
inline constexpr int32_t NullMapSize(int32_t fieldCount) { return (fieldCount + 7) / 8; }

class TZDBFieldDefs : public TZDBMetaObjectDefsOf<TZDBFieldDef> {
 public:
  TZDBFieldDef& InternalAddCreated() override;
  // Sets StoredOffset and MemoryOffset of every field. Raises 20174 when a row would
  // outgrow what a 32-bit size can describe.
  virtual void RecomputeOffsets();

  int32_t NullMapSize() const { return zdb::NullMapSize(Count()); }
  // The null map and every field's MemoryDataSize / StoredDataSize.
  int32_t RecordBufferSize() const;
  int32_t StoredRecordSize() const;

 protected:
  const char* ClassName() const override { return "TZDBFieldDefs"; }
  std::unique_ptr<TZDBMetaObjectDef> CreateLike(const TZDBMetaObjectDef& source) const override;
};

}  // namespace zdb
