#include "engine/dataset/ZDBTable.h"

#include <cstring>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBLocalCursor.h"

namespace zdb {
namespace {

constexpr const char* MissingTableNameText = "Missing TableName property";

// The read lock around the re-read after a search.
constexpr int32_t ReadLockAttempts = 900;
constexpr int32_t ReadLockDelayBaseMs = 100;

// Holds the table's read lock while the window is re-read after a search, so that no
// other process's post lands between its rows. When the lock cannot be had, the re-read
// goes on without it.
class TReadLock : public TZDBCursorTableLock {
 public:
  explicit TReadLock(TZDBCursor& cursor)
      : TZDBCursorTableLock(cursor, TableLockRead, ReadLockAttempts, ReadLockDelayBaseMs, true) {}
};

// The re-read after a search, consistent as under the read lock: while the session's view
// of the table is current and stays so through the re-read, no other process's post came
// between its rows and the lock (a round of system calls) is not needed; otherwise the
// re-read runs (again) under the lock.
template <typename Reread>
void RereadAsUnderReadLock(TZDBCursor& cursor, Reread reread) {
  if (const std::optional<int64_t> stamp = cursor.CurrentViewStamp()) {
    try {
      reread();
    } catch (...) {
      if (cursor.CurrentViewStamp() == stamp) throw;
    }
    if (cursor.CurrentViewStamp() == stamp) return;
  }
  TReadLock lock(cursor);
  reread();
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

TZDBTable::TZDBTable(TZDBOwner owner) : TZDBDataSet(owner) {}

TZDBTable::~TZDBTable() {
  try {
    Close();
  } catch (...) {  // a destructor cannot report
  }
}

void TZDBTable::SetTableName(const std::string& tableName) {
  CheckInactive();
  tableName_ = tableName;
}

void TZDBTable::SetExclusive(bool exclusive) {
  CheckInactive();
  exclusive_ = exclusive;
}

void TZDBTable::SetIndexName(const std::string& indexName) {
  if (!Active()) {
    indexName_ = indexName;
    return;
  }
  CheckBrowseMode();
  if (!indexName.empty() && Cursor()->IndexDefs().FindByName(indexName) == nullptr) {
    RaiseError(errors::UnknownIndex, {indexName});
  }
  UpdateCursorPos();
  DropRange();
  indexName_ = indexName;
  Cursor()->SetIndexName(indexName);
  BuildIndexFields();
  Resync({});
}

std::unique_ptr<TZDBCursor> TZDBTable::CreateCursor() {
  const std::string tableName = Trimmed(tableName_);
  if (tableName.empty()) DatabaseError(MissingTableNameText);
  TZDBLocalSession* connection = Database() == nullptr ? nullptr : Database()->Handle();
  if (connection == nullptr) return nullptr;
  auto cursor = std::make_unique<TZDBLocalCursor>(*connection, tableName);
  cursor->SetExclusive(exclusive_);
  cursor->SetReadOnly(ReadOnly() || Database()->ReadOnly() || connection->Settings().ReadOnly);
  cursor->SetIndexName(indexName_);
  cursor->OpenTable();
  SetReadOnlyFromCursor(cursor->ReadOnly());
  return cursor;
}

void TZDBTable::SetKey() { EditKeyBuffer(LookupKey, true, errors::SetKeyNil); }

void TZDBTable::EditKey() { EditKeyBuffer(LookupKey, false, errors::SetKeyNil); }

void TZDBTable::GiveSearchKey() {
  Cursor()->SetSearchKey(KeyBuffer(LookupKey), Cursor()->KeyBufferLength(), KeyFieldCountOf(LookupKey));
}

bool TZDBTable::GotoKey() {
  CheckCursor(errors::GotoKeyNil);
  CheckBrowseMode();
  DoBeforeScroll();
  CursorPosChanged();
  GiveSearchKey();
  if (!Cursor()->SearchKey(TZDBSearchOperator::Equal)) return false;
  RereadAsUnderReadLock(*Cursor(), [&] { Resync({.Exact = true, .Center = true}); });
  DoAfterScroll();
  return true;
}

void TZDBTable::GotoNearest() {
  CheckCursor(errors::GotoNearestNil);
  CheckBrowseMode();
  CursorPosChanged();
  GiveSearchKey();
  const bool exclusive = KeyBuffer(LookupKey)[Cursor()->RowSize() + dataset_layout::KeyExclusiveOffset] != 0;
  const bool found =
      Cursor()->SearchKey(exclusive ? TZDBSearchOperator::Greater : TZDBSearchOperator::GreaterOrEqual);
  TReadLock lock(*Cursor());
  if (!found) {
    Last();
    // The re-read below starts from the last row, not from where filling the window
    // backwards left the cursor.
    UpdateCursorPos();
  }
  Resync({.Exact = false, .Center = true});
}

bool TZDBTable::FindKey(const std::vector<PlatformVariant>& values) {
  CheckBrowseMode();
  SetKeyFields(LookupKey, values, errors::SetKeyFieldsNil);
  return GotoKey();
}

void TZDBTable::FindNearest(const std::vector<PlatformVariant>& values) {
  CheckBrowseMode();
  SetKeyFields(LookupKey, values, errors::SetKeyFieldsNil);
  GotoNearest();
}

}  // namespace zdb

namespace zdb {

void TZDBTable::SetRangeStart() { EditKeyBuffer(RangeStartKey, true, errors::SetKeyNil); }

void TZDBTable::SetRangeEnd() { EditKeyBuffer(RangeEndKey, true, errors::SetKeyNil); }

void TZDBTable::ApplyRange() {
  CheckCursor(errors::SetKeyNil);
  CheckBrowseMode();
  const size_t size = static_cast<size_t>(Cursor()->KeyBufferLength());
  const bool unchanged = Cursor()->HasRange() &&
                         std::memcmp(KeyBuffer(RangeStartKey), KeyBuffer(CurrentRangeStartKey), size) == 0 &&
                         std::memcmp(KeyBuffer(RangeEndKey), KeyBuffer(CurrentRangeEndKey), size) == 0;
  if (unchanged) return;
  std::memcpy(KeyBuffer(CurrentRangeStartKey), KeyBuffer(RangeStartKey), size);
  std::memcpy(KeyBuffer(CurrentRangeEndKey), KeyBuffer(RangeEndKey), size);
  Cursor()->SetRange({KeyBuffer(CurrentRangeStartKey), KeyFieldCountOf(CurrentRangeStartKey), false},
                     {KeyBuffer(CurrentRangeEndKey), KeyFieldCountOf(CurrentRangeEndKey), false});
  TReadLock lock(*Cursor());
  First();
}

void TZDBTable::CancelRange() {
  CheckCursor(errors::SetKeyNil);
  CheckBrowseMode();
  UpdateCursorPos();
  if (!DropRange()) return;
  TReadLock lock(*Cursor());
  Resync({});
}

bool TZDBTable::DropRange() {
  if (!Cursor()->HasRange()) return false;
  Cursor()->ClearRange();
  ClearKeyBuffer(KeyBuffer(CurrentRangeStartKey));
  ClearKeyBuffer(KeyBuffer(CurrentRangeEndKey));
  return true;
}

}  // namespace zdb
