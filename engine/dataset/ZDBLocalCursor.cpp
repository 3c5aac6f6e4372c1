#include "engine/dataset/ZDBLocalCursor.h"

#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBTableLockManager.h"
#include "engine/framework/TextCase.h"
#include "engine/index/ZDBNavigationRequest.h"

namespace zdb {
namespace {

// The edit lock of the table and the row lock: bounded waits.
constexpr int32_t EditLockAttempts = 900;
constexpr int32_t EditLockDelayBaseMs = 100;
constexpr int32_t RowLockAttempts = 15;
constexpr int32_t RowLockDelayMs = 100;
// The read lock under which a BLOB stream is opened on the row.
constexpr int32_t BlobReadLockAttempts = 2250;
constexpr int32_t BlobReadLockDelayBaseMs = 40;

}  // namespace

TZDBLocalCursor::TZDBLocalCursor(TZDBLocalSession& connection, std::string_view tableName)
    : TZDBCursor(connection, tableName), connection_(connection) {}

TZDBLocalCursor::~TZDBLocalCursor() {
  try {
    CloseTable();
  } catch (...) {  // a destructor cannot report; the lock goes with the connection
  }
}

TZDBDiskTableData& TZDBLocalCursor::Data() const {
  if (!table_) RaiseError(errors::TableClosed);
  return table_->Data();
}

bool TZDBLocalCursor::Locking(const TZDBDiskTableData& data) {
  return data.MultiUser() && data.LocksFile() != nullptr;
}

void TZDBLocalCursor::OpenTable() {
  if (IsOpen()) return;
  TZDBDiskDatabaseData* database = connection_.DatabaseData();
  if (database == nullptr) RaiseError(errors::NoDatabase);
  table_ = std::make_unique<TZDBOpenTable>(*database, *this);
  UseRecordBuffer(nullptr);
  SetToBegin();
  SetOpen(true);
  SetIndexName(IndexName());
}

void TZDBLocalCursor::CloseTable() {
  if (!table_) return;
  FreeBlobs(false);
  ReleaseEditLocks();
  SetOpen(false);
  SetIndexID(NoIndex);
  UseRecordBuffer(nullptr);
  ClearLayout();
  scratch_.clear();
  std::unique_ptr<TZDBOpenTable> table = std::move(table_);
  table->Close();
}

void TZDBLocalCursor::InitFieldLayout() {
  TZDBDiskTableData& data = Data();
  int32_t recordBufferSize = 0;
  int32_t firstFieldOffset = 0;
  data.GetRecordBufferInfo(recordBufferSize, firstFieldOffset);
  SetLayout(data.FieldManager()->FieldDefs(), recordBufferSize, firstFieldOffset);
  scratch_.assign(static_cast<size_t>(RecordBufferLength()), 0);
}

void TZDBLocalCursor::InitRecordBuffer(uint8_t* buffer, bool withDefaults) {
  TZDBDiskTableData& data = Data();
  data.ReleaseRecordBlobs(buffer);
  std::memset(buffer, 0, static_cast<size_t>(RowSize()));
  data.FieldManager()->InitRecordBuffer(buffer);
  if (withDefaults) data.FieldManager()->ApplyDefaults(buffer);
}

bool TZDBLocalCursor::IsFieldRequired(int32_t fieldNo) const {
  const TZDBConstraintDefs& constraints = Data().ConstraintManager()->ConstraintDefs();
  const std::string& fieldName = TableFields().Items(fieldNo).Name();
  for (int32_t i = 0; i < constraints.Count(); ++i) {
    const TZDBConstraintDef& constraint = constraints.Items(i);
    if (constraint.ConstraintType() == ConstraintTypeCode(TZDBConstraintType::NotNull) &&
        data::SameText(constraint.TargetName(), fieldName)) {
      return true;
    }
  }
  return false;
}

const TZDBIndexDefs& TZDBLocalCursor::IndexDefs() const { return Data().IndexManager()->IndexDefs(); }

int32_t TZDBLocalCursor::FindIndexID(std::string_view indexName) const {
  const TZDBIndexDef* definition = Data().IndexManager()->FindIndexDefByName(indexName, SessionID());
  return definition == nullptr ? NoIndex : definition->ObjectID();
}

TZDBFetchResult TZDBLocalCursor::FetchRecord(uint8_t mode) {
  switch (Data().GetRecord(*this, mode)) {
    case grOK:
      return frOK;
    case grBOF:
      return frBOF;
    case grEOF:
      return frEOF;
    default:
      return frFailed;
  }
}

int64_t TZDBLocalCursor::GetRecordCount() { return Data().GetRecordCount(*this); }

int64_t TZDBLocalCursor::GetRecNo() { return Data().GetRecNo(*this); }

void TZDBLocalCursor::SetRecNo(int64_t recNo) { Data().SetRecNo(*this, recNo); }

bool TZDBLocalCursor::RowExists(const TZDBRecordID& recordID) {
  TZDBDiskTableData& data = Data();
  scratch_.resize(static_cast<size_t>(RecordBufferLength()));
  return data.ReadRecord(SessionID(), recordID, scratch_.data());
}

int TZDBLocalCursor::CompareBookmarks(const TZDBRecordID& a, const TZDBRecordID& b) {
  // The rows' places in the current order decide; the index keeps equal keys in
  // RecordID order, and physical order is RecordID order.
  const TZDBSavedPosition saved = SavePosition();
  int64_t placeA = -1;
  int64_t placeB = -1;
  try {
    if (RowExists(a)) {
      SetPosition(a);
      placeA = GetRecNo();
    }
    if (RowExists(b)) {
      SetPosition(b);
      placeB = GetRecNo();
    }
  } catch (...) {
    RestorePosition(saved);
    throw;
  }
  RestorePosition(saved);
  if (placeA < 0) return placeB < 0 ? 0 : -1;
  if (placeB < 0) return 1;
  if (placeA != placeB) return placeA < placeB ? -1 : 1;
  return CompareRecordIDs(a, b);
}

bool TZDBLocalCursor::SearchKey(TZDBSearchOperator op) {
  const TZDBSavedPosition saved = SavePosition();
  if (Data().FindKey(*this, op)) return true;
  RestorePosition(saved);
  return false;
}

bool TZDBLocalCursor::LockTable(TZDBTableLockKind kind, int32_t attempts, int32_t delayBaseMs, bool flag) {
  return Data().LockTable(SessionID(), kind, flag, delayBaseMs, attempts);
}

void TZDBLocalCursor::UnlockTable(TZDBTableLockKind kind) { Data().UnlockTable(SessionID(), kind); }

std::optional<int64_t> TZDBLocalCursor::CurrentViewStamp() { return Data().CurrentViewStamp(SessionID()); }

bool TZDBLocalCursor::LockRow(TZDBDiskTableData& data) {
  TZDBTableLocksFile::RecordIDBytes row{};
  RecordID().Write(row.data());
  if (!data.DiskDatabase().LockManager()->LockRecord(SessionID(), *data.LocksFile(), RowLockDelayMs,
                                                      RowLockAttempts, row)) {
    return false;
  }
  lockedRow_ = row;
  return true;
}

void TZDBLocalCursor::UnlockRow(TZDBDiskTableData& data) {
  data.DiskDatabase().LockManager()->UnlockRecord(SessionID(), *data.LocksFile(), lockedRow_);
}

void TZDBLocalCursor::ReleaseEditLocks() {
  if (!editLocked_ || !table_) return;
  editLocked_ = false;
  TZDBDiskTableData& data = table_->Data();
  try {
    UnlockRow(data);
  } catch (...) {  // the table lock goes all the same
    if (editLockKind_ == TableLockEdit) data.UnlockTable(SessionID(), editLockKind_);
    throw;
  }
  // Inside a transaction the lock stays until the transaction ends.
  if (editLockKind_ == TableLockEdit) data.UnlockTable(SessionID(), editLockKind_);
}

void TZDBLocalCursor::BeginEdit() {
  TZDBDiskTableData& data = Data();
  const bool locking = Locking(data);
  const TZDBTableLockKind kind = InTransaction() ? TableLockTransaction : TableLockEdit;
  if (locking) {
    if (!data.LockTable(SessionID(), kind, true, EditLockDelayBaseMs, EditLockAttempts)) {
      RaiseError(errors::TableLocked);
    }
    // The row lock is what keeps a second editor of the row out, also in another process:
    // the lock manager writes the row's identifier into the table's lock region even
    // where a covering lock of this session would let it keep the lock to itself, so a
    // stale copy elsewhere meets -12 here and -4 once it may edit, never a silent
    // overwrite at its post.
    bool rowLocked = false;
    try {
      rowLocked = LockRow(data);
    } catch (...) {
      if (kind == TableLockEdit) data.UnlockTable(SessionID(), kind);
      throw;
    }
    if (!rowLocked) {
      if (kind == TableLockEdit) data.UnlockTable(SessionID(), kind);
      RaiseError(errors::RecordLocked);
    }
    editLocked_ = true;
    editLockKind_ = kind;
  }
  // The row as the window shows it must still be the row as stored; the window keeps
  // what the user sees either way.
  try {
    scratch_.resize(static_cast<size_t>(RecordBufferLength()));
    if (!data.ReadRecord(SessionID(), RecordID(), scratch_.data())) {
      RaiseError(errors::UpdateDeletedByOther);
    }
    if (!data.FieldManager()->RecordBuffersEqual(scratch_.data(), RecordBuffer())) {
      RaiseError(errors::UpdateModifiedByOther);
    }
  } catch (...) {
    ReleaseEditLocksQuietly();
    throw;
  }
}

void TZDBLocalCursor::ReleaseEditLocksQuietly() {
  try {
    ReleaseEditLocks();
  } catch (...) {  // the operation's own failure is the one to report
  }
}

void TZDBLocalCursor::CancelEdit(bool wasInsert) {
  // The row's unsaved values go: its open streams and what the buffer holds in memory.
  FreeBlobs(false);
  if (table_ && RecordBuffer() != nullptr) Data().ReleaseRecordBlobs(MutableRecordBuffer());
  if (!wasInsert) ReleaseEditLocks();
}

void TZDBLocalCursor::PostRecord(bool isInsert, const uint8_t* originalRow) {
  TZDBDiskTableData& data = Data();
  // Without the write lock nothing happens and nothing is released: an edit keeps its
  // locks and may be posted again.
  const TZDBTableWriteLock writeLock(data, *this);
  SetOriginalRecordBuffer(isInsert ? nullptr : originalRow);
  bool checkFailed = false;
  try {
    RolledBackOnFailure(data, *this, [&] {
      // What the writing streams hold is part of the row: it goes into the buffer before
      // the checks rather than after them, so that they judge the value about to be
      // stored and not the one it replaces.
      CloseStreams([](const TZDBLocalBLOBStream& stream) { return stream.Writing(); }, true);
      // Only a failure to prepare or check the row is -8, carrying its full text; a
      // failure of the write itself passes on as it is.
      try {
        if (isInsert) {
          PrepareInsert(data, *this);
        } else {
          PrepareUpdate(data, *this);
        }
      } catch (const std::exception& failure) {
        checkFailed = true;
        RaiseErrorMessage(errors::CheckFailed, failure.what());
      }
      if (isInsert) {
        StoreInsert(data, *this);
      } else {
        StoreUpdate(data, *this);
      }
    });
  } catch (...) {
    SetOriginalRecordBuffer(nullptr);
    // A failed check keeps the edit's locks: the row may be corrected and posted again,
    // or cancelled. Any other outcome ends the edit's hold on the row.
    if (!isInsert && !checkFailed) ReleaseEditLocksQuietly();
    throw;
  }
  SetOriginalRecordBuffer(nullptr);
  if (!isInsert) ReleaseEditLocks();
}

bool TZDBLocalCursor::SameRowAsShown(const uint8_t* stored) const {
  // The whole buffer up to the bookmark flag, byte for byte, except what only lives in
  // memory: the handles of large values loaded for the window, which a re-read never has.
  const size_t length = static_cast<size_t>(RowSize() + dataset_layout::BookmarkFlagOffset);
  std::vector<uint8_t> shown(RecordBuffer(), RecordBuffer() + length);
  std::vector<uint8_t> reread(stored, stored + length);
  DetachRecordBlobs(shown.data());
  DetachRecordBlobs(reread.data());
  return shown == reread;
}

void TZDBLocalCursor::RemoveRecord() {
  TZDBDiskTableData& data = Data();
  const bool locking = Locking(data);
  // The write lock first, then the row lock: a delete waits for another process's post
  // to end instead of failing on the row lock that post still holds.
  const TZDBTableWriteLock writeLock(data, *this, TZDBTableWriteLock::DeleteTries, TZDBTableWriteLock::DeletePauseMs);
  if (locking && !LockRow(data)) RaiseError(errors::RecordLocked);
  try {
    scratch_.assign(RecordBuffer(), RecordBuffer() + RecordBufferLength());
    if (!data.ReadRecord(SessionID(), RecordID(), scratch_.data())) {
      RaiseError(errors::DeleteDeletedByOther);
    }
    if (!SameRowAsShown(scratch_.data())) {
      RaiseError(errors::DeleteModifiedByOther);
    }
    RolledBackOnFailure(data, *this, [&] { StoreDelete(data, *this); });
  } catch (...) {
    if (locking) {
      try {
        UnlockRow(data);
      } catch (...) {  // the delete's own failure is the one to report
      }
    }
    throw;
  }
  if (locking) UnlockRow(data);
}

// --- large values ------------------------------------------------------------------------------

std::shared_ptr<TZDBLocalBLOBStream> TZDBLocalCursor::OpenBlob(bool inserting, bool editing, TZDBBlobStreamMode mode,
                                                               int32_t fieldNo) {
  TZDBDiskTableData& data = Data();
  if (fieldNo < 0 || fieldNo >= FieldCount())
    RaiseError(errors::GetFieldNumber, {fieldNo, FieldCount()});
  const bool writing = mode != TZDBBlobStreamMode::Read;
  if (writing) {
    for (const std::shared_ptr<TZDBLocalBLOBStream>& open : blobStreams_)
      if (open->FieldNo() == fieldNo && open->Writing())
        RaiseError(errors::BlobOpened, {fieldNo, TableFields().Items(fieldNo).Name()});
  }
  // The row and its value are read under one read lock, so that no other process's post
  // lands between the two.
  std::optional<TZDBCursorTableLock> lock;
  if (Locking(data)) {
    lock.emplace(*this, TableLockRead, BlobReadLockAttempts, BlobReadLockDelayBaseMs, false);
    if (!lock->Held()) RaiseError(errors::TableLocked);
  }
  // A row only browsed may have changed or gone since it was read.
  if (!inserting && !editing && blobStreams_.empty() && FetchRecord(grmCurrent) != frOK) return nullptr;
  auto stream = std::make_shared<TZDBLocalBLOBStream>(
      fieldNo, mode, data.OpenBlobStream(*this, mode == TZDBBlobStreamMode::Write, fieldNo));
  blobStreams_.push_back(stream);
  return stream;
}

std::unique_ptr<TZDBBlobStream> TZDBLocalCursor::OpenValueStream(int32_t fieldNo, bool newValue) {
  return Data().OpenBlobStream(*this, newValue, fieldNo);
}

void TZDBLocalCursor::StoreValueStream(int32_t fieldNo, TZDBBlobStream& stream) {
  Data().SaveBlobStream(*this, fieldNo, stream);
}

template <typename Match>
void TZDBLocalCursor::CloseStreams(Match match, bool store) {
  std::exception_ptr failure;
  std::vector<std::shared_ptr<TZDBLocalBLOBStream>> kept;
  std::vector<std::shared_ptr<TZDBLocalBLOBStream>> streams = std::move(blobStreams_);
  blobStreams_.clear();
  for (std::shared_ptr<TZDBLocalBLOBStream>& stream : streams) {
    if (!match(*stream)) {
      kept.push_back(std::move(stream));
      continue;
    }
    try {
      if (store && stream->Writing() && stream->Inner() != nullptr && RecordBuffer() != nullptr)
        Data().SaveBlobStream(*this, stream->FieldNo(), *stream->Inner());
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    stream->Close();
  }
  blobStreams_ = std::move(kept);
  if (failure) std::rethrow_exception(failure);
}

void TZDBLocalCursor::CloseBlob(int32_t fieldNo) {
  CloseStreams([fieldNo](const TZDBLocalBLOBStream& stream) { return stream.FieldNo() == fieldNo; }, true);
}

void TZDBLocalCursor::FreeBlobs(bool onlyWriting) {
  CloseStreams([onlyWriting](const TZDBLocalBLOBStream& stream) { return !onlyWriting || stream.Writing(); }, false);
}

void TZDBLocalCursor::FreeRecordBlobs(uint8_t* buffer) {
  if (table_ && buffer != nullptr) Data().ReleaseRecordBlobs(buffer);
}

}  // namespace zdb
