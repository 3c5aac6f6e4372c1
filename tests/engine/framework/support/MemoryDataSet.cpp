#include "tests/engine/framework/support/MemoryDataSet.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/framework/DataConsts.h"
#include "engine/framework/FieldClasses.h"

namespace data::testing {

using zdb::PlatformVariant;
using zdb::TVarType;

namespace {
constexpr int IdSize = 4;
constexpr int FlagSize = 1;
constexpr uint8_t NullByte = 1;
}  // namespace

TMemoryDataSet::~TMemoryDataSet() { Close(); }

void TMemoryDataSet::Arm(Failure& failure, int count, std::string text) {
  failure.Count = count;
  failure.Text = std::move(text);
}

void TMemoryDataSet::Trip(Failure& failure) {
  if (failure.Count == 0) return;
  --failure.Count;
  throw EDatabaseError(failure.Text);
}

void TMemoryDataSet::DefineField(std::string name, TFieldType type, int size, bool required) {
  columns_.push_back({std::move(name), type, size, required});
  Layout();
}

void TMemoryDataSet::Layout() {
  int offset = 0;
  for (Column& column : columns_) {
    column.Offset = offset;
    offset += 1 + NativeDataSize(column.Type, column.Size);
  }
  rowSize_ = offset;
}

void TMemoryDataSet::Encode(std::vector<uint8_t>& data, size_t column, const PlatformVariant& value) const {
  const Column& c = columns_.at(column);
  uint8_t* at = data.data() + c.Offset;
  const int size = NativeDataSize(c.Type, c.Size);
  std::memset(at + 1, 0, static_cast<size_t>(size));
  if (value.Type() == TVarType::Null || value.Type() == TVarType::Empty) {
    at[0] = NullByte;
    return;
  }
  at[0] = 0;
  switch (c.Type) {
    case TFieldType::ftSmallint: {
      const auto v = static_cast<int16_t>(value.AsInt64());
      std::memcpy(at + 1, &v, sizeof v);
      break;
    }
    case TFieldType::ftWord:
    case TFieldType::ftBoolean: {
      const auto v = static_cast<uint16_t>(value.AsInt64());
      std::memcpy(at + 1, &v, sizeof v);
      break;
    }
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc: {
      const auto v = static_cast<int32_t>(value.AsInt64());
      std::memcpy(at + 1, &v, sizeof v);
      break;
    }
    case TFieldType::ftLargeint: {
      const int64_t v = value.AsInt64();
      std::memcpy(at + 1, &v, sizeof v);
      break;
    }
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftGuid: {
      const std::string& text = value.AsAnsiText();
      std::memcpy(at + 1, text.data(), std::min(text.size(), static_cast<size_t>(c.Size)));
      break;
    }
    default: {  // the floating and date-time types
      const double v = value.Type() == TVarType::Double || value.Type() == TVarType::Date
                           ? value.AsDouble()
                           : static_cast<double>(value.AsInt64());
      std::memcpy(at + 1, &v, sizeof v);
      break;
    }
  }
}

int32_t TMemoryDataSet::AddRow(const std::vector<PlatformVariant>& values) {
  Row row{nextId_++, std::vector<uint8_t>(static_cast<size_t>(rowSize_))};
  for (size_t i = 0; i < columns_.size(); ++i)
    Encode(row.Data, i, i < values.size() ? values[i] : PlatformVariant::Null());
  rows_.push_back(std::move(row));
  return rows_.back().Id;
}

void TMemoryDataSet::FillNumbers(TMemoryDataSet& dataSet, int count) {
  dataSet.DefineField("N", TFieldType::ftInteger);
  for (int i = 1; i <= count; ++i) dataSet.AddRow({PlatformVariant::Integral(TVarType::Integer, i)});
}

void TMemoryDataSet::StoreValue(size_t row, size_t column, const PlatformVariant& value) {
  Encode(rows_.at(row).Data, column, value);
}

void TMemoryDataSet::RemoveStoredRow(size_t row) { rows_.erase(rows_.begin() + static_cast<long>(row)); }

PlatformVariant TMemoryDataSet::StoredValue(size_t row, size_t column) const {
  const Column& c = columns_.at(column);
  const uint8_t* at = rows_.at(row).Data.data() + c.Offset;
  if (at[0] == NullByte) return PlatformVariant::Null();
  switch (c.Type) {
    case TFieldType::ftInteger: {
      int32_t v = 0;
      std::memcpy(&v, at + 1, sizeof v);
      return PlatformVariant::Integral(TVarType::Integer, v);
    }
    case TFieldType::ftFloat: {
      double v = 0;
      std::memcpy(&v, at + 1, sizeof v);
      return PlatformVariant::Real(TVarType::Double, v);
    }
    case TFieldType::ftString:
      return PlatformVariant::AnsiText(reinterpret_cast<const char*>(at + 1));
    default:
      throw std::logic_error("StoredValue: type not needed by the tests");
  }
}

// --- Buffers and bookmarks ------------------------------------------------------------

TRecordBufferPtr TMemoryDataSet::AllocRecordBuffer() {
  ++liveBuffers_;
  return TRecordBufferPtr(new uint8_t[static_cast<size_t>(rowSize_ + IdSize + FlagSize)]());
}

void TMemoryDataSet::FreeRecordBuffer(TRecordBufferPtr& buffer) {
  --liveBuffers_;
  buffer.reset();
}

void TMemoryDataSet::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<size_t>(rowSize_ + IdSize + FlagSize));
  for (const Column& column : columns_) buffer[column.Offset] = NullByte;
  SetId(buffer, -1);
}

int32_t TMemoryDataSet::IdOf(TRecordBuffer buffer) const {
  int32_t id = 0;
  std::memcpy(&id, buffer + rowSize_, IdSize);
  return id;
}

void TMemoryDataSet::SetId(TRecordBuffer buffer, int32_t id) const { std::memcpy(buffer + rowSize_, &id, IdSize); }

void TMemoryDataSet::GetBookmarkData(TRecordBuffer buffer, uint8_t* data) const {
  std::memcpy(data, buffer + rowSize_, IdSize);
}

void TMemoryDataSet::SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) {
  std::memcpy(buffer + rowSize_, data, IdSize);
}

TBookmarkFlag TMemoryDataSet::GetBookmarkFlag(TRecordBuffer buffer) const {
  return static_cast<TBookmarkFlag>(buffer[rowSize_ + IdSize]);
}

void TMemoryDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  buffer[rowSize_ + IdSize] = static_cast<uint8_t>(flag);
}

int TMemoryDataSet::IndexOfId(int32_t id) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].Id == id) return static_cast<int>(i);
  return -1;
}

bool TMemoryDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (bookmark.size() != IdSize) return false;
  int32_t id = 0;
  std::memcpy(&id, bookmark.data(), IdSize);
  return IndexOfId(id) >= 0;
}

int TMemoryDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? 1 : -1);
  int32_t idA = 0, idB = 0;
  std::memcpy(&idA, a.data(), IdSize);
  std::memcpy(&idB, b.data(), IdSize);
  const int indexA = IndexOfId(idA), indexB = IndexOfId(idB);
  return indexA < indexB ? -1 : (indexA > indexB ? 1 : 0);
}

// --- The cursor -----------------------------------------------------------------------

TGetResult TMemoryDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  ++reads_;
  const int count = static_cast<int>(rows_.size());
  switch (mode) {
    case TGetMode::gmCurrent:
      if (position_ < 0 || position_ >= count) return TGetResult::grError;
      break;
    case TGetMode::gmNext:
      if (position_ + 1 >= count) {
        position_ = count;
        return TGetResult::grEOF;
      }
      ++position_;
      break;
    case TGetMode::gmPrior:
      if (position_ - 1 < 0 || count == 0) {
        position_ = -1;
        return TGetResult::grBOF;
      }
      position_ = std::min(position_, count) - 1;
      break;
  }
  const Row& row = rows_[static_cast<size_t>(position_)];
  std::memcpy(buffer, row.Data.data(), row.Data.size());
  SetId(buffer, row.Id);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfCurrent);
  return TGetResult::grOK;
}

void TMemoryDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  uint8_t bookmark[IdSize];
  GetBookmarkData(buffer, bookmark);
  InternalGotoBookmark(bookmark);
}

void TMemoryDataSet::InternalGotoBookmark(const uint8_t* bookmark) {
  int32_t id = 0;
  std::memcpy(&id, bookmark, IdSize);
  position_ = IndexOfId(id);  // a vanished row: before the first
}

int TMemoryDataSet::GetRecNo() const {
  const int index = IndexOfId(IdOf(ActiveBuffer()));
  return index < 0 ? -1 : index + 1;
}

void TMemoryDataSet::InternalSetRecNo(int value) {
  if (rows_.empty()) return;
  position_ = std::clamp(value, 1, static_cast<int>(rows_.size())) - 1;
}

// --- Opening --------------------------------------------------------------------------

void TMemoryDataSet::InternalInitFieldDefs() {
  for (const Column& column : columns_) FieldDefs().Add(column.Name, column.Type, column.Size, column.Required);
}

void TMemoryDataSet::InternalOpen() {
  Trip(openFailure_);
  SetBookmarkSize(IdSize);
  InitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  position_ = -1;
  open_ = true;
}

void TMemoryDataSet::InternalClose() {
  ++closes_;
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  oldValues_.clear();
  open_ = false;
}

// --- Fields ---------------------------------------------------------------------------

TRecordBuffer TMemoryDataSet::StateBuffer() const {
  switch (State()) {
    case TDataSetState::dsBrowse:
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      return ActiveBuffer();
    case TDataSetState::dsOldValue:
      return oldValues_.empty() ? ActiveBuffer() : const_cast<uint8_t*>(oldValues_.data());
    default:
      return nullptr;
  }
}

bool TMemoryDataSet::GetFieldData(const TField& field, void* buffer) {
  TRecordBuffer row = StateBuffer();
  if (row == nullptr || field.FieldNo() == 0) return false;
  const Column& column = columns_.at(static_cast<size_t>(field.FieldNo() - 1));
  if (row[column.Offset] == NullByte) return false;
  if (buffer != nullptr) std::memcpy(buffer, row + column.Offset + 1, static_cast<size_t>(field.DataSize()));
  return true;
}

void TMemoryDataSet::SetFieldData(TField& field, const void* buffer) {
  if (State() != TDataSetState::dsEdit && State() != TDataSetState::dsInsert) DatabaseError(SNotEditing);
  field.Validate(buffer);
  TRecordBuffer row = ActiveBuffer();
  const Column& column = columns_.at(static_cast<size_t>(field.FieldNo() - 1));
  row[column.Offset] = buffer == nullptr ? NullByte : 0;
  const size_t size = static_cast<size_t>(field.DataSize());
  if (buffer != nullptr) {
    std::memcpy(row + column.Offset + 1, buffer, size);
  } else {
    std::memset(row + column.Offset + 1, 0, size);
  }
  DataEvent(TDataEvent::deFieldChange, {&field, 0});
}

// --- Editing --------------------------------------------------------------------------

void TMemoryDataSet::InternalEdit() {
  Trip(editFailure_);
  TRecordBuffer active = ActiveBuffer();
  oldValues_.assign(active, active + rowSize_ + IdSize + FlagSize);
}

void TMemoryDataSet::InternalPost() {
  CheckRequiredFields();
  Trip(postFailure_);
  TRecordBuffer active = ActiveBuffer();
  std::vector<uint8_t> data(active, active + rowSize_);
  if (State() == TDataSetState::dsInsert) {
    const bool append = GetBookmarkFlag(active) == TBookmarkFlag::bfEOF;
    const int at = append ? static_cast<int>(rows_.size()) : std::max(position_, 0);
    rows_.insert(rows_.begin() + at, Row{nextId_++, std::move(data)});
    SetId(active, rows_[static_cast<size_t>(at)].Id);
    position_ = at;
  } else {
    position_ = IndexOfId(IdOf(active));
    if (position_ < 0) DatabaseError("Record was deleted by another writer");
    rows_[static_cast<size_t>(position_)].Data = std::move(data);
  }
  oldValues_.clear();
}

void TMemoryDataSet::InternalCancel() {
  ++cancels_;
  oldValues_.clear();
}

void TMemoryDataSet::InternalDelete() {
  Trip(deleteFailure_);
  const int index = IndexOfId(IdOf(ActiveBuffer()));
  if (index < 0) DatabaseError("Record was deleted by another writer");
  rows_.erase(rows_.begin() + index);
  position_ = index;
}

}  // namespace data::testing
