#include "engine/table/ZDBFieldTypes.h"

#include <array>
#include <limits>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBTableListFile.h"

namespace zdb {
namespace {

using L = TZDBLogicalType;
using S = TZDBStorageType;
using F = TFieldType;

// (FieldSize + 1) * 2 must stay a valid int32 width.
constexpr int32_t MaxFieldSize = std::numeric_limits<int32_t>::max() / 2 - 1;

constexpr std::array<TSQLFieldType, 62> TypeNames = {{
    {"CHAR", L::Char, S::Char, F::ftFixedChar},
    {"FIXEDCHAR", L::Char, S::Char, F::ftFixedChar},
    {"STRING", L::String, S::String, F::ftString},
    {"VARCHAR", L::String, S::String, F::ftString},
    {"VARCHAR2", L::String, S::String, F::ftString},
    {"WIDECHAR", L::WideChar, S::WideChar, F::ftWideString},
    {"FIXEDWIDECHAR", L::WideChar, S::WideChar, F::ftWideString},
    {"WIDESTRING", L::WideString, S::WideString, F::ftWideString},
    {"WIDEVARCHAR", L::WideString, S::WideString, F::ftWideString},
    {"SHORTINT", L::ShortInt, S::ShortInt, F::ftSmallint},
    {"SIGNEDINT8", L::ShortInt, S::ShortInt, F::ftSmallint},
    {"SMALLINT", L::SmallInt, S::SmallInt, F::ftSmallint},
    {"SIGNEDINT16", L::SmallInt, S::SmallInt, F::ftSmallint},
    {"INTEGER", L::Integer, S::Integer, F::ftInteger},
    {"SIGNEDINT32", L::Integer, S::Integer, F::ftInteger},
    {"LARGEINT", L::LargeInt, S::LargeInt, F::ftLargeint},
    {"INT64", L::LargeInt, S::LargeInt, F::ftLargeint},
    {"SIGNEDINT64", L::LargeInt, S::LargeInt, F::ftLargeint},
    {"BYTE", L::Byte, S::Byte, F::ftWord},
    {"UNSIGNEDINT8", L::Byte, S::Byte, F::ftWord},
    {"WORD", L::Word, S::Word, F::ftWord},
    {"UNSIGNEDINT16", L::Word, S::Word, F::ftWord},
    {"CARDINAL", L::Cardinal, S::Cardinal, F::ftLargeint},
    {"UNSIGNEDINT32", L::Cardinal, S::Cardinal, F::ftLargeint},
    {"AUTOINC", L::AutoInc, S::Integer, F::ftAutoInc},
    {"AUTOINCSHORTINT", L::AutoIncShortInt, S::ShortInt, F::ftAutoInc},
    {"AUTOINCSMALLINT", L::AutoIncSmallInt, S::SmallInt, F::ftAutoInc},
    {"AUTOINCINTEGER", L::AutoIncInteger, S::Integer, F::ftAutoInc},
    {"AUTOINCLARGEINT", L::AutoIncLargeInt, S::LargeInt, F::ftLargeint},
    {"AUTOINCBYTE", L::AutoIncByte, S::Byte, F::ftAutoInc},
    {"AUTOINCWORD", L::AutoIncWord, S::Word, F::ftAutoInc},
    {"AUTOINCCARDINAL", L::AutoIncCardinal, S::Cardinal, F::ftAutoInc},
    {"SINGLE", L::Single, S::Single, F::ftFloat},
    {"FLOAT", L::Float, S::Float, F::ftFloat},
    {"FLOAT", L::Float, S::Float, F::ftBCD},
    {"DOUBLE", L::Float, S::Float, F::ftFloat},
    {"EXTENDED", L::Extended, S::Extended, F::ftFloat},
    {"LOGICAL", L::Logical, S::Logical, F::ftBoolean},
    {"BOOLEAN", L::Logical, S::Logical, F::ftBoolean},
    {"BOOL", L::Logical, S::Logical, F::ftBoolean},
    {"BIT", L::Logical, S::Logical, F::ftBoolean},
    {"CURRENCY", L::Currency, S::Currency, F::ftCurrency},
    {"MONEY", L::Currency, S::Currency, F::ftCurrency},
    {"DATE", L::Date, S::Date, F::ftDate},
    {"TIME", L::Time, S::Time, F::ftTime},
    {"DATETIME", L::DateTime, S::DateTime, F::ftDateTime},
    {"TIMESTAMP", L::TimeStamp, S::DateTime, F::ftTimeStamp},
    {"BYTES", L::Bytes, S::Bytes, F::ftBytes},
    {"VARBYTES", L::VarBytes, S::VarBytes, F::ftVarBytes},
    {"BLOB", L::Blob, S::Blob, F::ftBlob},
    {"BLOB", L::Blob, S::Blob, F::ftParadoxOle},
    {"BLOB", L::Blob, S::Blob, F::ftTypedBinary},
    {"BLOB", L::Blob, S::Blob, F::ftDBaseOle},
    {"BLOB", L::Blob, S::Blob, F::ftOraBlob},
    {"BLOB", L::Blob, S::Blob, F::ftOraClob},
    {"GRAPHIC", L::Graphic, S::Blob, F::ftGraphic},
    {"MEMO", L::Memo, S::Memo, F::ftMemo},
    {"CLOB", L::Memo, S::Memo, F::ftMemo},
    {"FORMATTEDMEMO", L::FormattedMemo, S::Memo, F::ftFmtMemo},
    {"WIDEMEMO", L::WideMemo, S::WideMemo, F::ftBlob},
    {"WIDECLOB", L::WideMemo, S::WideMemo, F::ftBlob},
    {"GUID", L::Guid, S::Char, F::ftGuid},
}};

template <typename Match>
const TSQLFieldType* FirstRow(Match match) {
  for (const TSQLFieldType& row : TypeNames)
    if (match(row)) return &row;
  return nullptr;
}

const TSQLFieldType* RowOfLogical(TZDBLogicalType type) {
  return FirstRow([type](const TSQLFieldType& row) { return row.LogicalType == type; });
}

const TSQLFieldType* RowOfStorage(TZDBStorageType type) {
  return FirstRow([type](const TSQLFieldType& row) { return row.StorageType == type; });
}

}  // namespace

std::span<const TSQLFieldType> SQLFieldTypes() { return TypeNames; }

TZDBStorageType LogicalToStorageType(TZDBLogicalType type) {
  const TSQLFieldType* row = RowOfLogical(type);
  return row ? row->StorageType : TZDBStorageType::None;
}

TFieldType LogicalToDatasetType(TZDBLogicalType type) {
  const TSQLFieldType* row = RowOfLogical(type);
  return row ? row->DatasetType : TFieldType::ftUnknown;
}

std::string LogicalTypeName(TZDBLogicalType type) {
  const TSQLFieldType* row = RowOfLogical(type);
  return row ? row->Name : UnknownTypeName;
}

TZDBLogicalType StorageToLogicalType(TZDBStorageType type) {
  const TSQLFieldType* row = RowOfStorage(type);
  return row ? row->LogicalType : TZDBLogicalType::None;
}

std::string StorageTypeNameOf(TZDBStorageType type) {
  const TSQLFieldType* row = RowOfStorage(type);
  return row ? row->Name : UnknownTypeName;
}

TZDBLogicalType DatasetToLogicalType(TFieldType type) {
  const TSQLFieldType* row = FirstRow([type](const TSQLFieldType& r) { return r.DatasetType == type; });
  if (row == nullptr)
    RaiseError(errors::UnknownDatasetType, {std::to_string(static_cast<int>(type))});
  return row->LogicalType;
}

TZDBLogicalType LogicalTypeOfName(std::string_view name) {
  const TSQLFieldType* row =
      FirstRow([name](const TSQLFieldType& r) { return TZDBTableListFile::SameName(r.Name, name); });
  return row ? row->LogicalType : TZDBLogicalType::None;
}

int32_t MemoryDataSizeOf(TZDBStorageType type, int32_t fieldSize) {
  const auto sizedBy = [&](int32_t unitSize) {
    if (fieldSize < 0 || fieldSize > MaxFieldSize)
      RaiseError(errors::UnsupportedDataType, {StorageTypeNameOf(type)});
    return (fieldSize + 1) * unitSize;
  };
  switch (type) {
    case S::Char:
    case S::String:
    case S::Bytes:
    case S::VarBytes:
      return sizedBy(1);
    case S::WideChar:
    case S::WideString:
      return sizedBy(2);
    case S::ShortInt:
    case S::Byte:
      return 1;
    case S::SmallInt:
    case S::Word:
    case S::Logical:
      return 2;
    case S::Integer:
    case S::Cardinal:
    case S::Single:
    case S::Date:
    case S::Time:
      return 4;
    case S::LargeInt:
    case S::Float:
    case S::DateTime:
    case S::Currency:
      return 8;
    case S::Extended:
      return 10;
    case S::Blob:
    case S::Memo:
    case S::WideMemo:
      return BlobReferenceMemorySize;
    case S::None:
      break;
  }
  RaiseError(errors::UnknownStorageType, {StorageTypeNameOf(type)});
}

int32_t StoredDataSizeOf(TZDBStorageType type, int32_t fieldSize) {
  if (IsBlobType(type)) return BlobReferenceStoredSize;
  return MemoryDataSizeOf(type, fieldSize);
}

}  // namespace zdb
