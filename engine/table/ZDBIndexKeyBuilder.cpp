#include "engine/table/ZDBIndexKeyBuilder.h"

#include "engine/base/ZDBException.h"

namespace zdb {

TZDBIndexKeyDef MakeIndexKeyDef(const TZDBIndexDef& definition, const TZDBFieldDefs& fields) {
  TZDBIndexKeyDef keyDef;
  keyDef.Name = definition.Name();
  keyDef.ObjectID = definition.ObjectID();
  keyDef.Unique = definition.Unique();
  keyDef.Primary = definition.Primary();
  keyDef.RootPageNo = definition.RootPageNo();
  for (const TZDBIndexColumn& column : definition.Columns()) {
    const int32_t fieldNo = fields.IndexOfName(column.FieldName);
    if (fieldNo < 0) RaiseError(errors::IndexKeyFieldNotFound, {column.FieldName});
    const TZDBFieldDef& field = fields.Items(fieldNo);
    if (field.IsBlob())
      RaiseError(errors::BlobColumn, {column.FieldName});
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
  if (fieldManager == nullptr) RaiseError(errors::NoFieldManager);
  return MakeIndexKeyDef(definition, fieldManager->FieldDefs());
}

}  // namespace zdb
