#include "engine/table/ZDBDiskTableData.h"

#include <algorithm>
#include <array>
#include <exception>
#include <mutex>
#include <optional>
#include <type_traits>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/file/ZDBTableLockManager.h"
#include "engine/file/ZDBTablePagesCache.h"
#include "engine/table/ZDBIndexRowCursor.h"
#include "engine/table/ZDBTableMetaData.h"

namespace zdb {
namespace {

constexpr int32_t SystemSession = TZDBPageManager::SystemSession;

constexpr uint8_t MinBlobCompressionMode = 1;

constexpr uint16_t MetaDataPageType = PageTypeCode(TZDBPageType::TableMetaData);
constexpr uint16_t MostUpdatedPageType = PageTypeCode(TZDBPageType::TableMostUpdated);

// Asks for the table exclusively for the lifetime of the guard.
class ExclusiveRequest {
 public:
  explicit ExclusiveRequest(TZDBTableCursor& cursor) : cursor_(cursor), saved_(cursor.Exclusive()) {
    cursor_.SetExclusive(true);
  }
  ~ExclusiveRequest() { cursor_.SetExclusive(saved_); }
  ExclusiveRequest(const ExclusiveRequest&) = delete;
  ExclusiveRequest& operator=(const ExclusiveRequest&) = delete;

 private:
  TZDBTableCursor& cursor_;
  bool saved_;
};

template <typename Action>
void Quietly(Action action) {
  try {
    action();
  } catch (...) {  // a failure being reported already wins
  }
}

}  // namespace

// --- guards --------------------------------------------------------------------------------------

// The tables lock byte for creating, opening, deleting and renaming; the table list is
// reloaded under it, since other processes may have changed it since this one read it.
class TZDBDiskTableData::TablesLock {
 public:
  explicit TablesLock(TZDBDiskDatabaseData& database) : database_(database) {
    database_.LockTables();
    held_ = true;
    try {
      if (TZDBTableListFile* list = database_.TableList()) list->Load(SystemSession);
    } catch (...) {
      Quietly([&] { database_.UnlockTables(); });
      held_ = false;
      throw;
    }
  }
  ~TablesLock() {
    if (held_) Quietly([&] { database_.UnlockTables(); });
  }
  TablesLock(const TablesLock&) = delete;
  TablesLock& operator=(const TablesLock&) = delete;
  // Releases the byte, reporting a failure (20211).
  void Release() {
    held_ = false;
    database_.UnlockTables();
  }

 private:
  TZDBDiskDatabaseData& database_;
  bool held_ = false;
};

// The multi-user frame of a read: the read lock, the reloaded counters, the table as the
// session's current one, the refreshed temporary indexes.
class TZDBDiskTableData::ReadAccess {
 public:
  ReadAccess(TZDBDiskTableData& table, TZDBTableCursor& cursor) : table_(table), session_(cursor.SessionID()) {
    if (!table_.MultiUser()) {
      granted_ = true;
      return;
    }
    if (!table_.LockTable(session_, TableLockRead, false, ReadLockDelayMs, ReadLockAttempts)) return;
    locked_ = true;
    try {
      // Taken before the counters: a commit after it makes the view stale, never wrongly
      // current. Nothing is read while a commit is incomplete: a live writer's is waited
      // for, a dead one's undone or read through first.
      std::optional<int64_t> stamp;
      if (!table_.DiskPages().AwaitCompleteCommit(stamp)) {
        Finish();
        return;
      }
      granted_ = true;
      table_.ReloadMostUpdated(session_);
      if (stamp) table_.currentView_ = CurrentView{session_, *stamp};
      scope_.emplace(table_.DiskPages().CacheTracker(), session_, table_.objectID_);
      if (table_.RefreshIndexState(cursor)) table_.temporaryPages_->ApplyChanges(session_);
    } catch (...) {
      Quietly([&] { Finish(); });
      throw;
    }
  }
  ~ReadAccess() {
    Quietly([&] { Finish(); });
  }
  ReadAccess(const ReadAccess&) = delete;
  ReadAccess& operator=(const ReadAccess&) = delete;

  bool Granted() const { return granted_; }
  // Ends the frame, reporting a failure to release the lock.
  void Finish() {
    scope_.reset();
    if (!locked_) return;
    locked_ = false;
    table_.UnlockTable(session_, TableLockRead);
  }

 private:
  TZDBDiskTableData& table_;
  int32_t session_;
  bool granted_ = false;
  bool locked_ = false;
  std::optional<TZDBDTPCTableScope> scope_;
};

// The frame of a read without the read lock: the page cache trusts the pages it stamped
// with the table's change count (which no commit has moved), as it does under the lock.
class TZDBDiskTableData::QuickReadFrame {
 public:
  QuickReadFrame(TZDBDiskTableData& table, TZDBTableCursor& cursor)
      : tracker_(table.DiskPages().CacheTracker()), session_(cursor.SessionID()), table_(table.objectID_) {
    tracker_.TableLocked(session_, table_, TableLockRead);
    try {
      tracker_.TableChangeCountRead(session_, table_, table.loadedChangeCount_);
      scope_.emplace(tracker_, session_, table_);
      if (table.RefreshIndexState(cursor)) table.temporaryPages_->ApplyChanges(session_);
    } catch (...) {
      scope_.reset();
      tracker_.TableUnlocked(session_, table_, TableLockRead);
      throw;
    }
  }
  ~QuickReadFrame() {
    scope_.reset();
    tracker_.TableUnlocked(session_, table_, TableLockRead);
  }
  QuickReadFrame(const QuickReadFrame&) = delete;
  QuickReadFrame& operator=(const QuickReadFrame&) = delete;

 private:
  TZDBDiskTablePagesCacheManager& tracker_;
  int32_t session_;
  int32_t table_;
  std::optional<TZDBDTPCTableScope> scope_;
};

// The multi-user frame of a row change; the caller holds the write lock.
class TZDBDiskTableData::WriteAccess {
 public:
  WriteAccess(TZDBDiskTableData& table, const TZDBTableCursor& cursor, bool reload) {
    table.ForgetOtherSessionsView(cursor.SessionID());
    if (!table.MultiUser()) return;
    const int32_t session = cursor.SessionID();
    if (reload) table.ReloadMostUpdated(session);
    scope_.emplace(table.DiskPages().CacheTracker(), session, table.objectID_);
    if (table.RefreshIndexState(cursor)) table.temporaryPages_->ApplyChanges(session);
  }

 private:
  std::optional<TZDBDTPCTableScope> scope_;
};

// --- construction ----------------------------------------------------------------------------------

TZDBDiskTableData::TZDBDiskTableData(TZDBDiskDatabaseData& database, std::string_view tableName)
    : TZDBTableData(database, tableName), diskDatabase_(database) {}

TZDBDiskTableData::~TZDBDiskTableData() {
  // The managers refer to this object and its page managers: they go first.
  FreeManagers();
}

TZDBDiskPageManager& TZDBDiskTableData::DiskPages() const {
  TZDBDiskPageManager* pages = diskDatabase_.DiskPageManager();
  if (pages == nullptr) RaiseError(errors::NoDatabase);
  return *pages;
}

TZDBDiskRecordManager* TZDBDiskTableData::DiskRecordManager() const {
  return static_cast<TZDBDiskRecordManager*>(recordManager_.get());
}

TZDBDiskRecordManager& TZDBDiskTableData::Records() const {
  if (recordManager_ == nullptr) RaiseError(errors::NoDatabase);
  return *DiskRecordManager();
}

bool TZDBDiskTableData::TrustsRecordPages(int32_t /*session*/) const {
  TZDBDiskPageManager& pages = DiskPages();
  return pages.FreeSpaceManager().RepairMode() || pages.Header().FormatVersion < layout::MinimumFormatVersion;
}

const TZDBError& TZDBDiskTableData::UnimplementedConstraintCode() const { return errors::DiskUnimplementedConstraint; }

void TZDBDiskTableData::CreateFileObjects() {
  locksFile_ = std::make_unique<TZDBTableLocksFile>(DiskPages());
  metaDataFile_ = std::make_unique<TZDBInternalDBTransactedAccessFile>(PageManager(), MetaDataPageType);
  mostUpdatedFile_ = std::make_unique<TZDBInternalDBTransactedAccessFile>(PageManager(), MostUpdatedPageType);
}

void TZDBDiskTableData::CreateManagers() {
  fieldManager_ = std::make_unique<TZDBTableFieldManager>();
  // The file's own cache capacity was worked out from the machine's memory when the file
  // opened; asking the system again for every table opened costs more than the open itself.
  temporaryPages_ = std::make_unique<TZDBTemporaryPageManager>(PageManager().PageSize(), PageManager().CacheCapacity());
  indexManager_ = std::make_unique<TZDBBaseIndexManager>(*this, PageManager(), *temporaryPages_);
  constraintManager_ = std::make_unique<TZDBBaseConstraintManager>();
  blobManager_ = std::make_unique<TZDBDiskBlobManager>(PageManager(), *fieldManager_, *this, diskDatabase_.FileSystem());
}

void TZDBDiskTableData::CreateRecordManager() {
  auto records = std::make_unique<TZDBDiskRecordManager>(PageManager(), *fieldManager_, *this);
  records->Init(fieldManager_->RecordBufferSize(), fieldManager_->StoredRecordSize());
  recordManager_ = std::move(records);
}

void TZDBDiskTableData::FreeManagers() {
  // The BLOB manager refers to the field manager: it goes first.
  blobManager_.reset();
  recordManager_.reset();
  indexManager_.reset();
  constraintManager_.reset();
  fieldManager_.reset();
  temporaryPages_.reset();
  locksFile_.reset();
  metaDataFile_.reset();
  mostUpdatedFile_.reset();
  openedExclusive_ = false;
  openLocks_.clear();
  ForgetCurrentView();
}

// --- stored forms ------------------------------------------------------------------------------

void TZDBDiskTableData::LoadMetaData(int32_t session) {
  TZDBMemoryStream stream(metaDataFile_->ReadAll(session));
  TZDBIndexDefs indexes;
  const TZDBTableRootPages roots =
      LoadTableMetaData(stream, *fieldManager_, indexes, constraintManager_->MutableConstraintDefs());
  indexManager_->AssignIndexDefs(indexes);
  CreateRecordManager();
  Records().LoadPageIndexRoot(roots.RecordPageIndexRootPageNo);
  Blobs().SetIndexRoot(roots.BlobPageIndexRootPageNo);
}

void TZDBDiskTableData::SaveMetaData(int32_t session) {
  TZDBMemoryStream stream;
  const TZDBTableRootPages roots{Records().SavePageIndexRoot(), BlobPageIndexRoot()};
  SaveTableMetaData(stream, *fieldManager_, indexManager_->IndexDefs(), constraintManager_->ConstraintDefs(), roots);
  metaDataFile_->WriteFile(session, stream.Memory(), MetaDataCompressionLevel, CompressionZlib,
                           static_cast<int32_t>(stream.Size()));
}

void TZDBDiskTableData::ReloadMostUpdated(int32_t session) {
  const Guard guard = Lock();
  ForgetOtherSessionsView(session);
  if (mostUpdatedFile_ == nullptr || recordManager_ == nullptr) RaiseError(errors::NoDatabase);
  const TZDBMostUpdatedCounts counts = LoadMostUpdatedData(mostUpdatedFile_->ReadAll(session), *fieldManager_);
  // Counts that moved since the view was taken were changed by someone else.
  if (counts.ChangeCount != loadedChangeCount_) ForgetCurrentView();
  recordManager_->LoadCounts(counts);
  loadedChangeCount_ = counts.ChangeCount;
  if (MultiUser()) DiskPages().CacheTracker().TableChangeCountRead(session, objectID_, counts.ChangeCount);
}

void TZDBDiskTableData::SetAutoincValues(TZDBTableCursor& cursor, const TZDBBaseFieldManager& source) {
  const Guard guard = Lock();
  if (fieldManager_ == nullptr || recordManager_ == nullptr) RaiseError(errors::NoDatabase);
  const int32_t session = cursor.SessionID();
  const WriteAccess access(*this, cursor, true);
  const std::vector<int64_t> before = fieldManager_->AutoincValues();
  fieldManager_->SetAutoincValues(source.AutoincValues());
  try {
    SaveMostUpdated(session);
    if (!cursor.DeferCommit()) Commit(session, cursor.InTransaction());
  } catch (...) {
    Quietly([&] { fieldManager_->SetAutoincValues(before); });
    if (!cursor.InTransaction()) Quietly([&] { Rollback(session, false); });
    throw;
  }
}

void TZDBDiskTableData::SaveMostUpdated(int32_t session) {
  ForgetOtherSessionsView(session);
  const TZDBMostUpdatedCounts counts = recordManager_->SaveCounts();
  const std::vector<uint8_t> bytes = SaveMostUpdatedData(*fieldManager_, counts);
  mostUpdatedFile_->WriteFile(session, bytes.data(), 0, CompressionNone, static_cast<int32_t>(bytes.size()));
  loadedChangeCount_ = counts.ChangeCount;
}

// --- locks -----------------------------------------------------------------------------------------

bool TZDBDiskTableData::LockTable(int32_t session, TZDBTableLockKind kind, bool flag, int32_t delayBaseMs,
                                  int32_t attempts) {
  const Guard guard = Lock();
  if (!MultiUser()) return true;
  TZDBDatabaseTableLockManager* locks = diskDatabase_.LockManager();
  if (locks == nullptr || locksFile_ == nullptr) RaiseError(errors::TableLockNoRegion);
  if (!locks->LockTable(session, kind, flag, false, delayBaseMs, attempts, *locksFile_)) return false;
  DiskPages().CacheTracker().TableLocked(session, objectID_, kind);
  return true;
}

bool TZDBDiskTableData::UnlockTable(int32_t session, TZDBTableLockKind kind) {
  const Guard guard = Lock();
  if (!MultiUser()) return true;
  TZDBDatabaseTableLockManager* locks = diskDatabase_.LockManager();
  if (locks == nullptr || locksFile_ == nullptr) RaiseError(errors::TableLockNoRegion);
  if (!locks->UnlockTable(session, kind, false, false, *locksFile_)) return false;
  DiskPages().CacheTracker().TableUnlocked(session, objectID_, kind);
  return true;
}

// --- transactions ----------------------------------------------------------------------------------

void TZDBDiskTableData::Commit(int32_t session, bool inTransaction) {
  const Guard guard = Lock();
  // Inside a transaction nothing reaches the file yet.
  if (!inTransaction) ForgetCurrentView();
  TZDBTableData::Commit(session, inTransaction);
  if (!inTransaction && temporaryPages_ != nullptr) temporaryPages_->ApplyChanges(session);
}

void TZDBDiskTableData::Rollback(int32_t session, bool inTransaction) {
  const Guard guard = Lock();
  ForgetCurrentView();
  TZDBTableData::Rollback(session, inTransaction);
  if (inTransaction || !IsOpen()) return;
  temporaryPages_->CancelChanges(session);
  // The counters in memory went with the discarded pages.
  ReloadMostUpdated(session);
}

void TZDBDiskTableData::AfterRollback(int32_t session) {
  const Guard guard = Lock();
  ForgetCurrentView();
  if (!IsOpen()) return;
  ReloadMostUpdated(session);
  temporaryPages_->CancelChanges(session);
  TZDBTableData::AfterRollback(session);
  temporaryPages_->ApplyChanges(session);
}

// --- creating, opening, closing ----------------------------------------------------------------

void TZDBDiskTableData::CreateTable(TZDBTableCursor& cursor, const TZDBFieldDefs& fieldDefs,
                                    const TZDBConstraintDefs& constraintDefs, const TZDBIndexDefs& indexDefs) {
  const Guard guard = Lock();
  if (fieldDefs.Count() == 0) RaiseError(errors::NoFields);
  // A compressed large value needs a level its algorithm can work with.
  for (int32_t i = 0; i < fieldDefs.Count(); ++i) {
    const TZDBFieldDef& field = fieldDefs.Items(i);
    if (field.IsBlob() && field.BlobCompressionAlgorithm() != CompressionNone &&
        (field.BlobCompressionMode() < MinBlobCompressionMode || field.BlobCompressionMode() > MaxCompressionLevel))
      RaiseError(errors::InvalidBlobCompressionMode, {field.Name(), cursor.TableName()});
  }
  TablesLock tables(diskDatabase_);
  // Checked before anything is made: an open table's working objects must stay as they are.
  const TZDBTableListFile* list = diskDatabase_.TableList();
  if (IsOpen() || (list != nullptr && list->Exists(cursor.TableName())))
    RaiseError(errors::TableExists, {cursor.TableName()});
  tableName_ = cursor.TableName();
  objectID_ = diskDatabase_.GetNextObjectID();
  try {
    CreateFileObjects();
    const int32_t locksStartPageNo = locksFile_->Create(diskDatabase_.SlotCount());
    metaDataFile_->Create(SystemSession);
    mostUpdatedFile_->Create(SystemSession);
    CreateManagers();
    SetFieldDefs(fieldDefs);
    SetIndexDefs(indexDefs);
    SetConstraintDefs(constraintDefs);
    CreateRecordManager();
    SaveMostUpdated(SystemSession);
    Records().CreatePageIndex(SystemSession);
    if (fieldManager_->HasBlobFields()) Blobs().CreateIndex(SystemSession);
    indexManager_->BuildAllIndexes(nullptr);
    SaveMetaData(SystemSession);
    diskDatabase_.AddTableToList(tableName_, objectID_, metaDataFile_->StartPageNo(), mostUpdatedFile_->StartPageNo(),
                                 locksStartPageNo);
    diskDatabase_.Commit(SystemSession, false);
  } catch (...) {
    Quietly([&] { PageManager().CancelChanges(SystemSession); });
    Quietly([&] {
      if (TZDBTableListFile* tableList = diskDatabase_.TableList()) tableList->Load(SystemSession);
    });
    FreeManagers();
    throw;
  }
  FreeManagers();
  tables.Release();
}

void TZDBDiskTableData::LoadTable(TZDBTableCursor& cursor) {
  const int32_t session = cursor.SessionID();
  const TZDBTableListEntry entry = diskDatabase_.GetTableFromList(tableName_);
  objectID_ = entry.ObjectID;
  tableName_ = entry.Name;
  CreateFileObjects();
  locksFile_->Open(entry.LocksStartPageNo);
  metaDataFile_->Open(entry.MetaDataStartPageNo);
  mostUpdatedFile_->Open(entry.MostUpdatedStartPageNo);
  CreateManagers();
  LoadMetaData(session);
  ReloadMostUpdated(session);
  openedExclusive_ = cursor.Exclusive();
}

void TZDBDiskTableData::OpenTable(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (HasCursor(cursor)) return;
  std::optional<TablesLock> tables;
  if (!restructuring_) tables.emplace(diskDatabase_);
  if (!cursors_.empty() && cursor.Exclusive() && !openedExclusive_)
    RaiseError(errors::ExclusiveByOtherCursor, {tableName_});
  const bool first = cursors_.empty();
  if (first) {
    try {
      LoadTable(cursor);
    } catch (...) {
      FreeManagers();
      throw;
    }
  }
  AddCursor(cursor);
  if (MultiUser()) {
    const TZDBTableLockKind kind = cursor.Exclusive() ? TableLockExclusive : TableLockOpen;
    bool locked = false;
    try {
      locked = LockTable(cursor.SessionID(), kind, false, OpenLockDelayMs, OpenLockAttempts);
    } catch (...) {
      RemoveCursor(cursor);
      if (first) FreeManagers();
      throw;
    }
    if (!locked) {
      RemoveCursor(cursor);
      if (first) FreeManagers();
      if (kind == TableLockExclusive)
        RaiseError(errors::ExclusiveByOtherUser, {tableName_});
      RaiseError(errors::OpenLocked, {tableName_});
    }
    openLocks_.push_back({&cursor, kind});
    cursor.SetHoldsTableLock(true);
  }
  if (tables) tables->Release();
}

void TZDBDiskTableData::CloseTable(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (!HasCursor(cursor)) return;
  std::exception_ptr failure;
  for (auto it = openLocks_.begin(); it != openLocks_.end(); ++it) {
    if (it->Cursor != &cursor) continue;
    const TZDBTableLockKind kind = it->Kind;
    openLocks_.erase(it);
    try {
      UnlockTable(cursor.SessionID(), kind);
    } catch (...) {
      failure = std::current_exception();
    }
    break;
  }
  cursor.SetHoldsTableLock(false);
  // The values the cursor's own buffer holds go with it; the buffers of a dataset's
  // window were released when the window went.
  if (blobManager_ != nullptr && cursor.MutableRecordBuffer() != nullptr)
    Quietly([&] { blobManager_->ReleaseRecordBlobs(cursor.MutableRecordBuffer(), true); });
  RemoveCursor(cursor);
  if (cursors_.empty()) {
    // Values still listed were left by a buffer that was never released: they are
    // dropped with the manager, and the close says so.
    const bool blobsLeft = blobManager_ != nullptr && blobManager_->InMemoryValueCount() != 0;
    FreeManagers();
    if (!failure && blobsLeft) RaiseError(errors::BlobCacheNotReleased);
  }
  if (failure) std::rethrow_exception(failure);
}

// --- deleting, emptying, renaming --------------------------------------------------------------

void TZDBDiskTableData::DeleteTable(TZDBTableCursor& cursor, bool skipCheck) {
  const Guard guard = Lock();
  TZDBTableData::DeleteTable(cursor, skipCheck);
  TablesLock tables(diskDatabase_);
  const TZDBScopedFlag restructuring(restructuring_, true);
  {
    // A table that another connection has open is left alone: removing it from the list
    // would pull it from under that connection.
    const ExclusiveRequest exclusive(cursor);
    OpenTable(cursor);
  }
  std::exception_ptr failure;
  try {
    std::vector<int32_t> indexIDs;
    for (int32_t i = 0; i < indexManager_->IndexDefs().Count(); ++i)
      indexIDs.push_back(indexManager_->IndexDefs().Items(i).ObjectID());
    for (const int32_t indexID : indexIDs) indexManager_->DropIndex(SystemSession, indexID);
    // Every value of every row goes (page chains included), then the index.
    if (Blobs().PageIndex().HasRoot()) Blobs().DropBlobs(SystemSession, Records());
    Records().DropTableRows(SystemSession);
    for (auto it = openLocks_.begin(); it != openLocks_.end(); ++it) {
      if (it->Cursor != &cursor) continue;
      const TZDBTableLockKind kind = it->Kind;
      openLocks_.erase(it);
      cursor.SetHoldsTableLock(false);
      UnlockTable(cursor.SessionID(), kind);
      break;
    }
    metaDataFile_->Delete(SystemSession);
    mostUpdatedFile_->Delete(SystemSession);
    locksFile_->Delete();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    CloseTable(cursor);
    diskDatabase_.RemoveTableFromList(tableName_);
    diskDatabase_.Commit(SystemSession, false);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
  tables.Release();
}

void TZDBDiskTableData::EmptyTable(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  {
    const ExclusiveRequest exclusive(cursor);
    OpenTable(cursor);
  }
  try {
    const int32_t session = cursor.SessionID();
    ReloadMostUpdated(session);
    const int32_t changeCount = recordManager_->ChangeCount();
    TZDBTableData::EmptyTable(cursor);
    // The values go while the rows that name them are still there to be read.
    if (Blobs().PageIndex().HasRoot()) Blobs().DeleteAllBlobs(session, Records());
    Records().EmptyTable(session);
    // The change count keeps moving: a count that went back to an earlier value would
    // make pages cached by other processes under that value pass as current.
    recordManager_->LoadCounts({changeCount + 1, 0});
    SaveMostUpdated(session);
    Commit(session, cursor.InTransaction());
  } catch (...) {
    Quietly([&] { CloseTable(cursor); });
    throw;
  }
  CloseTable(cursor);
}

void TZDBDiskTableData::RenameTable(std::string_view newName, TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (!cursors_.empty()) {
    TZDBTableData::RenameTable(newName, cursor);  // raises: the table is open
    return;
  }
  TablesLock tables(diskDatabase_);
  const TZDBScopedFlag restructuring(restructuring_, true);
  {
    // A table that another connection has open keeps its name: renaming it would pull it
    // from under that connection.
    const ExclusiveRequest exclusive(cursor);
    OpenTable(cursor);
  }
  CloseTable(cursor);
  diskDatabase_.RenameTableInList(tableName_, newName);
  diskDatabase_.Commit(SystemSession, false);
  TZDBTableData::RenameTable(newName, cursor);
  tables.Release();
}

// --- definition changes ------------------------------------------------------------------------

template <typename Change>
void TZDBDiskTableData::ChangeDefinitions(int32_t session, Change change) {
  bool exclusive = false;
  if (MultiUser()) {
    if (!LockTable(session, TableLockExclusive, false, OpenLockDelayMs, OpenLockAttempts))
      RaiseError(errors::ExclusiveByOtherUser, {tableName_});
    exclusive = true;
  }
  try {
    ReloadMostUpdated(session);
    change();
    SaveMetaData(session);
    // Index pages came and went: other processes must not trust what they cached of the
    // table under the old change count.
    const TZDBMostUpdatedCounts counts = recordManager_->SaveCounts();
    recordManager_->LoadCounts({counts.ChangeCount + 1, counts.RecordCount});
    SaveMostUpdated(session);
    PageManager().ApplyChanges(session);
    temporaryPages_->ApplyChanges(session);
  } catch (...) {
    // Pages a half-built index took must not reach the file with a later commit.
    Quietly([&] { Rollback(session, false); });
    if (exclusive) Quietly([&] { UnlockTable(session, TableLockExclusive); });
    throw;
  }
  if (exclusive) UnlockTable(session, TableLockExclusive);
}

void TZDBDiskTableData::RenameField(std::string_view oldName, std::string_view newName) {
  const Guard guard = Lock();
  const int32_t session = cursors_.empty() ? SystemSession : cursors_.front()->SessionID();
  ChangeDefinitions(session, [&] { TZDBTableData::RenameField(oldName, newName); });
}

int32_t TZDBDiskTableData::AddIndex(const TZDBIndexDef& definition, TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  const int32_t session = cursor.SessionID();
  if (definition.Temporary()) {
    const int32_t indexID = TZDBTableData::AddIndex(definition, cursor);
    temporaryPages_->ApplyChanges(session);
    return indexID;
  }
  int32_t indexID = TZDBTableCursor::NoIndex;
  ChangeDefinitions(session, [&] { indexID = TZDBTableData::AddIndex(definition, cursor); });
  return indexID;
}

void TZDBDiskTableData::DropIndex(int32_t indexID, TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  const int32_t session = cursor.SessionID();
  const TZDBIndexDef* definition = indexManager_->FindIndexDef(indexID);
  if (definition != nullptr && definition->Temporary()) {
    TZDBTableData::DropIndex(indexID, cursor);
    temporaryPages_->ApplyChanges(session);
    return;
  }
  ChangeDefinitions(session, [&] { TZDBTableData::DropIndex(indexID, cursor); });
}

// --- record numbers ------------------------------------------------------------------------------

int64_t TZDBDiskTableData::GetMaxRecordNumber(int32_t session) { return Records().GetMaxRecordNumber(session); }

int64_t TZDBDiskTableData::RecordIDToNumber(const TZDBRecordID& recordID) const {
  return Records().RecordIDToNumber(recordID);
}

TZDBRecordID TZDBDiskTableData::NumberToRecordID(int64_t number) const { return Records().NumberToRecordID(number); }

TZDBRecordID TZDBDiskTableData::PhysicalRecordIDAt(int32_t session, int64_t recNo) {
  return Records().RecordIDAtRecNo(session, recNo);
}

int64_t TZDBDiskTableData::PhysicalRecNoOf(int32_t session, const TZDBRecordID& recordID) {
  return Records().RecNoOfRecordID(session, recordID);
}

// --- reads under the multi-user frame ------------------------------------------------------------

namespace {

// Runs a read in its frame; a frame that cannot be had raises "Table is locked".
template <typename Access, typename Read>
auto ReadFramed(Access& access, const TZDBError& lockedCode, Read read) {
  if (!access.Granted()) RaiseError(lockedCode);
  if constexpr (std::is_void_v<decltype(read())>) {
    read();
    access.Finish();
  } else {
    auto result = read();
    access.Finish();
    return result;
  }
}

}  // namespace

std::optional<int64_t> TZDBDiskTableData::CommitStamp() { return DiskPages().CommitStamp(); }

std::optional<int64_t> TZDBDiskTableData::CurrentViewStamp(int32_t session) {
  const Guard guard = Lock();
  if (!MultiUser() || !currentView_ || currentView_->Session != session) return std::nullopt;
  const std::optional<int64_t> stamp = CommitStamp();
  if (stamp != currentView_->CommitStamp) return std::nullopt;
  return stamp;
}

template <typename Read>
bool TZDBDiskTableData::QuickRead(TZDBTableCursor& cursor, Read read) {
  if (!MultiUser() || !currentView_ || currentView_->Session != cursor.SessionID()) return false;
  const int64_t stamp = currentView_->CommitStamp;
  if (CommitStamp() != stamp) return false;
  const TZDBRecordID recordID = cursor.RecordID();
  const bool beforeFirst = cursor.BeforeFirst();
  const bool afterLast = cursor.AfterLast();
  // A commit that ran meanwhile may have written pages while they were read: the read is
  // done again under the lock, from where it started.
  try {
    const QuickReadFrame frame(*this, cursor);
    read();
  } catch (...) {
    if (CommitStamp() == stamp) throw;
    cursor.SetPosition(recordID, beforeFirst, afterLast);
    return false;
  }
  if (CommitStamp() == stamp) return true;
  cursor.SetPosition(recordID, beforeFirst, afterLast);
  return false;
}

uint8_t TZDBDiskTableData::GetRecord(TZDBTableCursor& cursor, uint8_t getMode) {
  const Guard guard = Lock();
  // A read refills the buffer and clears its handles: what they named goes first.
  if (cursor.MutableRecordBuffer() != nullptr) ReleaseRecordBlobs(cursor.MutableRecordBuffer());
  uint8_t quick = grNotFound;
  if (QuickRead(cursor, [&] { quick = TZDBTableData::GetRecord(cursor, getMode); })) return quick;
  ReadAccess access(*this, cursor);
  if (!access.Granted()) return grNotFound;
  const uint8_t result = TZDBTableData::GetRecord(cursor, getMode);
  access.Finish();
  return result;
}

bool TZDBDiskTableData::Locate(TZDBTableCursor& cursor, std::shared_ptr<const TZDBRowExpression> condition) {
  const Guard guard = Lock();
  if (cursor.MutableRecordBuffer() != nullptr) ReleaseRecordBlobs(cursor.MutableRecordBuffer());
  bool found = false;
  if (QuickRead(cursor, [&] { found = TZDBTableData::Locate(cursor, condition); })) return found;
  ReadAccess access(*this, cursor);
  return ReadFramed(access, errors::LocateLocked, [&] { return TZDBTableData::Locate(cursor, condition); });
}

bool TZDBDiskTableData::FindKey(TZDBTableCursor& cursor, TZDBSearchOperator comparisonType) {
  const Guard guard = Lock();
  bool found = false;
  if (QuickRead(cursor, [&] { found = TZDBTableData::FindKey(cursor, comparisonType); })) return found;
  ReadAccess access(*this, cursor);
  return ReadFramed(access, errors::FindKeyLocked, [&] { return TZDBTableData::FindKey(cursor, comparisonType); });
}

void TZDBDiskTableData::SetRecNo(TZDBTableCursor& cursor, int64_t recNo) {
  const Guard guard = Lock();
  if (QuickRead(cursor, [&] { TZDBTableData::SetRecNo(cursor, recNo); })) return;
  ReadAccess access(*this, cursor);
  ReadFramed(access, errors::SetRecNoLocked, [&] { TZDBTableData::SetRecNo(cursor, recNo); });
}

int64_t TZDBDiskTableData::GetRecNo(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  int64_t recNo = -1;
  if (QuickRead(cursor, [&] { recNo = TZDBTableData::GetRecNo(cursor); })) return recNo;
  ReadAccess access(*this, cursor);
  return ReadFramed(access, errors::GetRecNoLocked, [&] { return TZDBTableData::GetRecNo(cursor); });
}

void TZDBDiskTableData::SetRecNoPhysical(TZDBTableCursor& cursor, int64_t recNo) {
  const Guard guard = Lock();
  ReadAccess access(*this, cursor);
  ReadFramed(access, errors::SetRecNoPhysicalLocked,
             [&] { cursor.SetPosition(Records().RecordIDAtRecNo(cursor.SessionID(), recNo)); });
}

int64_t TZDBDiskTableData::GetRecNoPhysical(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  ReadAccess access(*this, cursor);
  return ReadFramed(access, errors::GetRecNoPhysicalLocked,
                    [&] { return Records().RecNoOfRecordID(cursor.SessionID(), cursor.RecordID()); });
}

int64_t TZDBDiskTableData::GetRecordCount(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  int64_t count = 0;
  if (QuickRead(cursor, [&] { count = CountRecords(cursor); })) return count;
  ReadAccess access(*this, cursor);
  return ReadFramed(access, errors::RecordCountLocked, [&] { return CountRecords(cursor); });
}

int64_t TZDBDiskTableData::GetLastAutoincValue(const TZDBBaseSession& session, int32_t fieldNo) {
  const Guard guard = Lock();
  if (fieldManager_ == nullptr) RaiseError(errors::NoDatabase);
  return fieldManager_->GetLastAutoincValue(session, fieldNo);
}

// --- row changes ---------------------------------------------------------------------------------

void TZDBDiskTableData::UpdateBitmapAfterChange(TZDBTableCursor& cursor, const TZDBRecordID& recordID,
                                                const uint8_t* row) {
  TZDBRecordBitmap& bitmap = cursor.Bitmap();
  // An ordered bitmap's positions all move with a new key: it is rebuilt when next used.
  if (!cursor.IsFiltered() || !bitmap.Active() || bitmap.Ordered()) return;
  bitmap.SetBit(RecordIDToNumber(recordID), PassesFilter(cursor, row));
}

bool TZDBDiskTableData::InsertRecord(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (recordManager_ == nullptr) RaiseError(errors::InsertNoRecordManager);
  uint8_t* row = cursor.MutableRecordBuffer();
  if (row == nullptr) RaiseError(errors::InsertNoBuffer);
  const int32_t session = cursor.SessionID();
  // No reload here: the automatic values the cursor assigned have moved the counters.
  const WriteAccess access(*this, cursor, false);
  // A duplicate of a unique index is refused before anything is stored.
  indexManager_->CheckKeysFree(TZDBIndexRowCursor(session, row, nullptr, {}), false);
  TZDBRecordID recordID;
  const bool inserted = WriteRowWithBlobs(session, row, nullptr, [&] {
    if (!recordManager_->InsertRecord(session, row, recordID)) return false;
    UpdateBitmapAfterChange(cursor, recordID, row);
    indexManager_->InsertCheckedRow(TZDBIndexRowCursor(session, row, nullptr, recordID));
    return true;
  });
  if (!inserted) return false;
  cursor.SetPosition(recordID);
  SaveMostUpdated(session);
  if (!cursor.DeferCommit()) Commit(session, cursor.InTransaction());
  return true;
}

bool TZDBDiskTableData::UpdateRecord(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (recordManager_ == nullptr) RaiseError(errors::UpdateNoRecordManager);
  uint8_t* row = cursor.MutableRecordBuffer();
  if (row == nullptr) RaiseError(errors::UpdateNoBuffer);
  const int32_t session = cursor.SessionID();
  const WriteAccess access(*this, cursor, true);
  const TZDBRecordID recordID = cursor.RecordID();
  // The entries to replace are those of the row as stored, whatever the cursor thinks
  // it was; a row that is gone changes nothing.
  std::vector<uint8_t> stored(static_cast<size_t>(RecordBufferSize()), 0);
  if (!ReadRecord(session, recordID, stored.data())) return false;
  const TZDBIndexRowCursor change(session, row, stored.data(), recordID);
  const bool written = WriteRowWithBlobs(session, row, stored.data(), [&] {
    indexManager_->UpdateRow(change, true);
    if (!recordManager_->UpdateRecord(session, row, recordID)) {
      // The old keys go back, so the indexes still match the row that stays.
      indexManager_->UpdateRow(TZDBIndexRowCursor(session, stored.data(), row, recordID), false);
      return false;
    }
    indexManager_->UpdateRow(change, false);
    return true;
  });
  if (!written) return false;
  UpdateBitmapAfterChange(cursor, recordID, row);
  SaveMostUpdated(session);
  if (!cursor.DeferCommit()) Commit(session, cursor.InTransaction());
  return true;
}

void TZDBDiskTableData::PositionAfterDelete(TZDBTableCursor& cursor, TZDBRecordID& recordID, bool& beforeFirst,
                                            bool& afterLast) {
  const TZDBRecordID savedID = cursor.RecordID();
  const bool savedBeforeFirst = cursor.BeforeFirst();
  const bool savedAfterLast = cursor.AfterLast();
  uint8_t* savedBuffer = cursor.MutableRecordBuffer();
  std::vector<uint8_t> scratch(static_cast<size_t>(RecordBufferSize()), 0);
  const auto restore = [&] {
    cursor.SetPosition(savedID, savedBeforeFirst, savedAfterLast);
    cursor.UseRecordBuffer(savedBuffer);
  };
  cursor.UseRecordBuffer(scratch.data());
  try {
    bool found = TZDBTableData::GetRecord(cursor, grmNext) == grOK;
    if (!found) {
      cursor.SetPosition(savedID, savedBeforeFirst, savedAfterLast);
      found = TZDBTableData::GetRecord(cursor, grmPrior) == grOK;
    }
    recordID = found ? cursor.RecordID() : TZDBRecordID{};
    beforeFirst = !found;
    afterLast = false;
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

bool TZDBDiskTableData::DeleteRecord(TZDBTableCursor& cursor) {
  const Guard guard = Lock();
  if (recordManager_ == nullptr) RaiseError(errors::DeleteNoRecordManager);
  const int32_t session = cursor.SessionID();
  const WriteAccess access(*this, cursor, true);
  const TZDBRecordID recordID = cursor.RecordID();

  TZDBRecordID nextID;
  bool nextBeforeFirst = true;
  bool nextAfterLast = false;
  PositionAfterDelete(cursor, nextID, nextBeforeFirst, nextAfterLast);

  // The row's bit, found while the row is still in the indexes.
  TZDBRecordBitmap& bitmap = cursor.Bitmap();
  const bool bitmapCurrent =
      bitmap.Active() && !bitmap.IsStale(recordManager_->ChangeCount()) && cursor.KeyPrefixStep() == 0;
  int64_t bit = TZDBRecordBitmap::NoBit;
  if (bitmap.Active()) {
    bit = bitmap.Ordered() ? indexManager_->GetIndex(cursor.IndexID()).GetRecNo(session, recordID, nullptr) - 1
                           : RecordIDToNumber(recordID);
  }

  if (HasBlobFields()) {
    // The values the row names as stored go, whatever the cursor's buffer holds.
    if (cursor.MutableRecordBuffer() != nullptr) Blobs().ReleaseRecordBlobs(cursor.MutableRecordBuffer(), true);
    std::vector<uint8_t> stored(static_cast<size_t>(RecordBufferSize()), 0);
    if (ReadRecord(session, recordID, stored.data())) Blobs().DeleteRowBlobs(session, stored.data());
  }
  indexManager_->DeleteRow(TZDBIndexRowCursor(session, cursor.RecordBuffer(), nullptr, recordID));
  if (!recordManager_->DeleteRecord(session, recordID)) return false;
  SaveMostUpdated(session);
  if (!cursor.DeferCommit()) Commit(session, cursor.InTransaction());
  if (bit >= 0) {
    if (bitmap.Ordered())
      bitmap.RemovePosition(bit);
    else
      bitmap.SetBit(bit, false);
    if (bitmapCurrent) bitmap.MarkCurrent(recordManager_->ChangeCount());
  }
  cursor.SetPosition(nextID, nextBeforeFirst, nextAfterLast);
  return true;
}

// --- large values ----------------------------------------------------------------------------------

bool TZDBDiskTableData::HasBlobFields() const {
  return blobManager_ != nullptr && fieldManager_ != nullptr && fieldManager_->HasBlobFields();
}

TZDBDiskBlobManager& TZDBDiskTableData::Blobs() const {
  if (blobManager_ == nullptr) RaiseError(errors::NoDatabase);
  return *blobManager_;
}

int32_t TZDBDiskTableData::BlobPageIndexRoot() const {
  return blobManager_ != nullptr ? blobManager_->IndexRoot() : TZDBTableRootPages::NoRootPageNo;
}

template <typename Write>
bool TZDBDiskTableData::WriteRowWithBlobs(int32_t session, uint8_t* row, const uint8_t* storedRow, Write write) {
  if (!HasBlobFields()) return write();
  Blobs().AdoptStoredReferences(session, row, storedRow);
  const std::vector<uint8_t> before(row, row + RecordBufferSize());
  const auto putBack = [&] { std::copy(before.begin(), before.end(), row); };
  try {
    Blobs().StoreRowBlobs(session, row, true);
    if (!write()) {
      putBack();
      return false;
    }
  } catch (...) {
    putBack();
    throw;
  }
  Blobs().FinishStoredRowBlobs(row);
  return true;
}

std::unique_ptr<TZDBBlobStream> TZDBDiskTableData::OpenBlobStream(TZDBTableCursor& cursor, bool newValue,
                                                                  int32_t fieldNo) {
  const Guard guard = Lock();
  TZDBDiskBlobManager& blobs = Blobs();
  ReadAccess access(*this, cursor);
  return ReadFramed(access, errors::LocateLocked, [&] {
    return blobs.OpenBlobStream(cursor.SessionID(), cursor.MutableRecordBuffer(), fieldNo, newValue);
  });
}

void TZDBDiskTableData::SaveBlobStream(TZDBTableCursor& cursor, int32_t fieldNo, TZDBBlobStream& stream) {
  const Guard guard = Lock();
  uint8_t* row = cursor.MutableRecordBuffer();
  if (row == nullptr) RaiseError(errors::NoDatabase);
  Blobs().SetFieldBlobFromStream(row, fieldNo, &stream);
}

void TZDBDiskTableData::ReadBlob(TZDBTableCursor& cursor, int32_t fieldNo, std::vector<uint8_t>& bytes,
                                 TZDBBlobParams& params) {
  const Guard guard = Lock();
  TZDBDiskBlobManager& blobs = Blobs();
  uint8_t* row = cursor.MutableRecordBuffer();
  if (row == nullptr) RaiseError(errors::NoDatabase);
  ReadAccess access(*this, cursor);
  ReadFramed(access, errors::LocateLocked, [&] { blobs.ReadFieldBlob(cursor.SessionID(), row, fieldNo, bytes, params); });
}

void TZDBDiskTableData::WriteBlob(uint8_t* recordBuffer, int32_t fieldNo, const uint8_t* bytes, size_t count,
                                  const TZDBBlobParams& params) {
  const Guard guard = Lock();
  Blobs().WriteFieldBlob(recordBuffer, fieldNo, bytes, count, params);
}

void TZDBDiskTableData::FreeBlob(uint8_t* recordBuffer, int32_t fieldNo) { ReleaseFieldBlob(recordBuffer, fieldNo); }

void TZDBDiskTableData::ReleaseFieldBlob(uint8_t* recordBuffer, int32_t fieldNo) {
  const Guard guard = Lock();
  Blobs().ReleaseFieldBlob(recordBuffer, fieldNo, false);
}

void TZDBDiskTableData::ReleaseRecordBlobs(uint8_t* recordBuffer) {
  const Guard guard = Lock();
  if (HasBlobFields()) blobManager_->ReleaseRecordBlobs(recordBuffer, true);
}

void TZDBDiskTableData::ReadStoredBlob(int32_t session, const TZDBBlobReference& reference,
                                       std::vector<uint8_t>& bytes, TZDBBlobParams& params) {
  const Guard guard = Lock();
  Blobs().ReadStoredValue(session, reference, bytes, params);
}

// --- the table layer's table-data objects ------------------------------------------------------

void RegisterDiskTableData() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    TZDBDiskDatabaseData::SetTableDataFactory([](TZDBDiskDatabaseData& database, std::string_view tableName) {
      return std::make_unique<TZDBDiskTableData>(database, tableName);
    });
  });
}

TZDBDiskTableData& DiskTableDataOf(TZDBDiskDatabaseData& database, std::string_view tableName) {
  RegisterDiskTableData();
  auto* tableData = dynamic_cast<TZDBDiskTableData*>(&database.GetTableData(tableName));
  if (tableData == nullptr) RaiseError(errors::NoDatabase);
  return *tableData;
}

void ReleaseDiskTableData(TZDBDiskTableData& tableData) {
  if (tableData.CursorCount() == 0) tableData.DiskDatabase().FreeTableData(tableData);
}

}  // namespace zdb
