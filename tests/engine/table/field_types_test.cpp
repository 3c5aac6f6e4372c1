#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/ZDBStorageType.h"
#include "engine/table/ZDBFieldTypes.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using L = TZDBLogicalType;
using S = TZDBStorageType;
using F = TFieldType;

TEST(TypeNameTable, HoldsEveryNameOnceInCodeOrderWithFloatTwiceAndBlobSixTimes) {
  const auto rows = SQLFieldTypes();
  ASSERT_EQ(rows.size(), 62u);
  int previous = 1;
  int floats = 0;
  int blobs = 0;
  for (const TSQLFieldType& row : rows) {
    const int code = LogicalTypeCode(row.LogicalType);
    EXPECT_TRUE(code == previous || code == previous + 1) << row.Name;
    previous = code;
    floats += std::string(row.Name) == "FLOAT";
    blobs += std::string(row.Name) == "BLOB";
  }
  EXPECT_EQ(previous, 36);
  EXPECT_EQ(floats, 2);
  EXPECT_EQ(blobs, 6);
}

TEST(TypeNameTable, LogicalTypesMapThroughTheirFirstRow) {
  struct Case {
    L logical;
    S storage;
    F dataset;
    const char* name;
  };
  const Case cases[] = {
      {L::Char, S::Char, F::ftFixedChar, "CHAR"},
      {L::String, S::String, F::ftString, "STRING"},
      {L::WideString, S::WideString, F::ftWideString, "WIDESTRING"},
      {L::ShortInt, S::ShortInt, F::ftSmallint, "SHORTINT"},
      {L::Integer, S::Integer, F::ftInteger, "INTEGER"},
      {L::Cardinal, S::Cardinal, F::ftLargeint, "CARDINAL"},
      {L::AutoInc, S::Integer, F::ftAutoInc, "AUTOINC"},
      {L::AutoIncLargeInt, S::LargeInt, F::ftLargeint, "AUTOINCLARGEINT"},
      {L::Float, S::Float, F::ftFloat, "FLOAT"},  // not the ftBCD row
      {L::Logical, S::Logical, F::ftBoolean, "LOGICAL"},
      {L::TimeStamp, S::DateTime, F::ftTimeStamp, "TIMESTAMP"},
      {L::Blob, S::Blob, F::ftBlob, "BLOB"},
      {L::WideMemo, S::WideMemo, F::ftBlob, "WIDEMEMO"},
      {L::Guid, S::Char, F::ftGuid, "GUID"},
      {L::None, S::None, F::ftUnknown, "Unknown"},
      {static_cast<L>(37), S::None, F::ftUnknown, "Unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LogicalToStorageType(c.logical), c.storage);
    EXPECT_EQ(LogicalToDatasetType(c.logical), c.dataset);
    EXPECT_EQ(LogicalTypeName(c.logical), c.name);
  }
}

TEST(TypeNameTable, StorageTypesAreNamedByTheFirstLogicalTypeKeptThatWay) {
  const std::pair<S, L> cases[] = {{S::Char, L::Char},     {S::Integer, L::Integer}, {S::Float, L::Float},
                                   {S::Blob, L::Blob},     {S::Memo, L::Memo},       {S::Logical, L::Logical},
                                   {S::Bytes, L::Bytes},   {S::DateTime, L::DateTime}, {S::None, L::None}};
  for (const auto& [storage, logical] : cases) EXPECT_EQ(StorageToLogicalType(storage), logical);
  // The table's names agree with the value layer's canonical names for every code.
  for (int code = 0; code <= 25; ++code) {
    const auto storage = static_cast<S>(code);
    EXPECT_EQ(StorageTypeNameOf(storage), StorageTypeName(storage)) << code;
  }
}

TEST(TypeNameTable, DatasetTypesFindTheirFirstLogicalTypeOrFail) {
  const std::pair<F, L> cases[] = {
      {F::ftFloat, L::Single},    {F::ftBCD, L::Float},       {F::ftWideString, L::WideChar},
      {F::ftBlob, L::Blob},       {F::ftInteger, L::Integer}, {F::ftSmallint, L::ShortInt},
      {F::ftAutoInc, L::AutoInc}, {F::ftOraClob, L::Blob},    {F::ftTimeStamp, L::TimeStamp}};
  for (const auto& [dataset, logical] : cases)
    EXPECT_EQ(DatasetToLogicalType(dataset), logical) << static_cast<int>(dataset);
  const RaisedError error = ErrorOf([] { DatasetToLogicalType(static_cast<F>(22)); });
  EXPECT_EQ(error.code, 30289);
  EXPECT_EQ(error.message, "Unknown DataType: '22'");
}

TEST(TypeNameTable, NamesFindTheirLogicalTypeWhateverTheLetterCase) {
  EXPECT_EQ(LogicalTypeOfName("varchar2"), L::String);
  EXPECT_EQ(LogicalTypeOfName("Double"), L::Float);
  EXPECT_EQ(LogicalTypeOfName("CLOB"), L::Memo);
  EXPECT_EQ(LogicalTypeOfName("NUMBER"), L::None);
}

TEST(FieldWidths, FollowTheStorageTypeAndTheDeclaredSize) {
  struct Case {
    S storage;
    int32_t fieldSize;
    int32_t memory;
    int32_t stored;
  };
  const Case cases[] = {
      {S::Char, 5, 6, 6},        {S::WideChar, 5, 12, 12},  {S::String, 10, 11, 11},  {S::WideString, 10, 22, 22},
      {S::ShortInt, 99, 1, 1},   {S::SmallInt, 0, 2, 2},    {S::Integer, 0, 4, 4},    {S::LargeInt, 0, 8, 8},
      {S::Byte, 0, 1, 1},        {S::Word, 0, 2, 2},        {S::Cardinal, 0, 4, 4},   {S::Single, 0, 4, 4},
      {S::Float, 0, 8, 8},       {S::Extended, 0, 10, 10},  {S::Date, 0, 4, 4},       {S::Time, 0, 4, 4},
      {S::DateTime, 0, 8, 8},    {S::Blob, 0, 10, 6},       {S::Memo, 0, 10, 6},      {S::WideMemo, 0, 10, 6},
      {S::Logical, 0, 2, 2},     {S::Currency, 0, 8, 8},    {S::Bytes, 16, 17, 17},   {S::VarBytes, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(StorageTypeName(c.storage));
    EXPECT_EQ(MemoryDataSizeOf(c.storage, c.fieldSize), c.memory);
    EXPECT_EQ(StoredDataSizeOf(c.storage, c.fieldSize), c.stored);
  }
}

TEST(FieldWidths, RejectUnknownStorageTypesAndImpossibleSizes) {
  struct Case {
    S storage;
    int32_t fieldSize;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {S::None, 0, 30050, "Unknown DataType: 'Unknown'"},
      {static_cast<S>(25), 0, 30050, "Unknown DataType: 'Unknown'"},
      {S::String, -1, 30007, "Unsupported data type 'STRING'"},
      {S::WideString, 0x7FFFFFFF, 30007, "Unsupported data type 'WIDESTRING'"},
  };
  for (const Case& c : cases) {
    const RaisedError error = ErrorOf([&] { MemoryDataSizeOf(c.storage, c.fieldSize); });
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
  }
}

TEST(FieldDef, SetDataTypeDerivesStorageAndWidthsOrRefusesUnknownTypes) {
  TZDBFieldDef field("name", L::WideString, 10);
  EXPECT_EQ(field.StorageType(), S::WideString);
  EXPECT_EQ(field.MemoryDataSize(), 22);
  field.SetDataType(L::Graphic, 0);
  EXPECT_EQ(field.StorageType(), S::Blob);
  EXPECT_EQ(field.MemoryDataSize(), 10);
  EXPECT_EQ(field.StoredDataSize(), 6);

  const RaisedError error = ErrorOf([&] { field.SetDataType(static_cast<L>(40), 0); });
  EXPECT_EQ(error.code, 30007);
  EXPECT_EQ(error.message, "Unsupported data type 'Unknown'");
  EXPECT_EQ(field.LogicalType(), L::Graphic);  // unchanged
}

}  // namespace
}  // namespace zdb
