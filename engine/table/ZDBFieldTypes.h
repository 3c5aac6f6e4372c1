// Field types: the logical type a field definition declares (1..36), the storage type it
// is kept as (ZDBStorageType.h) and the dataset field type the dataset layer gives it, all
// related through one constant table of type names; and the widths a field takes in the
// record buffer and in the stored record.
//
// Every lookup scans the type-name table from its first row and takes the first row that
// matches, so a code with several names answers with its first one ("canonical") and a
// storage type shared by several logical types answers with the first of them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/base/DataSetTypes.h"
#include "engine/base/ZDBStorageType.h"

namespace zdb {

enum class TZDBLogicalType : uint8_t {
  None = 0,
  Char = 1,
  String = 2,
  WideChar = 3,
  WideString = 4,
  ShortInt = 5,
  SmallInt = 6,
  Integer = 7,
  LargeInt = 8,
  Byte = 9,
  Word = 10,
  Cardinal = 11,
  AutoInc = 12,
  AutoIncShortInt = 13,
  AutoIncSmallInt = 14,
  AutoIncInteger = 15,
  AutoIncLargeInt = 16,
  AutoIncByte = 17,
  AutoIncWord = 18,
  AutoIncCardinal = 19,
  Single = 20,
  Float = 21,
  Extended = 22,
  Logical = 23,
  Currency = 24,
  Date = 25,
  Time = 26,
  DateTime = 27,
  TimeStamp = 28,
  Bytes = 29,
  VarBytes = 30,
  Blob = 31,
  Graphic = 32,
  Memo = 33,
  FormattedMemo = 34,
  WideMemo = 35,
  Guid = 36,
};

inline constexpr uint8_t LogicalTypeCode(TZDBLogicalType type) { return static_cast<uint8_t>(type); }

// The dataset framework's field types: the type-name table maps onto them.
using TFieldType = data::TFieldType;

// One row of the type-name table.
struct TSQLFieldType {
  const char* Name;
  TZDBLogicalType LogicalType;
  TZDBStorageType StorageType;
  TFieldType DatasetType;
};

// The 62 rows, logical type 1 first.
std::span<const TSQLFieldType> SQLFieldTypes();

inline constexpr const char* UnknownTypeName = "Unknown";

// Logical type -> storage type, dataset type, canonical name; None, ftUnknown and
// "Unknown" for a code without a row.
TZDBStorageType LogicalToStorageType(TZDBLogicalType type);
TFieldType LogicalToDatasetType(TZDBLogicalType type);
std::string LogicalTypeName(TZDBLogicalType type);
// Storage type -> the first logical type kept that way, and its name; None and "Unknown"
// for a code without a row.
TZDBLogicalType StorageToLogicalType(TZDBStorageType type);
std::string StorageTypeNameOf(TZDBStorageType type);
// Dataset type -> the first logical type of that dataset type; raises 30289
// "Unknown DataType: '%s'" (the type's number) when no row carries it.
TZDBLogicalType DatasetToLogicalType(TFieldType type);
// A type name (letter case ignored) -> its logical type; None when no row has the name.
TZDBLogicalType LogicalTypeOfName(std::string_view name);

// Type classes of logical types.
inline constexpr bool IsAutoincLogicalType(TZDBLogicalType type) {
  return type >= TZDBLogicalType::AutoInc && type <= TZDBLogicalType::AutoIncCardinal;
}
inline constexpr bool IsBlobLogicalType(TZDBLogicalType type) {
  return type >= TZDBLogicalType::Blob && type <= TZDBLogicalType::WideMemo;
}
inline constexpr bool IsByteStringLogicalType(TZDBLogicalType type) {
  return type == TZDBLogicalType::Bytes || type == TZDBLogicalType::VarBytes;
}
// Numeric storage: SHORTINT .. EXTENDED and CURRENCY.
inline constexpr bool IsNumericStorageType(TZDBStorageType type) {
  return (type >= TZDBStorageType::ShortInt && type <= TZDBStorageType::Extended) ||
         type == TZDBStorageType::Currency;
}

// A BLOB field's reference: its width in the record buffer and in the stored record.
inline constexpr int32_t BlobReferenceMemorySize = 10;
inline constexpr int32_t BlobReferenceStoredSize = 6;

// Bytes a field of the storage type and declared size takes in the record buffer.
// Raises 30050 "Unknown DataType: '%s'" for a storage type outside 1..24, and 30007
// "Unsupported data type '%s'" for a size-dependent type whose size is negative or too
// large for a row.
int32_t MemoryDataSizeOf(TZDBStorageType type, int32_t fieldSize);
// Bytes it takes in the stored record: the BLOB reference is shorter there.
int32_t StoredDataSizeOf(TZDBStorageType type, int32_t fieldSize);

}  // namespace zdb
