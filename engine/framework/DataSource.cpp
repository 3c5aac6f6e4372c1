#include "engine/framework/DataSource.h"

#include <algorithm>
#include <set>
#include <string>

#include "engine/framework/DataConsts.h"
#include "engine/framework/DataSet.h"
#include "engine/framework/DatabaseError.h"

namespace data {

// --- TDataSource ------------------------------------------------------------------------

TDataSource::~TDataSource() {
  while (!links_.empty()) links_.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet != nullptr && IsLinkedTo(dataSet)) DatabaseError(SCircularDataLink);
  if (dataSet_ != nullptr) {
    TDataSet* old = dataSet_;
    dataSet_ = nullptr;
    old->RemoveDataSource(this);
  }
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) dataSet_->AddDataSource(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool value) {
  enabled_ = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (autoEdit_ && state_ == TDataSetState::dsBrowse) dataSet_->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
  std::set<const TDataSet*> seen;  // a cycle further up must not hang the walk
  while (dataSet != nullptr && seen.insert(dataSet).second) {
    const TDataSource* master = dataSet->GetDataSource();
    if (master == nullptr) return false;
    if (master == this) return true;
    dataSet = master->dataSet_;
  }
  return false;
}

void TDataSource::UpdateState() {
  const TDataSetState state =
      enabled_ && dataSet_ != nullptr ? dataSet_->State() : TDataSetState::dsInactive;
  if (state == state_) return;
  state_ = state;
  NotifyLinks(TDataEvent::deUpdateState, {});
  if (OnStateChange) OnStateChange(*this);
}

void TDataSource::DataEvent(TDataEvent event, TDataEventInfo info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == TDataSetState::dsInactive) return;
  NotifyLinks(event, info);
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deLayoutChange:
      if (OnDataChange) OnDataChange(*this, event == TDataEvent::deFieldChange ? info.Field : nullptr);
      break;
    case TDataEvent::deUpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

void TDataSource::NotifyLinks(TDataEvent event, TDataEventInfo info) {
  // A link may detach itself (or another) while it is told.
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
}

// --- TDataLink --------------------------------------------------------------------------

TDataLink::~TDataLink() { SetDataSource(nullptr); }

TDataSet* TDataLink::DataSet() const { return dataSource_ == nullptr ? nullptr : dataSource_->dataSet_; }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  if (dataSource_ != nullptr) {
    TDataSource* old = dataSource_;
    old->links_.erase(std::remove(old->links_.begin(), old->links_.end(), this), old->links_.end());
    dataSource_ = nullptr;
    if (old->dataSet_ != nullptr) old->dataSet_->UpdateBufferCount();
  }
  dataSource_ = source;
  if (dataSource_ != nullptr) {
    dataSource_->links_.push_back(this);
    if (dataSource_->dataSet_ != nullptr) dataSource_->dataSet_->UpdateBufferCount();
  }
  UpdateState();
}

void TDataLink::SetReadOnly(bool value) {
  readOnly_ = value;
  UpdateState();
}

void TDataLink::UpdateState() {
  const TDataSetState state = dataSource_ == nullptr ? TDataSetState::dsInactive : dataSource_->State();
  SetActive(state != TDataSetState::dsInactive);
  SetEditing(active_ && IsEditState(state) && !readOnly_);
}

void TDataLink::SetActive(bool value) {
  if (active_ == value) return;
  active_ = value;
  firstRecord_ = 0;
  if (active_) UpdateRange(0);
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (editing_ == value) return;
  editing_ = value;
  EditingChanged();
}

int TDataLink::ActiveRecord() const {
  if (!active_ || dataSource_->State() == TDataSetState::dsSetKey) return 0;
  return DataSet()->activeRecord_ - firstRecord_;
}

void TDataLink::SetActiveRecord(int value) {
  if (!active_ || dataSource_->State() == TDataSetState::dsSetKey) return;
  if (value < 0 || value >= RecordCount()) DatabaseError(SRecordIndexError);
  DataSet()->activeRecord_ = value + firstRecord_;
}

void TDataLink::SetBufferCount(int value) {
  if (value < 1) DatabaseError(FormatMessage(SInvalidBufferCount, {std::to_string(value)}));
  if (value == bufferCount_) return;
  bufferCount_ = value;
  if (TDataSet* dataSet = DataSet()) dataSet->UpdateBufferCount();
  if (active_) UpdateRange(0);
}

int TDataLink::RecordCount() const {
  if (!active_) return 0;
  if (dataSource_->State() == TDataSetState::dsSetKey) return 1;
  return std::clamp(DataSet()->recordCount_ - firstRecord_, 0, bufferCount_);
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_ != nullptr) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

int TDataLink::MoveBy(int distance) { return DataSet()->MoveBy(distance); }
bool TDataLink::Bof() const { return DataSet()->Bof(); }
bool TDataLink::Eof() const { return DataSet()->Eof(); }

int TDataLink::UpdateRange(int shift) {
  const TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || dataSource_->State() == TDataSetState::dsSetKey) return 0;
  const int before = firstRecord_ + shift;
  const int active = dataSet->activeRecord_;
  int first = before;
  if (active > first + bufferCount_ - 1) first = active - bufferCount_ + 1;
  if (active < first) first = active;
  // Show as many rows as the dataset's window holds; the active one stays inside.
  first = std::max(0, std::min(first, dataSet->recordCount_ - bufferCount_));
  firstRecord_ = first;
  return first - before;
}

void TDataLink::DataEvent(TDataEvent event, TDataEventInfo info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
      if (!updating_) RecordChanged(info.Field);
      break;
    case TDataEvent::deDataSetChange:
      UpdateRange(0);
      DataSetChanged();
      break;
    case TDataEvent::deDataSetScroll:
      DataSetScrolled(UpdateRange(info.Distance));
      break;
    case TDataEvent::deLayoutChange:
      UpdateRange(0);
      LayoutChanged();
      break;
    case TDataEvent::deUpdateRecord:
      UpdateRecord();
      break;
    case TDataEvent::deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case TDataEvent::deUpdateState:
      break;
  }
}

}  // namespace data

