// TDataSet: opening and closing, states, events, data sources and field objects.
#include "engine/framework/DataSet.h"

#include <algorithm>
#include <exception>

#include "engine/framework/DataConsts.h"
#include "engine/framework/DataSource.h"
#include "engine/framework/FieldClasses.h"
#include "engine/framework/TextCase.h"

namespace data {

TDataSet::~TDataSet() {
  // The subclass has closed (or forgot to: its hooks are gone, so the buffers simply go).
  state_ = TDataSetState::dsInactive;
  while (!dataSources_.empty()) dataSources_.back()->SetDataSet(nullptr);
}

void TDataSet::Fire(const TDataSetNotifyEvent& event, TDataSet& dataSet) {
  if (event) event(dataSet);
}

void TDataSet::DatabaseError(std::string_view message) const { data::DatabaseError(message, name_); }

void TDataSet::CheckActive() const {
  if (state_ == TDataSetState::dsInactive) DatabaseError(SDataSetClosed);
}

std::unique_ptr<zdb::TStream> TDataSet::CreateBlobStream(TField& field, TBlobStreamMode /*mode*/) {
  CheckActive();
  DatabaseError(FormatMessage(SUnsupportedFieldType, {field.DisplayName()}));
}

void TDataSet::CloseBlob(TField& /*field*/) {}

void TDataSet::CheckInactive() const {
  if (state_ != TDataSetState::dsInactive) DatabaseError(SDataSetOpen);
}

void TDataSet::CheckCanModify() const {
  if (!GetCanModify()) DatabaseError(SDataSetReadOnly);
}

// --- Opening and closing ----------------------------------------------------------------

void TDataSet::SetActive(bool value) {
  if (state_ == TDataSetState::dsOpening || value == Active()) return;
  if (value) {
    Fire(BeforeOpen, *this);
    state_ = TDataSetState::dsOpening;
    try {
      defaultFields_ = fields_.empty();
      OpenCursor();
      OpenWindow();
    } catch (...) {
      state_ = TDataSetState::dsInactive;
      try {
        CloseCursor();
      } catch (...) {
        // The failure that stopped the open is the one to report.
      }
      throw;
    }
    SetState(TDataSetState::dsBrowse);
    Fire(AfterOpen, *this);
    return;
  }

  Fire(BeforeClose, *this);
  std::exception_ptr cancelFailure;
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) {
    try {
      UpdateCursorPos();
      InternalCancel();
    } catch (...) {
      cancelFailure = std::current_exception();
    }
  }
  SetState(TDataSetState::dsInactive);
  CloseCursor();
  Fire(AfterClose, *this);
  if (cancelFailure) std::rethrow_exception(cancelFailure);
}

void TDataSet::OpenCursor() { InternalOpen(); }

void TDataSet::CloseCursor() {
  CloseWindow();
  InternalClose();
}

// --- States and events ------------------------------------------------------------------

void TDataSet::SetState(TDataSetState value) {
  if (state_ == value) return;
  state_ = value;
  modified_ = false;
  if (value != TDataSetState::dsInsert) insertBookmark_.clear();
  DataEvent(TDataEvent::deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  const TDataSetState saved = state_;
  state_ = value;
  ++disableCount_;
  return saved;
}

void TDataSet::RestoreState(TDataSetState value) {
  state_ = value;
  --disableCount_;
}

void TDataSet::DataEvent(TDataEvent event, TDataEventInfo info) {
  if (event == TDataEvent::deFieldChange) modified_ = true;
  if (disableCount_ != 0) {
    if (event == TDataEvent::deLayoutChange) enableEvent_ = TDataEvent::deLayoutChange;
    return;
  }
  // A handler may detach sources; tell only those still attached.
  const std::vector<TDataSource*> sources = dataSources_;
  for (TDataSource* source : sources)
    if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end())
      source->DataEvent(event, info);
}

void TDataSet::DisableControls() {
  if (disableCount_ == 0) {
    disableState_ = state_;
    enableEvent_ = TDataEvent::deDataSetChange;
  }
  ++disableCount_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ != 0) return;
  if (disableState_ != state_) DataEvent(TDataEvent::deUpdateState);
  if (disableState_ != TDataSetState::dsInactive && state_ != TDataSetState::dsInactive) DataEvent(enableEvent_);
}

void TDataSet::DoBeforeScroll() { Fire(BeforeScroll, *this); }
void TDataSet::DoAfterScroll() { Fire(AfterScroll, *this); }

// --- Data sources -----------------------------------------------------------------------

void TDataSet::AddDataSource(TDataSource* source) {
  dataSources_.push_back(source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source), dataSources_.end());
  UpdateBufferCount();
}

void TDataSet::UpdateBufferCount() {
  if (state_ == TDataSetState::dsInactive) return;
  int count = 1;
  for (const TDataSource* source : dataSources_)
    for (const TDataLink* link : source->links_) count = std::max(count, link->bufferCount_);
  SetBufferCount(count);
}

void TDataSet::AdjustLinkFirstRecords(int delta) {
  if (delta == 0) return;
  for (TDataSource* source : dataSources_)
    for (TDataLink* link : source->links_)
      if (link->active_) link->firstRecord_ += delta;
}

// --- Fields -----------------------------------------------------------------------------

TField& TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) DatabaseError(SFieldIndexError);
  return *fields_[static_cast<size_t>(index)];
}

TField* TDataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_)
    if (SameText(field->FieldName(), name)) return field.get();
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) DatabaseError(FormatMessage(SFieldNotFound, {name}));
  return *field;
}

TField& TDataSet::AddField(std::unique_ptr<TField> field) {
  CheckInactive();
  if (field->FieldName().empty()) DatabaseError(SFieldNameMissing);
  if (FindField(field->FieldName()) != nullptr) DatabaseError(FormatMessage(SDuplicateFieldName, {field->FieldName()}));
  field->dataSet_ = this;
  fields_.push_back(std::move(field));
  return *fields_.back();
}

int TDataSet::IndexOfField(const TField* field) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].get() == field) return static_cast<int>(i);
  return -1;
}

void TDataSet::InitFieldDefs() {
  if (fieldDefs_.Updated()) return;
  fieldDefs_.Clear();
  InternalInitFieldDefs();
  fieldDefs_.SetUpdated(true);
}

namespace {

bool IsTextType(TFieldType type) {
  return type == TFieldType::ftString || type == TFieldType::ftFixedChar || type == TFieldType::ftWideString ||
         type == TFieldType::ftGuid;
}

}  // namespace

void TDataSet::CreateFields() {
  for (int i = 0; i < fieldDefs_.Count(); ++i) {
    const TFieldDef& def = fieldDefs_[i];
    std::unique_ptr<TField> field = CreateFieldOfType(def.DataType);
    if (field == nullptr) DatabaseError(FormatMessage(SUnsupportedFieldType, {def.Name}));
    if (IsTextType(def.DataType) && def.DataType != TFieldType::ftGuid) {
      if (def.Size < 1) DatabaseError(SInvalidFieldSize);
      field->size_ = def.Size;
    }
    field->fieldName_ = def.Name;
    field->required_ = def.Required;
    field->dataSet_ = this;
    fields_.push_back(std::move(field));
  }
}

void TDataSet::BindFields(bool binding) {
  for (const auto& field : fields_) {
    if (!binding) {
      field->fieldNo_ = 0;
      continue;
    }
    const TFieldDef& def = fieldDefs_.Find(field->FieldName());
    if (def.DataType != field->DataType())
      DatabaseError(FormatMessage(SFieldTypeMismatch,
                                  {field->DisplayName(), FieldTypeName(field->DataType()), FieldTypeName(def.DataType)}));
    if (IsTextType(def.DataType) && def.Size != field->Size())
      DatabaseError(FormatMessage(SFieldSizeMismatch,
                                  {field->DisplayName(), std::to_string(field->Size()), std::to_string(def.Size)}));
    field->fieldNo_ = def.FieldNo;
  }
}

void TDataSet::DestroyFields() { fields_.clear(); }

void TDataSet::CheckRequiredFields() const {
  for (const auto& field : fields_)
    if (field->Required() && !field->ReadOnly() && field->IsNull())
      data::DatabaseError(FormatMessage(SFieldRequired, {field->DisplayName()}));
}

}  // namespace data
