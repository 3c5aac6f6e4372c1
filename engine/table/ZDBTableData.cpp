#include "engine/table/ZDBTableData.h"

#include <algorithm>

#include "engine/base/ZDBException.h"
#include "engine/table/ZDBTableSearch.h"

namespace zdb {

void TZDBTableFieldManager::RenameField(std::string_view oldName, std::string_view newName) {
  if (TZDBFieldDef* field = MutableFieldDefs().FindByName(oldName)) field->SetName(newName);
}

TZDBTableData::TZDBTableData(TZDBDatabaseData& database, std::string_view tableName)
    : database_(database), tableName_(tableName) {}

TZDBTableData::~TZDBTableData() = default;

TZDBPageManager& TZDBTableData::PageManager() const {
  TZDBPageManager* pages = database_.PageManager();
  if (pages == nullptr) RaiseError(errors::NoDatabase);
  return *pages;
}

bool TZDBTableData::HasCursor(const TZDBTableCursor& cursor) const {
  return std::find(cursors_.begin(), cursors_.end(), &cursor) != cursors_.end();
}

void TZDBTableData::RemoveCursor(const TZDBTableCursor& cursor) { std::erase(cursors_, &cursor); }

const TZDBError& TZDBTableData::UnimplementedConstraintCode() const { return errors::UnimplementedConstraint; }

// --- what the indexes see ----------------------------------------------------------------------

int32_t TZDBTableData::RecordBufferSize() const {
  return fieldManager_ != nullptr ? fieldManager_->RecordBufferSize() : 0;
}

int32_t TZDBTableData::IndexedTableChangeCount() const {
  return recordManager_ != nullptr ? recordManager_->ChangeCount() : 0;
}

bool TZDBTableData::ReadRecord(int32_t session, const TZDBRecordID& recordID, uint8_t* recordBuffer) {
  if (recordManager_ == nullptr) return false;
  TZDBNavigationRequest request;
  request.GetMode = grmCurrent;
  request.RecordID = recordID;
  request.RecordBuffer = recordBuffer;
  recordManager_->GetRecord(session, request);
  return request.GetResult == grOK;
}

void TZDBTableData::ForEachRecord(int32_t session, const RowVisitor& visit) {
  if (recordManager_ == nullptr) return;
  std::vector<uint8_t> row(static_cast<size_t>(RecordBufferSize()), 0);
  TZDBNavigationRequest request;
  request.GetMode = grmNext;
  request.BeforeFirst = true;
  request.RecordBuffer = row.data();
  for (;;) {
    recordManager_->GetRecord(session, request);
    if (request.GetResult != grOK) return;
    visit(request.RecordID, row.data());
  }
}

// --- definitions -------------------------------------------------------------------------------

void TZDBTableData::SetFieldDefs(const TZDBFieldDefs& fieldDefs) {
  TZDBFieldDefs copy;
  copy.Assign(fieldDefs);
  copy.AssignObjectIDs([this] { return database_.GetNextObjectID(); });
  fieldManager_->SetFieldDefs(copy);
}

void TZDBTableData::SetIndexDefs(const TZDBIndexDefs& indexDefs) {
  TZDBIndexDefs copy;
  copy.Assign(indexDefs);
  copy.AssignObjectIDs([this] { return database_.GetNextObjectID(); });
  indexManager_->AssignIndexDefs(copy);
}

void TZDBTableData::SetConstraintDefs(const TZDBConstraintDefs& constraintDefs) {
  for (int32_t i = 0; i < constraintDefs.Count(); ++i)
    if (!IsImplementedConstraintType(constraintDefs.Items(i).ConstraintType()))
      RaiseError(UnimplementedConstraintCode());
  TZDBConstraintDefs& target = constraintManager_->MutableConstraintDefs();
  TZDBConstraintDefs copy;
  copy.Assign(constraintDefs);
  copy.AssignObjectIDs([this] { return database_.GetNextObjectID(); });
  copy.SetTableName(tableName_);
  copy.GenerateNames();
  copy.Resolve(fieldManager_->FieldDefs(), indexManager_->IndexDefs());
  target.Assign(copy);
}

void TZDBTableData::GetRecordBufferInfo(int32_t& recordBufferSize, int32_t& firstFieldOffset) const {
  recordBufferSize = RecordBufferSize();
  firstFieldOffset =
      fieldManager_ != nullptr && fieldManager_->FieldCount() > 0 ? fieldManager_->FieldDefs().NullMapSize() : 0;
}

// --- transactions ------------------------------------------------------------------------------

void TZDBTableData::Commit(int32_t session, bool inTransaction) {
  const Guard guard = Lock();
  if (!inTransaction) PageManager().ApplyChanges(session);
}

void TZDBTableData::Rollback(int32_t session, bool inTransaction) {
  const Guard guard = Lock();
  if (!inTransaction) PageManager().CancelChanges(session);
}

void TZDBTableData::AfterRollback(int32_t session) {
  const Guard guard = Lock();
  if (indexManager_ == nullptr) return;
  for (TZDBTableCursor* cursor : cursors_)
    if (cursor->SessionID() == session) RefreshIndexState(*cursor);
}

bool TZDBTableData::RefreshIndexState(const TZDBIndexCursor& cursor) {
  bool rebuilt = false;
  if (indexManager_ != nullptr) indexManager_->RefreshTemporaryIndexes(cursor, rebuilt);
  return rebuilt;
}

// --- table operations --------------------------------------------------------------------------

void TZDBTableData::DeleteTable(TZDBTableCursor& /*cursor*/, bool skipCheck) {
  const Guard guard = Lock();
  if (!skipCheck && !cursors_.empty())
    RaiseError(errors::DeleteOpenTable, {tableName_});
}

void TZDBTableData::EmptyTable(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  fieldManager_->ResetAutoincValues();
  indexManager_->EmptyAllIndexes(cursor.SessionID());
}

void TZDBTableData::RenameTable(std::string_view newName, TZDBTableCursor& /*cursor*/) {
  const Guard guard = Lock();
  if (!cursors_.empty())
    RaiseError(errors::RenameOpenTable, {tableName_});
  tableName_ = newName;
}

void TZDBTableData::OpenTable(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (!HasCursor(cursor)) AddCursor(cursor);
}

void TZDBTableData::CloseTable(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  RemoveCursor(cursor);
}

void TZDBTableData::RenameField(std::string_view oldName, std::string_view newName) {
  const Guard guard = Lock();
  const TZDBFieldDef* field = fieldManager_->FieldDefs().FindByName(oldName);
  if (field == nullptr) RaiseError(errors::TableRenameFieldMissing, {oldName});
  const TZDBFieldDef* other = fieldManager_->FieldDefs().FindByName(newName);
  // A new spelling of the same name is no clash.
  if (other != nullptr && other != field)
    RaiseError(errors::TableRenameFieldTaken, {oldName, newName});
  const std::string oldText(field->Name());
  fieldManager_->RenameField(oldText, newName);
  indexManager_->RenameField(oldText, newName);
  constraintManager_->RenameField(oldText, newName);
}

int32_t TZDBTableData::AddIndex(const TZDBIndexDef& definition, TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  const int32_t indexID = indexManager_->AddIndex(&cursor, definition);
  const TZDBIndexDef* added = indexManager_->FindIndexDef(indexID);
  if (added != nullptr && !added->Temporary() && (added->Primary() || added->Unique()) && !cursor.SkipConstraints())
    constraintManager_->AddConstraintForIndex(*added, tableName_, database_.GetNextObjectID(), *fieldManager_);
  return indexID;
}

void TZDBTableData::DropIndex(int32_t indexID, TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  const TZDBIndexDef* definition = indexManager_->FindIndexDef(indexID);
  if (definition == nullptr) RaiseError(errors::IndexNotFound);
  if (!definition->Temporary()) constraintManager_->DropConstraintForIndex(indexID);
  indexManager_->DropIndex(cursor.SessionID(), indexID);
}

int64_t TZDBTableData::GetLastAutoincValue(const TZDBBaseSession& /*session*/, int32_t /*fieldNo*/) { return 0; }

bool TZDBTableData::CheckConstraints(int32_t session, const uint8_t* recordBuffer, bool checkUniqueness,
                                     bool raiseErrors, const TZDBRecordID& recordID, bool isInsert,
                                     const uint8_t* oldRecordBuffer) {
  const Guard guard = Lock();
  if (constraintManager_ == nullptr) return true;
  const TZDBConstraintContext context{fieldManager_.get(), indexManager_.get(),
                                      recordManager_ != nullptr ? recordManager_->RecordCount() : 0};
  return constraintManager_->CheckConstraints(context, session, recordBuffer, checkUniqueness, raiseErrors, recordID,
                                              isInsert, oldRecordBuffer);
}

// --- reading -------------------------------------------------------------------------------------

bool TZDBTableData::PassesFilter(TZDBTableCursor& cursor, const uint8_t* recordBuffer) {
  if (!cursor.IsFiltered()) return true;
  TZDBTableSearch search(*this, cursor);
  search.AddCursorFilter();
  return search.RowPasses(recordBuffer);
}

uint8_t TZDBTableData::ReadCurrentInto(TZDBTableCursor& cursor) {
  TZDBNavigationRequest request;
  request.GetMode = grmCurrent;
  request.RecordID = cursor.RecordID();
  request.RecordBuffer = cursor.MutableRecordBuffer();
  recordManager_->GetRecord(cursor.SessionID(), request);
  return request.GetResult;
}

uint8_t TZDBTableData::GetRecord(TZDBTableCursor& cursor, uint8_t getMode) {
  const Guard guard = Lock();
  if (recordManager_->RecordCount() == 0) return grEOF;
  const bool moving = getMode == grmNext || getMode == grmPrior;
  const bool forward = getMode == grmNext;

  std::vector<uint8_t> current;
  if (cursor.KeyPrefixStep() > 0 && moving && cursor.OnRow()) {
    current.assign(static_cast<size_t>(RecordBufferSize()), 0);
    if (!ReadRecord(cursor.SessionID(), cursor.RecordID(), current.data())) return grNotFound;
  }

  if (cursor.IsFiltered() && moving) {
    TZDBTableSearch search(*this, cursor);
    search.AddCursorFilter();
    if (!current.empty()) search.AddKeyPrefixStep(current.data(), forward);
    TZDBRecordID found;
    if (!search.Find(forward, false, found)) {
      if (forward)
        cursor.SetToEnd();
      else
        cursor.SetToBegin();
      return forward ? grEOF : grBOF;
    }
    cursor.SetPosition(found);
    return ReadCurrentInto(cursor);
  }

  TZDBNavigationRequest request;
  request.GetMode = getMode;
  request.IndexID = cursor.IndexID();
  request.RecordID = cursor.RecordID();
  request.BeforeFirst = cursor.BeforeFirst();
  request.AfterLast = cursor.AfterLast();
  request.RecordBuffer = cursor.MutableRecordBuffer();
  if (request.IndexID != TZDBNavigationRequest::PhysicalOrder && getMode != grmCurrent)
    indexManager_->GetRecord(cursor.SessionID(), request, recordManager_->ChangeCount(), &cursor.PositionCache());
  else
    recordManager_->GetRecord(cursor.SessionID(), request);
  uint8_t result = request.GetResult;
  if (result == grOK && cursor.IsFiltered() && request.RecordBuffer != nullptr &&
      !PassesFilter(cursor, request.RecordBuffer))
    result = grNotFound;
  cursor.SetPosition(request.RecordID, request.BeforeFirst, request.AfterLast);
  return result;
}

bool TZDBTableData::Locate(TZDBTableCursor& cursor, std::shared_ptr<const TZDBRowExpression> condition) {
  const Guard guard = Lock();
  TZDBTableSearch search(*this, cursor);
  search.AddExpression(std::move(condition));
  search.AddCursorFilter();
  TZDBRecordID found;
  if (!search.Find(true, true, found)) return false;
  cursor.SetPosition(found);
  ReadCurrentInto(cursor);
  return true;
}

bool TZDBTableData::FindKey(TZDBTableCursor& cursor, TZDBSearchOperator comparisonType) {
  const Guard guard = Lock();
  if (cursor.IndexID() == TZDBTableCursor::NoIndex)
    RaiseError(errors::NoActiveIndex);
  TZDBTableSearch search(*this, cursor);
  search.AddKeyCondition(comparisonType, cursor.KeyBuffer(), cursor.KeyBufferSize(), cursor.KeyFieldCount(),
                         cursor.IndexID());
  search.AddCursorFilter();
  TZDBRecordID found;
  if (!search.Find(true, true, found)) return false;
  cursor.SetPosition(found);
  return true;
}

// --- counting and numbering ----------------------------------------------------------------------

void TZDBTableData::RefreshBitmap(TZDBTableCursor& cursor) {
  TZDBRecordBitmap& bitmap = cursor.Bitmap();
  if (!bitmap.IsStale(recordManager_->ChangeCount())) return;
  const bool ordered = cursor.IndexID() != TZDBTableCursor::NoIndex;
  const int64_t size = ordered ? recordManager_->RecordCount() : GetMaxRecordNumber(cursor.SessionID());
  bitmap.Reset(size, ordered, recordManager_->ChangeCount());
  TZDBTableSearch search(*this, cursor);
  search.AddCursorFilter();
  try {
    search.MarkAll(bitmap);
  } catch (...) {
    bitmap.Invalidate();
    throw;
  }
}

int64_t TZDBTableData::CountRecords(TZDBTableCursor& cursor) {
  if (!cursor.IsFiltered()) return recordManager_->RecordCount();
  RefreshBitmap(cursor);
  return cursor.Bitmap().CountSet();
}

int64_t TZDBTableData::GetRecNo(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (!cursor.OnRow() || recordManager_->RecordCount() == 0) return -1;
  const int32_t session = cursor.SessionID();
  const bool filtered = cursor.IsFiltered();
  if (filtered) RefreshBitmap(cursor);
  if (cursor.IndexID() != TZDBTableCursor::NoIndex) {
    const int64_t recNo = indexManager_->GetIndex(cursor.IndexID()).GetRecNo(session, cursor.RecordID(), nullptr);
    if (recNo < 0 || !filtered) return recNo;
    return cursor.Bitmap().CountSetBefore(recNo - 1) + 1;
  }
  // A row that is gone (another session deleted it) has no number.
  std::vector<uint8_t> row(static_cast<size_t>(RecordBufferSize()), 0);
  if (!ReadRecord(session, cursor.RecordID(), row.data())) return -1;
  if (filtered) return cursor.Bitmap().CountSetBefore(RecordIDToNumber(cursor.RecordID())) + 1;
  return PhysicalRecNoOf(session, cursor.RecordID());
}

void TZDBTableData::SetRecNo(TZDBTableCursor& cursor, int64_t recNo) {
  const Guard guard = Lock();
  const int64_t count = CountRecords(cursor);
  if (count == 0) return;
  recNo = std::clamp<int64_t>(recNo, 1, count);
  const int32_t session = cursor.SessionID();
  TZDBRecordID recordID;
  if (cursor.IsFiltered()) {
    const int64_t bit = cursor.Bitmap().NthSet(recNo - 1);
    if (bit == TZDBRecordBitmap::NoBit) return;
    if (cursor.Bitmap().Ordered())
      indexManager_->GetIndex(cursor.IndexID()).GetRecordAtRecNo(session, recordID, bit + 1);
    else
      recordID = NumberToRecordID(bit);
  } else if (cursor.IndexID() != TZDBTableCursor::NoIndex) {
    indexManager_->GetIndex(cursor.IndexID()).GetRecordAtRecNo(session, recordID, recNo);
  } else {
    recordID = PhysicalRecordIDAt(session, recNo);
  }
  cursor.SetPosition(recordID);
}

}  // namespace zdb
