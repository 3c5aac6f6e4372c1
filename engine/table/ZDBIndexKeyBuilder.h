// Resolves an index definition against the table's fields into the form the index layer
// works with (TZDBIndexKeyDef): for each column the field's number, record-buffer place
// and width, storage type and the column's own settings.
//
// Columns are resolved in order: a column that names no field raises 20043 "Cannot find
// index field '%s'" (field names compared without regard to letter case), a BLOB field
// 20295 (BLOB fields cannot be indexed directly). A missing field manager is 20044
// "Pointer is nil". The field list's offsets must be computed.
#pragma once

#include "engine/index/ZDBIndex.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"

namespace zdb {

TZDBIndexKeyDef MakeIndexKeyDef(const TZDBIndexDef& definition, const TZDBFieldDefs& fields);
TZDBIndexKeyDef MakeIndexKeyDef(const TZDBIndexDef& definition, const TZDBBaseFieldManager* fieldManager);

}  // namespace zdb
