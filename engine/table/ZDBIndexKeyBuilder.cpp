#include "engine/table/ZDBIndexKeyBuilder.h"

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr int32_t FieldNotFound = 20043;
constexpr int32_t NoFieldManager = 20044;
constexpr int32_t BlobColumn = 20295;

}  // namespace

TZDBIndexKeyDef MakeIndexKeyDef(const TZDBIndexDef& definition, const TZDBFieldDefs& fields) {
  TZDBIndexKeyDef keyDef;
  keyDef.Name = definition.Name();
  keyDef.ObjectID = definition.ObjectID();
  keyDef.Unique = definition.Unique();
  keyDef.Primary = definition.Primary();
  keyDef.RootPageNo = definition.RootPageNo();
  for (const TZDBIndexColumn& column : definition.Columns()) {
    const int32_t fieldNo = fields.IndexOfName(column.FieldName);
    if (fieldNo < 0) RaiseError(FieldNotFound, "Cannot find index field '%s'", {column.FieldName});
    const TZDBFieldDef& field = fields.Items(fieldNo);
    if (field.IsBlob())
      RaiseError(BlobColumn,
                 "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please use "
                 "CAST(blob_field, string) function to convert BLOB field to a string expression before indexing.",
                 {column.FieldName});
    TZDBKeyColumnSource source;
    source.FieldName = column.FieldName;
    source.FieldNo = fieldNo;
    source.MemoryOffset = field.MemoryOffset();
    source.MemoryDataSize = field.MemoryDataSize();
    source.StorageType = field.StorageType();
    source.Descending = column.Descending;
    source.CaseInsensitive = column.CaseInsensitive;
    source.MaxIndexedSize = column.MaxIndexedSize;
    keyDef.Columns.push_back(source);
  }
  return keyDef;
}

TZDBIndexKeyDef MakeIndexKeyDef(const TZDBIndexDef& definition, const TZDBBaseFieldManager* fieldManager) {
  if (fieldManager == nullptr) RaiseError(NoFieldManager, "Pointer is nil");
  return MakeIndexKeyDef(definition, fieldManager->FieldDefs());
}

}  // namespace zdb
