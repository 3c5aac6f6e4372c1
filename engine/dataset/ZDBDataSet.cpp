#include "engine/dataset/ZDBDataSet.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBComponentErrors.h"
#include "engine/dataset/ZDBEngineError.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/dataset/ZDBSession.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/FieldClasses.h"
#include "engine/table/ZDBFieldData.h"
#include "engine/table/ZDBFieldTypes.h"

namespace zdb {
namespace {

using data::TDataSetState;
using data::TFieldType;

constexpr const char* DatabaseNameBlankText = "DatabaseName property is blank";
constexpr int32_t GuidFieldSize = 38;
// The identifier of a row not yet posted: every bit set.
constexpr TZDBRecordID NewRowID{-1, 0xFFFF};

// What a field gets of a BLOB stream: the cursor's stream, alive while the field holds
// it (the cursor may close it first: it then moves nothing).
class TZDBFieldBlobStream final : public TStream {
 public:
  explicit TZDBFieldBlobStream(std::shared_ptr<TZDBLocalBLOBStream> stream) : stream_(std::move(stream)) {}
  int64_t Read(void* buffer, int64_t count) override { return stream_->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override { return stream_->Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return stream_->Seek(offset, origin); }
  int64_t Size() override { return stream_->Size(); }
  void SetSize(int64_t size) override { stream_->SetSize(size); }

 private:
  std::shared_ptr<TZDBLocalBLOBStream> stream_;
};

TZDBBlobStreamMode EngineBlobMode(data::TBlobStreamMode mode) {
  switch (mode) {
    case data::TBlobStreamMode::bmWrite:
      return TZDBBlobStreamMode::Write;
    case data::TBlobStreamMode::bmReadWrite:
      return TZDBBlobStreamMode::ReadWrite;
    default:
      return TZDBBlobStreamMode::Read;
  }
}

bool HasCharacterSize(TFieldType type) {
  return type == TFieldType::ftString || type == TFieldType::ftFixedChar || type == TFieldType::ftWideString ||
         type == TFieldType::ftBytes || type == TFieldType::ftVarBytes;
}

bool IsDateTimeField(TFieldType type) {
  return type == TFieldType::ftDate || type == TFieldType::ftTime || type == TFieldType::ftDateTime ||
         type == TFieldType::ftTimeStamp;
}

// Engine form (little-endian, dates as day numbers and milliseconds) -> native form.
void EngineToNative(TFieldType type, const std::vector<uint8_t>& engine, uint8_t* native, int nativeSize) {
  const size_t size = static_cast<size_t>(nativeSize);
  std::memset(native, 0, size);
  double dateTime = 0;
  switch (type) {
    case TFieldType::ftDate:
      dateTime = DayNumberToDateTime(le::GetI32(engine.data()));
      break;
    case TFieldType::ftTime:
      dateTime = MillisecondsToDateTime(le::GetI32(engine.data()));
      break;
    case TFieldType::ftDateTime:
    case TFieldType::ftTimeStamp:
      dateTime = TimeStampToDateTime({le::GetI32(engine.data()), le::GetI32(engine.data() + 4)});
      break;
    default:
      if (size == sizeof(uint16_t) && engine.size() >= size) {
        const uint16_t value = le::GetU16(engine.data());
        std::memcpy(native, &value, size);
      } else if (size == sizeof(uint32_t) && engine.size() >= size) {
        const uint32_t value = le::GetU32(engine.data());
        std::memcpy(native, &value, size);
      } else if (size == sizeof(uint64_t) && engine.size() >= size) {
        const uint64_t value = le::GetU64(engine.data());
        std::memcpy(native, &value, size);
      } else {
        std::memcpy(native, engine.data(), std::min(size, engine.size()));
      }
      return;
  }
  std::memcpy(native, &dateTime, sizeof dateTime);
}

// Native form -> engine form; false for a date-time the engine cannot hold.
bool NativeToEngine(TFieldType type, const uint8_t* native, int nativeSize, std::vector<uint8_t>& engine) {
  const size_t size = static_cast<size_t>(nativeSize);
  std::fill(engine.begin(), engine.end(), 0);
  if (IsDateTimeField(type)) {
    double dateTime = 0;
    std::memcpy(&dateTime, native, sizeof dateTime);
    if (type == TFieldType::ftDate) {
      int32_t day = 0;
      if (!TryDateTimeToDayNumber(dateTime, day)) return false;
      le::PutI32(engine.data(), day);
    } else if (type == TFieldType::ftTime) {
      int32_t milliseconds = 0;
      if (!TryDateTimeToMilliseconds(dateTime, milliseconds)) return false;
      le::PutI32(engine.data(), milliseconds);
    } else {
      TZDBTimeStamp stamp;
      if (!TryDateTimeToTimeStamp(dateTime, stamp)) return false;
      le::PutI32(engine.data(), stamp.Date);
      le::PutI32(engine.data() + 4, stamp.Time);
    }
    return true;
  }
  if (size == sizeof(uint16_t) && engine.size() >= size) {
    uint16_t value = 0;
    std::memcpy(&value, native, size);
    le::PutU16(engine.data(), value);
  } else if (size == sizeof(uint32_t) && engine.size() >= size) {
    uint32_t value = 0;
    std::memcpy(&value, native, size);
    le::PutU32(engine.data(), value);
  } else if (size == sizeof(uint64_t) && engine.size() >= size) {
    uint64_t value = 0;
    std::memcpy(&value, native, size);
    le::PutU64(engine.data(), value);
  } else {
    std::memcpy(engine.data(), native, std::min(size, engine.size()));
  }
  return true;
}

}  // namespace

TZDBDataSet::TZDBDataSet(TZDBOwner owner) : owner_(owner) { Sessions().AddSessionUser(*this); }

TZDBDataSet::~TZDBDataSet() {
  try {
    Close();
  } catch (...) {  // a destructor cannot report
  }
  try {
    databaseUse_.reset();
    ReleaseDatabase();
  } catch (...) {  // a destructor cannot report
  }
  if (TZDBSessionList* list = TZDBSessionList::Alive()) list->RemoveSessionUser(*this);
}

void TZDBDataSet::SetDatabaseName(const std::string& databaseName) {
  CheckInactive();
  if (database_ != nullptr) RaiseDatabaseError(OpenDatabaseText);
  databaseName_ = databaseName;
}

void TZDBDataSet::SetSessionName(const std::string& sessionName) {
  CheckInactive();
  sessionName_ = sessionName;
}

void TZDBDataSet::SetReadOnly(bool readOnly) {
  CheckInactive();
  readOnly_ = readOnly;
}

void TZDBDataSet::SetReadOnlyFromCursor(bool readOnly) { readOnly_ = readOnly; }

// --- the connection -------------------------------------------------------------------------

void TZDBDataSet::SetDatabaseUse(int reason, bool inUse) {
  const size_t bit = static_cast<size_t>(reason);
  if (databaseUse_.test(bit) == inUse) return;
  if (inUse) {
    if (databaseUse_.none()) {
      TZDBSession& session = Sessions().GetSession(sessionName_);
      TZDBDatabase& database = session.OpenDatabase(databaseName_, owner_);
      database.AttachDataset(*this);
      database_ = &database;
      databaseSession_ = &session;
    }
    databaseUse_.set(bit);
    return;
  }
  databaseUse_.reset(bit);
  if (databaseUse_.none()) ReleaseDatabase();
}

void TZDBDataSet::ReleaseDatabase() {
  if (database_ == nullptr) return;
  TZDBDatabase& database = *database_;
  TZDBSession* session = databaseSession_;
  database_ = nullptr;
  databaseSession_ = nullptr;
  database.DetachDataset(*this);
  if (session != nullptr) session->CloseDatabase(database);
}

// --- opening and closing ------------------------------------------------------------------------

void TZDBDataSet::OpenCursor() {
  if (databaseName_.empty()) DatabaseError(DatabaseNameBlankText);
  SetDatabaseUse(DatabaseUseCursor, true);
  if (!cursor_) cursor_ = CreateCursor();
  if (!cursor_) RaiseError(errors::NoCursor);
  data::TDataSet::OpenCursor();
}

void TZDBDataSet::CloseCursor() {
  std::exception_ptr failure;
  try {
    data::TDataSet::CloseCursor();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    ReleaseCursor();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  try {
    SetDatabaseUse(DatabaseUseCursor, false);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TZDBDataSet::ReleaseCursor() {
  std::unique_ptr<TZDBCursor> cursor = std::move(cursor_);
  if (cursor) cursor->CloseTable();
}

void TZDBDataSet::InternalOpen() {
  SetBookmarkSize(dataset_layout::RecordTrailerSize);
  cursor_->InitFieldLayout();
  FieldDefs().SetUpdated(false);
  InitFieldDefs();
  BuildIndexFields();
  ClearOldValues();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  keyBuffers_.assign(KeyBufferCount, std::vector<uint8_t>(static_cast<size_t>(cursor_->KeyBufferLength()), 0));
  for (std::vector<uint8_t>& key : keyBuffers_) ClearKeyBuffer(key.data());
  editingKey_ = -1;
  AfterCursorOpen();
}

void TZDBDataSet::InternalClose() {
  ClearOldValues();
  keyBuffers_.clear();
  editingKey_ = -1;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  indexFields_.clear();
  FieldDefs().Clear();
  FieldDefs().SetUpdated(false);
}

void TZDBDataSet::InternalInitFieldDefs() {
  const TZDBFieldDefs& fields = cursor_->TableFields();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TZDBFieldDef& field = fields.Items(i);
    const auto type = static_cast<TFieldType>(static_cast<uint8_t>(LogicalToDatasetType(field.LogicalType())));
    int size = 0;
    if (type == TFieldType::ftGuid) {
      size = GuidFieldSize;
    } else if (HasCharacterSize(type)) {
      size = field.FieldSize();
    }
    const bool required = type != TFieldType::ftAutoInc && cursor_->IsFieldRequired(i);
    FieldDefs().Add(field.Name(), type, size, required);
  }
}

void TZDBDataSet::BuildIndexFields() {
  indexFields_.clear();
  const std::string& indexName = cursor_->IndexName();
  if (indexName.empty()) return;
  const TZDBIndexDef* index = cursor_->IndexDefs().FindByName(indexName);
  if (index == nullptr) RaiseError(errors::UnknownIndex, {indexName});
  for (const TZDBIndexColumn& column : index->Columns()) {
    const int32_t fieldNo = cursor_->TableFields().IndexOfName(column.FieldName);
    if (fieldNo < 0) RaiseError(errors::UnknownIndex, {indexName});
    indexFields_.push_back(fieldNo);
  }
}

// --- record buffers --------------------------------------------------------------------------

data::TRecordBufferPtr TZDBDataSet::AllocRecordBuffer() {
  const size_t size = static_cast<size_t>(cursor_->RecordBufferLength());
  data::TRecordBufferPtr buffer(new uint8_t[size]);
  std::memset(buffer.get(), 0, size);
  return buffer;
}

void TZDBDataSet::InternalInitRecord(data::TRecordBuffer buffer) {
  cursor_->InitRecordBuffer(buffer, true);
  NewRowID.Write(buffer + cursor_->RowSize() + dataset_layout::RecordIDOffset);
}

int TZDBDataSet::GetRecordSize() const { return cursor_ ? cursor_->RowSize() : 0; }

TZDBRecordID TZDBDataSet::RecordIDOf(const uint8_t* buffer) const {
  return TZDBRecordID::Read(buffer + cursor_->RowSize() + dataset_layout::RecordIDOffset);
}

// --- reading --------------------------------------------------------------------------------------

data::TGetResult TZDBDataSet::GetRecord(data::TRecordBuffer buffer, data::TGetMode mode, bool doCheck) {
  cursor_->UseRecordBuffer(buffer);
  const TZDBFetchResult result = cursor_->FetchRecord(static_cast<uint8_t>(mode));
  switch (result) {
    case frOK: {
      const int32_t rowSize = cursor_->RowSize();
      cursor_->RecordID().Write(buffer + rowSize + dataset_layout::RecordIDOffset);
      buffer[rowSize + dataset_layout::BookmarkFlagOffset] = static_cast<uint8_t>(data::TBookmarkFlag::bfCurrent);
      return data::TGetResult::grOK;
    }
    case frBOF:
      return data::TGetResult::grBOF;
    case frEOF:
      return data::TGetResult::grEOF;
    default:
      if (doCheck) RaiseError(errors::CannotRetrieve);
      return data::TGetResult::grError;
  }
}

void TZDBDataSet::InternalFirst() { cursor_->SetToBegin(); }

void TZDBDataSet::InternalLast() { cursor_->SetToEnd(); }

void TZDBDataSet::InternalSetToRecord(data::TRecordBuffer buffer) { cursor_->SetPosition(RecordIDOf(buffer)); }

void TZDBDataSet::InternalGotoBookmark(const uint8_t* bookmark) {
  cursor_->SetPosition(TZDBRecordID::Read(bookmark));
}

int TZDBDataSet::GetRecordCount() const {
  if (!cursor_) return 0;
  return static_cast<int>(std::min<int64_t>(cursor_->GetRecordCount(), INT32_MAX));
}

int TZDBDataSet::GetRecNo() const {
  if (!cursor_ || State() == TDataSetState::dsInsert) return -1;
  const uint8_t* buffer = ActiveBuffer();
  if (buffer == nullptr) return -1;
  const TZDBSavedPosition saved = cursor_->SavePosition();
  int64_t recNo = -1;
  try {
    cursor_->SetPosition(RecordIDOf(buffer));
    recNo = cursor_->GetRecNo();
  } catch (...) {
    cursor_->RestorePosition(saved);
    throw;
  }
  cursor_->RestorePosition(saved);
  return static_cast<int>(std::min<int64_t>(recNo, INT32_MAX));
}

void TZDBDataSet::InternalSetRecNo(int value) { cursor_->SetRecNo(value); }

// --- bookmarks -----------------------------------------------------------------------------------

void TZDBDataSet::GetBookmarkData(data::TRecordBuffer buffer, uint8_t* data) const {
  std::memcpy(data, buffer + cursor_->RowSize(), static_cast<size_t>(BookmarkSize()));
}

void TZDBDataSet::SetBookmarkData(data::TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(buffer + cursor_->RowSize(), data, static_cast<size_t>(BookmarkSize()));
}

data::TBookmarkFlag TZDBDataSet::GetBookmarkFlag(data::TRecordBuffer buffer) const {
  return static_cast<data::TBookmarkFlag>(buffer[cursor_->RowSize() + dataset_layout::BookmarkFlagOffset]);
}

void TZDBDataSet::SetBookmarkFlag(data::TRecordBuffer buffer, data::TBookmarkFlag flag) {
  buffer[cursor_->RowSize() + dataset_layout::BookmarkFlagOffset] = static_cast<uint8_t>(flag);
}

bool TZDBDataSet::BookmarkValid(const data::TBookmark& bookmark) {
  if (!cursor_ || bookmark.size() < static_cast<size_t>(TZDBRecordID::ByteSize)) return false;
  return cursor_->RowExists(TZDBRecordID::Read(bookmark.data()));
}

int TZDBDataSet::CompareBookmarks(const data::TBookmark& a, const data::TBookmark& b) {
  const auto present = [](const data::TBookmark& bookmark) {
    return bookmark.size() >= static_cast<size_t>(TZDBRecordID::ByteSize);
  };
  if (!present(a)) return present(b) ? 1 : 0;
  if (!present(b)) return -1;
  if (!cursor_) return CompareRecordIDs(TZDBRecordID::Read(a.data()), TZDBRecordID::Read(b.data()));
  return cursor_->CompareBookmarks(TZDBRecordID::Read(a.data()), TZDBRecordID::Read(b.data()));
}

// --- field data ------------------------------------------------------------------------------------

uint8_t* TZDBDataSet::StateRow() const {
  switch (State()) {
    case TDataSetState::dsBrowse:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      return ActiveBuffer();
    case TDataSetState::dsSetKey:
      return editingKey_ < 0 ? nullptr
                             : const_cast<uint8_t*>(keyBuffers_.at(static_cast<size_t>(editingKey_)).data());
    case TDataSetState::dsOldValue:
      return oldValues_.empty() ? nullptr : const_cast<uint8_t*>(oldValues_.data());
    default:
      return nullptr;
  }
}

bool TZDBDataSet::GetFieldData(const data::TField& field, void* buffer) {
  if (!cursor_ || field.FieldNo() <= 0) return false;
  const uint8_t* row = StateRow();
  if (row == nullptr) return false;
  const int32_t fieldNo = field.FieldNo() - 1;
  if (fieldNo >= cursor_->FieldCount()) {
    RaiseError(errors::GetFieldNumber, {fieldNo, cursor_->FieldCount()});
  }
  // A buffer of the dataset's own, so that reading a field allocates nothing.
  std::vector<uint8_t>& engine = fieldData_;
  engine.assign(static_cast<size_t>(DatasetDataSize(cursor_->TableFields().Items(fieldNo))), 0);
  if (!cursor_->GetFieldData(fieldNo, row, engine.data())) return false;
  if (buffer != nullptr) {
    EngineToNative(field.DataType(), engine, static_cast<uint8_t*>(buffer),
                   data::NativeDataSize(field.DataType(), field.Size()));
  }
  return true;
}

void TZDBDataSet::SetFieldData(data::TField& field, const void* buffer) {
  if (!cursor_ || !data::IsWriteState(State())) RaiseError(errors::NotEditing);
  const int32_t fieldNo = field.FieldNo() - 1;
  if (State() == TDataSetState::dsSetKey &&
      (fieldNo < 0 || std::find(indexFields_.begin(), indexFields_.end(), fieldNo) == indexFields_.end())) {
    RaiseError(errors::NotIndexField, {field.FieldName()});
  }
  if (fieldNo < 0 || fieldNo >= cursor_->FieldCount()) {
    RaiseError(errors::SetFieldNumber, {fieldNo, cursor_->FieldCount()});
  }
  if (cursor_->TableFields().Items(fieldNo).IsBlob()) {
    // A large value has no field data: clearing it is writing an empty value.
    if (buffer != nullptr) DatabaseError(FormatMessage(data::SFieldAccessError, {field.DisplayName(), "data"}));
    CreateBlobStream(field, data::TBlobStreamMode::bmWrite);
    CloseBlob(field);
    return;
  }
  field.Validate(buffer);
  uint8_t* row = StateRow();
  if (row == nullptr) RaiseError(errors::SetFieldNoRow);
  std::vector<uint8_t> engine(static_cast<size_t>(DatasetDataSize(cursor_->TableFields().Items(fieldNo))), 0);
  if (buffer != nullptr && !NativeToEngine(field.DataType(), static_cast<const uint8_t*>(buffer),
                                           data::NativeDataSize(field.DataType(), field.Size()), engine)) {
    DatabaseError(FormatMessage(data::SFieldOutOfRange, {field.FieldName()}));
  }
  cursor_->SetFieldData(fieldNo, row, buffer == nullptr ? nullptr : engine.data());
  if (State() == TDataSetState::dsSetKey) row[cursor_->RowSize() + dataset_layout::KeyModifiedOffset] = 1;
  DataEvent(data::TDataEvent::deFieldChange, {&field, 0});
}

// --- large values ------------------------------------------------------------------------------------

std::unique_ptr<TStream> TZDBDataSet::CreateBlobStream(data::TField& field, data::TBlobStreamMode mode) {
  CheckActive();
  CheckCursor(errors::SetFieldNoRow);
  const int32_t fieldNo = field.FieldNo() - 1;
  if (fieldNo < 0 || fieldNo >= cursor_->FieldCount())
    RaiseError(errors::GetFieldNumber, {fieldNo, cursor_->FieldCount()});
  if (!cursor_->TableFields().Items(fieldNo).IsBlob())
    DatabaseError(FormatMessage(data::SFieldAccessError, {field.DisplayName(), "BLOB"}));
  const bool editing = State() == TDataSetState::dsEdit;
  const bool inserting = State() == TDataSetState::dsInsert;
  if (mode != data::TBlobStreamMode::bmRead && !editing && !inserting) RaiseError(errors::NotEditing);
  uint8_t* row = StateRow();
  if (row == nullptr) return nullptr;
  const TZDBScopedFlag opening(openingBlob_, true);
  // A browsed row is re-read where it stands.
  if (!editing && !inserting && row == ActiveBuffer()) UpdateCursorPos();
  cursor_->UseRecordBuffer(row);
  std::shared_ptr<TZDBLocalBLOBStream> stream;
  RunEditing([&] { stream = cursor_->OpenBlob(inserting, editing, EngineBlobMode(mode), fieldNo); });
  if (!stream) return nullptr;
  return std::make_unique<TZDBFieldBlobStream>(std::move(stream));
}

void TZDBDataSet::Refresh() {
  if (openingBlob_) return;
  data::TDataSet::Refresh();
}

void TZDBDataSet::CloseBlob(data::TField& field) {
  if (!cursor_) return;
  cursor_->UseRecordBuffer(StateRow());
  cursor_->CloseBlob(field.FieldNo() - 1);
  if (data::IsWriteState(State())) DataEvent(data::TDataEvent::deFieldChange, {&field, 0});
}

void TZDBDataSet::FreeRecordBuffer(data::TRecordBufferPtr& buffer) {
  if (cursor_ && buffer) {
    try {
      cursor_->FreeRecordBlobs(buffer.get());
    } catch (...) {  // the buffer goes all the same; the table reports what it still holds
    }
  }
  buffer.reset();
}

// --- key buffers -------------------------------------------------------------------------------------

void TZDBDataSet::CheckCursor(const TZDBError& nilCode) const {
  if (!cursor_) RaiseError(nilCode);
}

void TZDBDataSet::ClearKeyBuffer(uint8_t* key) {
  std::memset(key, 0, static_cast<size_t>(cursor_->KeyBufferLength()));
  cursor_->InitRecordBuffer(key, false);
}

int32_t TZDBDataSet::KeyFieldCountOf(int which) {
  const int32_t count = le::GetI32(KeyBuffer(which) + cursor_->RowSize() + dataset_layout::KeyFieldCountOffset);
  return count == 0 ? IndexFieldCount() : count;
}

void TZDBDataSet::EditKeyBuffer(int which, bool clear, const TZDBError& nilCode) {
  CheckCursor(nilCode);
  CheckBrowseMode();
  editingKey_ = which;
  keyBuffers_.at(SavedKey) = keyBuffers_.at(static_cast<size_t>(which));
  if (clear) ClearKeyBuffer(KeyBuffer(which));
  SetState(TDataSetState::dsSetKey);
}

void TZDBDataSet::SetKeyFields(int which, const std::vector<PlatformVariant>& values, const TZDBError& nilCode) {
  CheckCursor(nilCode);
  if (indexFields_.empty()) DatabaseError(data::SNoFieldIndexes);
  if (values.size() > indexFields_.size()) DatabaseError(data::SFieldIndexError);
  const int savedKey = editingKey_;
  const TDataSetState savedState = SetTempState(TDataSetState::dsSetKey);
  editingKey_ = which;
  try {
    uint8_t* key = KeyBuffer(which);
    ClearKeyBuffer(key);
    for (size_t i = 0; i < values.size(); ++i) {
      data::TField* field = nullptr;
      for (int f = 0; f < FieldCount(); ++f) {
        if (Fields(f).FieldNo() == indexFields_[i] + 1) field = &Fields(f);
      }
      if (field == nullptr) {
        DatabaseError(FormatMessage(data::SIndexFieldMissing, {cursor_->TableFields().Items(indexFields_[i]).Name()}));
      }
      field->SetAsVariant(values[i]);
    }
    le::PutI32(key + cursor_->RowSize() + dataset_layout::KeyFieldCountOffset, static_cast<int32_t>(values.size()));
  } catch (...) {
    editingKey_ = savedKey;
    RestoreState(savedState);
    throw;
  }
  editingKey_ = savedKey;
  RestoreState(savedState);
}

void TZDBDataSet::Post() {
  if (State() != TDataSetState::dsSetKey) {
    data::TDataSet::Post();
    return;
  }
  DataEvent(data::TDataEvent::deUpdateRecord);
  editingKey_ = -1;
  SetState(TDataSetState::dsBrowse);
}

void TZDBDataSet::Cancel() {
  if (State() != TDataSetState::dsSetKey) {
    data::TDataSet::Cancel();
    return;
  }
  keyBuffers_.at(static_cast<size_t>(editingKey_)) = keyBuffers_.at(SavedKey);
  editingKey_ = -1;
  SetState(TDataSetState::dsBrowse);
}

// --- editing -------------------------------------------------------------------------------------------

template <typename Call>
void TZDBDataSet::RunEditing(Call call) {
  try {
    call();
  } catch (const EZDBException& failure) {
    // The cursor's result codes of the editing cycle reach the application as engine
    // errors; other failures pass on as they are.
    const int32_t code = failure.NativeError();
    if (code >= engine_code::TableLocked && code <= engine_code::AddFailed) RaiseEngineError(code, failure.Message());
    throw;
  }
}

void TZDBDataSet::ClearOldValues() {
  if (oldValues_.empty()) return;
  if (cursor_) {
    // The old row's own values (loaded when it was shown) go with it, and the cursor
    // must not keep working on a buffer that is gone.
    if (cursor_->RecordBuffer() == oldValues_.data()) cursor_->UseRecordBuffer(nullptr);
    try {
      cursor_->FreeRecordBlobs(oldValues_.data());
    } catch (...) {  // the buffer goes all the same; the table reports what it still holds
    }
  }
  oldValues_.clear();
}

void TZDBDataSet::InternalEdit() {
  if (readOnly_) return;
  uint8_t* active = ActiveBuffer();
  ClearOldValues();
  oldValues_.assign(active, active + cursor_->RecordBufferLength());
  // The active buffer keeps its values; the copy loads its own when it is read.
  cursor_->DetachRecordBlobs(oldValues_.data());
  cursor_->UseRecordBuffer(active);
  try {
    RunEditing([&] { cursor_->BeginEdit(); });
  } catch (...) {
    ClearOldValues();
    throw;
  }
}

void TZDBDataSet::InternalInsert() { ClearOldValues(); }

void TZDBDataSet::InternalPost() {
  CheckRequiredFields();
  const bool isInsert = State() == TDataSetState::dsInsert;
  cursor_->UseRecordBuffer(ActiveBuffer());
  RunEditing([&] { cursor_->PostRecord(isInsert, isInsert || oldValues_.empty() ? nullptr : oldValues_.data()); });
  // A failed post keeps the old row, so that a second post compares against it again.
  ClearOldValues();
}

void TZDBDataSet::InternalCancel() {
  const bool wasInsert = State() == TDataSetState::dsInsert;
  ClearOldValues();
  // The row whose unsaved values the cancel drops is the active one, whatever buffer
  // the cursor worked on last.
  cursor_->UseRecordBuffer(ActiveBuffer());
  cursor_->CancelEdit(wasInsert);
}

void TZDBDataSet::InternalDelete() {
  cursor_->UseRecordBuffer(ActiveBuffer());
  RunEditing([&] { cursor_->RemoveRecord(); });
}

}  // namespace zdb
