#include "engine/table/ZDBIndexManager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/base/ZDBException.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/base/ZDBStorageType.h"
#include "engine/table/ZDBIndexKeyBuilder.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

// The cursor an index entry is removed for, with the row as it is stored instead of the
// cursor's own buffer.
class StoredRowCursor : public TZDBIndexCursor {
 public:
  StoredRowCursor(const TZDBIndexCursor& cursor, const uint8_t* storedRow) : cursor_(cursor), storedRow_(storedRow) {}
  int32_t SessionID() const override { return cursor_.SessionID(); }
  const uint8_t* RecordBuffer() const override { return storedRow_; }
  const uint8_t* OriginalRecordBuffer() const override { return storedRow_; }
  TZDBRecordID RecordID() const override { return cursor_.RecordID(); }

 private:
  const TZDBIndexCursor& cursor_;
  const uint8_t* storedRow_;
};

}  // namespace

TZDBBaseIndexManager::TZDBBaseIndexManager(TZDBIndexManagerOwner& owner, TZDBPageManager& pages,
                                           TZDBPageManager& temporaryPages)
    : owner_(owner), pages_(pages), temporaryPages_(temporaryPages) {}

TZDBBaseIndexManager::~TZDBBaseIndexManager() = default;

// --- definitions ---------------------------------------------------------------------------

void TZDBBaseIndexManager::LoadIndexDefs(TStream& stream) {
  CloseAllIndexes();
  definitions_.LoadFromStream(stream);
}

void TZDBBaseIndexManager::SaveIndexDefs(TStream& stream) const { definitions_.SaveToStream(stream); }

void TZDBBaseIndexManager::AssignIndexDefs(const TZDBIndexDefs& definitions) {
  CloseAllIndexes();
  definitions_.Assign(definitions);
}

const TZDBIndexDef* TZDBBaseIndexManager::FindIndexDef(int32_t objectID) const {
  return definitions_.FindByObjectID(objectID);
}

const TZDBIndexDef* TZDBBaseIndexManager::FindIndexDefByName(std::string_view name, int32_t session) const {
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    const TZDBIndexDef& definition = definitions_.Items(i);
    if (VisibleTo(definition, session) && SameObjectName(definition.Name(), name)) return &definition;
  }
  return nullptr;
}

void TZDBBaseIndexManager::RenameField(std::string_view oldName, std::string_view newName) {
  // Open objects carry the column names they were opened with; they reopen on next use.
  CloseAllIndexes();
  for (int32_t i = 0; i < definitions_.Count(); ++i) definitions_.Items(i).RenameColumnField(oldName, newName);
}

bool TZDBBaseIndexManager::VisibleTo(const TZDBIndexDef& definition, int32_t session) const {
  return !definition.Temporary() || definition.OwnerSession() == session;
}

int32_t TZDBBaseIndexManager::PositionOf(int32_t objectID) const {
  const int32_t position = definitions_.IndexOfObjectID(objectID);
  if (position < 0) RaiseError(errors::IndexNotFound);
  return position;
}

TZDBIndexDef& TZDBBaseIndexManager::DefinitionAt(int32_t objectID) {
  return definitions_.Items(PositionOf(objectID));
}

TZDBPageManager& TZDBBaseIndexManager::PagesFor(const TZDBIndexDef& definition) const {
  return definition.Temporary() ? temporaryPages_ : pages_;
}

// --- choosing an index for a column list -----------------------------------------------------

int32_t TZDBBaseIndexManager::FindIndexFor(const std::vector<std::string>& fields,
                                           const std::vector<std::string>& orders,
                                           const std::vector<std::string>& cases, int32_t session) const {
  if (orders.size() != fields.size())
    RaiseError(errors::OrdersLengthDiffers, {fields.size(), orders.size()});
  if (cases.size() != fields.size()) RaiseError(errors::IndexOrderCasesLengthDiffers, {fields.size(), cases.size()});
  const TZDBBaseFieldManager* fieldManager = owner_.IndexedFieldManager();

  const auto isTextField = [&](const std::string& name) {
    if (fieldManager == nullptr) return false;
    const TZDBFieldDef* field = fieldManager->FieldDefs().FindByName(name);
    return field != nullptr && IsTextType(field->StorageType());
  };
  const auto serves = [&](const TZDBIndexDef& definition) {
    const std::vector<TZDBIndexColumn>& columns = definition.Columns();
    if (columns.size() < fields.size() || !VisibleTo(definition, session)) return false;
    for (size_t i = 0; i < fields.size(); ++i) {
      const TZDBIndexColumn& column = columns[i];
      if (!SameObjectName(column.FieldName, fields[i])) return false;
      if (SameObjectName(orders[i], AscendingText) && column.Descending) return false;
      if (SameObjectName(orders[i], TZDBIndexDef::DescendingText) && !column.Descending) return false;
      if (SameObjectName(cases[i], CaseSensitiveText) && column.CaseInsensitive && isTextField(fields[i]))
        return false;
      if (SameObjectName(cases[i], TZDBIndexDef::CaseInsensitiveText) && !column.CaseInsensitive) return false;
    }
    return true;
  };
  for (int32_t i = 0; i < definitions_.Count(); ++i)
    if (serves(definitions_.Items(i))) return definitions_.Items(i).ObjectID();
  return NoIndex;
}

std::string TZDBBaseIndexManager::NewTemporaryIndexName() const {
  std::string name;
  do {
    uint16_t words[8];
    for (uint16_t& word : words) word = static_cast<uint16_t>(os::Random(0x10000));
    words[3] = static_cast<uint16_t>((words[3] & 0x0FFF) | 0x4000);  // version 4
    words[4] = static_cast<uint16_t>((words[4] & 0x3FFF) | 0x8000);  // RFC variant
    char guid[39];
    std::snprintf(guid, sizeof guid, "{%04X%04X-%04X-%04X-%04X-%04X%04X%04X}", words[0], words[1], words[2],
                  words[3], words[4], words[5], words[6], words[7]);
    name = std::string(TemporaryIndexPrefix) + guid;
  } while (definitions_.FindByName(name) != nullptr);
  return name;
}

int32_t TZDBBaseIndexManager::CreateTemporaryIndex(const TZDBIndexCursor& cursor,
                                                   const std::vector<std::string>& fields,
                                                   const std::vector<std::string>& orders,
                                                   const std::vector<std::string>& cases) {
  TZDBIndexDef definition;
  definition.SetName(NewTemporaryIndexName());
  definition.SetTemporary(true);
  definition.SetIndexKind(0);
  definition.SetUnique(false);
  definition.SetPrimary(false);
  definition.SetColumns(fields, orders, cases);
  definition.SetOwnerSession(cursor.SessionID());
  definition.SetChangeCounter(owner_.IndexedTableChangeCount());
  return AddIndex(&cursor, definition);
}

int32_t TZDBBaseIndexManager::FindOrCreateIndexFor(const TZDBIndexCursor& cursor,
                                                   const std::vector<std::string>& fields, bool& created,
                                                   const std::vector<std::string>& orders,
                                                   const std::vector<std::string>& cases) {
  created = false;
  const int32_t found = FindIndexFor(fields, orders, cases, cursor.SessionID());
  if (found != NoIndex) return found;
  const int32_t objectID = CreateTemporaryIndex(cursor, fields, orders, cases);
  created = true;
  return objectID;
}

// --- index trees ---------------------------------------------------------------------------

void TZDBBaseIndexManager::BuildAllIndexes(const TZDBIndexCursor* cursor) {
  std::vector<int32_t> objectIDs;
  for (int32_t i = 0; i < definitions_.Count(); ++i) objectIDs.push_back(definitions_.Items(i).ObjectID());
  for (const int32_t objectID : objectIDs) BuildIndex(cursor, DefinitionAt(objectID));
}

int32_t TZDBBaseIndexManager::AddIndex(const TZDBIndexCursor* cursor, const TZDBIndexDef& definition) {
  // Two indexes of one name would make the name lookups ambiguous.
  if (!definition.Name().empty() && definitions_.FindByName(definition.Name()) != nullptr)
    RaiseError(errors::DuplicateFieldName, {definition.Name()});
  auto copy = std::make_unique<TZDBIndexDef>();
  copy->Assign(definition);
  copy->SetRootPageNo(TZDBIndexDef::NoRootPageNo);
  const int32_t objectID = owner_.NextIndexObjectID();
  copy->SetObjectID(objectID);
  const TZDBIndexDef& added = *copy;
  definitions_.Add(std::move(copy));
  BuildIndex(cursor, added);
  return objectID;
}

void TZDBBaseIndexManager::BuildIndex(const TZDBIndexCursor* cursor, const TZDBIndexDef& definition) {
  const int32_t objectID = definition.ObjectID();
  const int32_t position = PositionOf(objectID);
  TZDBIndexDef& listed = definitions_.Items(position);
  CloseIndex(objectID);
  try {
    TZDBIndexKeyDef keyDef = MakeIndexKeyDef(listed, owner_.IndexedFieldManager());
    TZDBBTreeRecordIndex index(PagesFor(listed), owner_);
    index.CreateIndexTree(cursor, keyDef);
    listed.SetRootPageNo(keyDef.RootPageNo);
  } catch (...) {
    definitions_.Delete(position);
    throw;
  }
}

std::unique_ptr<TZDBBTreeRecordIndex> TZDBBaseIndexManager::NewIndexObject(const TZDBIndexDef& definition) {
  auto index = std::make_unique<TZDBBTreeRecordIndex>(PagesFor(definition), owner_);
  index->OpenIndex(MakeIndexKeyDef(definition, owner_.IndexedFieldManager()));
  return index;
}

TZDBBTreeRecordIndex& TZDBBaseIndexManager::OpenIndexObject(int32_t objectID) {
  std::unique_ptr<TZDBBTreeRecordIndex> index = NewIndexObject(DefinitionAt(objectID));
  TZDBBTreeRecordIndex& opened = *index;
  openIndexes_[objectID] = std::move(index);
  return opened;
}

TZDBBTreeRecordIndex& TZDBBaseIndexManager::GetIndex(int32_t objectID) {
  const auto open = openIndexes_.find(objectID);
  if (open != openIndexes_.end()) return *open->second;
  return OpenIndexObject(objectID);
}

void TZDBBaseIndexManager::CloseIndex(int32_t objectID) { openIndexes_.erase(objectID); }

void TZDBBaseIndexManager::CloseAllIndexes() { openIndexes_.clear(); }

void TZDBBaseIndexManager::DropIndex(int32_t session, int32_t objectID) {
  const int32_t position = PositionOf(objectID);
  // A definition that never got a tree has no pages to free.
  if (definitions_.Items(position).RootPageNo() != TZDBIndexDef::NoRootPageNo)
    GetIndex(objectID).DropIndexTree(session);
  CloseIndex(objectID);
  definitions_.Delete(PositionOf(objectID));
}

void TZDBBaseIndexManager::DropTemporaryIndexes(int32_t session) {
  std::vector<int32_t> owned;
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    const TZDBIndexDef& definition = definitions_.Items(i);
    if (definition.Temporary() && definition.OwnerSession() == session) owned.push_back(definition.ObjectID());
  }
  for (const int32_t objectID : owned) DropIndex(session, objectID);
}

void TZDBBaseIndexManager::DropAllIndexes(int32_t session) {
  while (definitions_.Count() > 0) DropIndex(session, definitions_.Items(0).ObjectID());
}

void TZDBBaseIndexManager::EmptyIndex(int32_t session, int32_t objectID) {
  GetIndex(objectID).EmptyIndexTree(session);
  CloseIndex(objectID);
}

void TZDBBaseIndexManager::EmptyAllIndexes(int32_t session) {
  std::vector<int32_t> objectIDs;
  for (int32_t i = 0; i < definitions_.Count(); ++i) objectIDs.push_back(definitions_.Items(i).ObjectID());
  for (const int32_t objectID : objectIDs) EmptyIndex(session, objectID);
}

// --- rows ----------------------------------------------------------------------------------

void TZDBBaseIndexManager::GetRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                                     TZDBIndexPositionCache* cache) {
  TZDBBTreeRecordIndex& index = GetIndex(request.IndexID);
  // With the row's path cached as of the current change counter nothing moved since: the
  // move walks on from the path without the row.
  if (!request.BeforeFirst && !request.AfterLast && !index.HasCachedPath(request, changeCounter, cache)) {
    // The row is reread so that its path is searched with its values as stored now; a
    // failed read leaves the request's buffer with the row's last known values.
    rowBuffer_.assign(static_cast<size_t>(std::max(owner_.RecordBufferSize(), 0)), 0);
    if (!owner_.ReadRecord(session, request.RecordID, rowBuffer_.data())) {
      if (request.RecordBuffer == nullptr) {
        request.GetResult = grNotFound;
        return;
      }
      index.GetNearbyRecord(session, request, changeCounter, cache);
      return;
    }
    if (request.RecordBuffer != nullptr) std::copy(rowBuffer_.begin(), rowBuffer_.end(), request.RecordBuffer);
  }
  index.GetRecord(session, request, changeCounter, cache);
}

void TZDBBaseIndexManager::RaiseDuplicate(const TZDBIndexDef& definition) {
  if (definition.Primary())
    RaiseError(errors::PrimaryKeyDuplicate, {definition.Name()});
  RaiseError(errors::UniqueKeyDuplicate, {definition.Name()});
}

bool TZDBBaseIndexManager::IsKeyFree(int32_t session, int32_t objectID, const uint8_t* recordBuffer,
                                     const uint8_t* oldRecordBuffer) {
  TZDBBTreeRecordIndex& index = GetIndex(objectID);
  if (!index.Definition().EnforcesUniqueness()) return true;
  if (oldRecordBuffer != nullptr) return index.IsNewKeyFree(session, oldRecordBuffer, recordBuffer);
  if (!index.IsKeyFree(session, recordBuffer)) return false;
  RememberFreeKey(session, index, recordBuffer);
  return true;
}

void TZDBBaseIndexManager::RememberFreeKey(int32_t session, const TZDBBTreeRecordIndex& index,
                                           const uint8_t* recordBuffer) {
  const auto size = static_cast<size_t>(std::max(owner_.RecordBufferSize(), 0));
  if (freeKeysRow_.size() != size || std::memcmp(freeKeysRow_.data(), recordBuffer, size) != 0) {
    freeKeys_.clear();
    freeKeysRow_.assign(recordBuffer, recordBuffer + size);
  }
  const int32_t objectID = index.Definition().ObjectID;
  std::erase_if(freeKeys_, [&](const FreeKeyProof& proof) { return proof.ObjectID == objectID; });
  freeKeys_.push_back({session, objectID, index.RootPageNo(), owner_.IndexedTableChangeCount()});
}

bool TZDBBaseIndexManager::ProvenFree(int32_t session, const TZDBBTreeRecordIndex& index,
                                      const uint8_t* recordBuffer) const {
  // The table's change count moves with every row change of any session, and the row is
  // compared byte for byte: an equal proof was found on the very tree the check would search.
  const auto size = static_cast<size_t>(std::max(owner_.RecordBufferSize(), 0));
  if (freeKeysRow_.size() != size || std::memcmp(freeKeysRow_.data(), recordBuffer, size) != 0) return false;
  const int32_t objectID = index.Definition().ObjectID;
  return std::ranges::any_of(freeKeys_, [&](const FreeKeyProof& proof) {
    return proof.Session == session && proof.ObjectID == objectID && proof.RootPageNo == index.RootPageNo() &&
           proof.TableChangeCount == owner_.IndexedTableChangeCount();
  });
}

void TZDBBaseIndexManager::CheckKeysFree(const TZDBIndexCursor& cursor, bool isUpdate) {
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    const TZDBIndexDef& definition = definitions_.Items(i);
    if (!(definition.Unique() || definition.Primary())) continue;
    if (definition.RootPageNo() == TZDBIndexDef::NoRootPageNo) continue;
    if (!isUpdate && ProvenFree(cursor.SessionID(), GetIndex(definition.ObjectID()), cursor.RecordBuffer())) continue;
    if (!IsKeyFree(cursor.SessionID(), definition.ObjectID(), cursor.RecordBuffer(),
                   isUpdate ? cursor.OriginalRecordBuffer() : nullptr))
      RaiseDuplicate(definition);
  }
  freeKeys_.clear();
}

void TZDBBaseIndexManager::InsertRow(const TZDBIndexCursor& cursor) {
  CheckKeysFree(cursor, false);
  InsertCheckedRow(cursor);
}

void TZDBBaseIndexManager::InsertCheckedRow(const TZDBIndexCursor& cursor) {
  freeKeys_.clear();
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    TZDBIndexDef& definition = definitions_.Items(i);
    TZDBBTreeRecordIndex& index = GetIndex(definition.ObjectID());
    index.InsertEntry(cursor);
    definition.SetChangeCounter(definition.ChangeCounter() + 1);
    if (index.RootPageNo() != definition.RootPageNo()) definition.SetRootPageNo(index.RootPageNo());
  }
}

void TZDBBaseIndexManager::UpdateRow(const TZDBIndexCursor& cursor, bool deletePhase) {
  // The new keys are checked while the old entries are all still there, so a duplicate
  // leaves every index as it was.
  if (deletePhase) CheckKeysFree(cursor, true);
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    TZDBIndexDef& definition = definitions_.Items(i);
    GetIndex(definition.ObjectID()).UpdateEntry(cursor, deletePhase);
    if (!deletePhase) definition.SetChangeCounter(definition.ChangeCounter() + 1);
  }
}

void TZDBBaseIndexManager::DeleteRow(const TZDBIndexCursor& cursor) {
  // Keys come from the row as stored, not from what the cursor's buffer may hold.
  rowBuffer_.assign(static_cast<size_t>(std::max(owner_.RecordBufferSize(), 0)), 0);
  if (!owner_.ReadRecord(cursor.SessionID(), cursor.RecordID(), rowBuffer_.data())) return;
  const StoredRowCursor stored(cursor, rowBuffer_.data());
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    TZDBIndexDef& definition = definitions_.Items(i);
    GetIndex(definition.ObjectID()).DeleteEntry(stored);
    definition.SetChangeCounter(definition.ChangeCounter() + 1);
  }
}

void TZDBBaseIndexManager::RefreshTemporaryIndexes(const TZDBIndexCursor& cursor, bool& rebuilt) {
  rebuilt = false;
  if (rebuildingTemporaryIndexes_) return;
  const TZDBScopedFlag guard(rebuildingTemporaryIndexes_, true);
  const int32_t tableChangeCount = owner_.IndexedTableChangeCount();
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    TZDBIndexDef& definition = definitions_.Items(i);
    if (!definition.Temporary() || definition.ChangeCounter() == tableChangeCount) continue;
    TZDBBTreeRecordIndex& index = GetIndex(definition.ObjectID());
    index.RebuildIndex(cursor);
    definition.SetRootPageNo(index.RootPageNo());
    definition.SetChangeCounter(tableChangeCount);
    rebuilt = true;
  }
}

// --- integrity -----------------------------------------------------------------------------

std::map<int32_t, TZDBBTreeCheckReport> TZDBBaseIndexManager::CheckIndexes(int32_t session) {
  std::map<int32_t, TZDBBTreeCheckReport> reports;
  for (int32_t i = 0; i < definitions_.Count(); ++i) {
    const TZDBIndexDef& definition = definitions_.Items(i);
    if (!VisibleTo(definition, session) || definition.RootPageNo() == TZDBIndexDef::NoRootPageNo) continue;
    reports[definition.ObjectID()] = GetIndex(definition.ObjectID()).Check(session);
  }
  return reports;
}

}  // namespace zdb
