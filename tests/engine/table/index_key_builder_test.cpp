// An index definition resolved against the table's fields for the index layer.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexKeyBuilder.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using L = TZDBLogicalType;

std::unique_ptr<TZDBIndexDef> IndexOn(std::vector<TZDBIndexColumn> columns) {
  auto definition = std::make_unique<TZDBIndexDef>();
  definition->SetName("ANY");
  definition->SetObjectID(12);
  definition->SetUnique(true);
  definition->SetRootPageNo(40);
  definition->SetColumns(std::move(columns));
  return definition;
}

TEST(IndexKeyBuilder, ColumnsTakeTheirFieldsPlaceWidthAndType) {
  TZDBBaseFieldManager manager;
  TZDBFieldDefs fields;
  AddMaximoFields(fields);
  manager.SetFieldDefs(fields);
  const TZDBFieldDef& year = manager.FieldDefs().Items(0);

  TZDBIndexColumn column;
  column.FieldName = "ANY";  // letter case does not matter
  column.Descending = true;
  column.MaxIndexedSize = 3;
  const TZDBIndexKeyDef keyDef = MakeIndexKeyDef(*IndexOn({column}), &manager);
  EXPECT_EQ(keyDef.Name, "ANY");
  EXPECT_EQ(keyDef.ObjectID, 12);
  EXPECT_TRUE(keyDef.Unique);
  EXPECT_EQ(keyDef.RootPageNo, 40);
  ASSERT_EQ(keyDef.Columns.size(), 1u);
  const TZDBKeyColumnSource& source = keyDef.Columns[0];
  EXPECT_EQ(source.FieldNo, 0);
  EXPECT_EQ(source.MemoryOffset, year.MemoryOffset());
  EXPECT_EQ(source.MemoryDataSize, year.MemoryDataSize());
  EXPECT_EQ(source.StorageType, TZDBStorageType::Integer);
  EXPECT_TRUE(source.Descending);
  EXPECT_FALSE(source.CaseInsensitive);
  EXPECT_EQ(source.MaxIndexedSize, 3);
}

TEST(IndexKeyBuilder, MissingAndBlobFieldsAreRefusedInColumnOrder) {
  TZDBFieldDefs fields;
  fields.Add(Field("picture", L::Blob));
  fields.Add(Field("id", L::Integer));
  fields.RecomputeOffsets();
  TZDBIndexColumn missing, blob;
  missing.FieldName = "nothing";
  blob.FieldName = "picture";

  const RaisedError notFound = ErrorOf([&] { MakeIndexKeyDef(*IndexOn({missing, blob}), fields); });
  EXPECT_EQ(notFound.code, 20043);
  EXPECT_EQ(notFound.message, "Cannot find index field 'nothing'");
  EXPECT_EQ(ErrorOf([&] { MakeIndexKeyDef(*IndexOn({blob, missing}), fields); }).code, 20295);
  EXPECT_EQ(ErrorOf([&] { MakeIndexKeyDef(*IndexOn({}), nullptr); }).code, 20044);
}

}  // namespace
}  // namespace zdb
