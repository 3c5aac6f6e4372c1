#include "engine/dataset/ZDBCursor.h"

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBBlobCache.h"
#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBFieldData.h"

namespace zdb {
namespace {

constexpr size_t MaxFieldNameLength = 255;

}  // namespace

TZDBCursor::TZDBCursor(TZDBBaseSession& session, std::string_view tableName) : TZDBTableCursor(session, tableName) {}

TZDBCursor::~TZDBCursor() = default;

void TZDBCursor::SetIndexName(std::string_view indexName) {
  indexName_ = indexName;
  SetIndexID(indexName_.empty() || !isOpen_ ? NoIndex : FindIndexID(indexName_));
}

TZDBSavedPosition TZDBCursor::SavePosition() const { return {BeforeFirst(), AfterLast(), RecordID()}; }

void TZDBCursor::RestorePosition(const TZDBSavedPosition& position) {
  SetPosition(position.RecordID, position.BeforeFirst, position.AfterLast);
}

bool TZDBCursor::GetFieldData(int32_t fieldNo, const uint8_t* row, uint8_t* datasetBuffer) const {
  if (fieldNo < 0 || fieldNo >= FieldCount()) {
    RaiseError(errors::GetFieldNumber, {fieldNo, FieldCount()});
  }
  return ReadFieldData(fieldNo, tableFields_, datasetBuffer, row, rowSize_);
}

void TZDBCursor::SetFieldData(int32_t fieldNo, uint8_t* row, const uint8_t* datasetBuffer) const {
  if (fieldNo < 0 || fieldNo >= FieldCount()) {
    RaiseError(errors::SetFieldNumber, {fieldNo, FieldCount()});
  }
  WriteFieldData(fieldNo, tableFields_, datasetBuffer, row);
}

void TZDBCursor::RenameField(std::string_view oldName, std::string_view newName) {
  TZDBFieldDef* field = tableFields_.FindByName(oldName);
  if (field == nullptr) RaiseError(errors::CursorRenameFieldMissing, {oldName});
  const TZDBFieldDef* other = tableFields_.FindByName(newName);
  // A new spelling of the same name is no clash.
  if (other != nullptr && other != field)
    RaiseError(errors::CursorRenameFieldTaken, {oldName, newName});
  field->SetName(newName.substr(0, MaxFieldNameLength));
}

void TZDBCursor::DetachRecordBlobs(uint8_t* buffer) const {
  for (int32_t i = 0; i < FieldCount(); ++i) {
    const TZDBFieldDef& field = tableFields_.Items(i);
    if (field.IsBlob()) SaveBlobHandle(buffer + field.MemoryOffset(), TZDBBlobCache::NoHandle);
  }
}

void TZDBCursor::SetLayout(const TZDBFieldDefs& fields, int32_t recordBufferSize, int32_t firstFieldOffset) {
  tableFields_.Assign(fields);
  // The copy lays its fields out exactly as the table does.
  tableFields_.RecomputeOffsets();
  rowSize_ = recordBufferSize;
  firstFieldOffset_ = firstFieldOffset;
}

void TZDBCursor::ClearLayout() {
  tableFields_.Clear();
  rowSize_ = 0;
  firstFieldOffset_ = 0;
}

TZDBCursorTableLock::TZDBCursorTableLock(TZDBCursor& cursor, TZDBTableLockKind kind, int32_t attempts,
                                         int32_t delayBaseMs, bool flag)
    : cursor_(cursor), kind_(kind), held_(cursor.LockTable(kind, attempts, delayBaseMs, flag)) {}

TZDBCursorTableLock::~TZDBCursorTableLock() {
  if (!held_) return;
  try {
    cursor_.UnlockTable(kind_);
  } catch (...) {  // the lock goes with the connection at the latest
  }
}

}  // namespace zdb
