// TDataSet: the editing cycle (edit, insert, append, post, cancel, delete) and its
// error events.
#include "engine/framework/DataConsts.h"
#include "engine/framework/DataSet.h"

namespace data {

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::deCheckBrowseMode);
  switch (state_) {
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case TDataSetState::dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (!IsWriteState(state_)) DatabaseError(SNotEditing);
  DataEvent(TDataEvent::deUpdateRecord);
}

void TDataSet::CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& errorEvent) {
  for (;;) {
    try {
      operation();
      return;
    } catch (EDatabaseError& error) {
      TDataAction action = TDataAction::daFail;
      if (errorEvent) errorEvent(*this, error, action);
      if (action == TDataAction::daFail) throw;
      if (action == TDataAction::daAbort) Abort();
      // daRetry: run the operation again.
    }
  }
}

void TDataSet::Edit() {
  if (state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert) return;
  CheckActive();
  if (recordCount_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit, *this);
  CheckOperation(
      [this] {
        UpdateCursorPos();
        InternalEdit();
      },
      OnEditError);
  SetState(TDataSetState::dsEdit);
  DataEvent(TDataEvent::deRecordChange);
  Fire(AfterEdit, *this);
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfInserted);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert, *this);
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(TDataSetState::dsInsert);
  try {
    Fire(OnNewRecord, *this);
  } catch (...) {
    UndoInsert();
    throw;
  }
  modified_ = false;
  DataEvent(TDataEvent::deDataSetChange);
  Fire(AfterInsert, *this);
  DoAfterScroll();
}

void TDataSet::UndoInsert() {
  // Runs while another failure propagates; that one is the failure to report.
  try {
    UpdateCursorPos();
    if (state_ == TDataSetState::dsInsert) InternalCancel();
  } catch (...) {
  }
  insertBookmark_.clear();
  SetState(TDataSetState::dsBrowse);
  try {
    Resync({});
  } catch (...) {
  }
}

void TDataSet::Insert() {
  BeginInsertAppend();
  insertBookmark_ = GetBookmark();
  MoveBuffer(recordCount_, activeRecord_);
  if (recordCount_ == 0) {
    CursorPosChanged();
  } else if (currentRecord_ >= activeRecord_) {
    ++currentRecord_;
  }
  if (recordCount_ < bufferCount_) ++recordCount_;
  if (currentRecord_ >= recordCount_) CursorPosChanged();
  TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (insertBookmark_.empty()) SetBookmarkFlag(buffer, TBookmarkFlag::bfBOF);
  try {
    UpdateCursorPos();
    InternalInsert();
  } catch (...) {
    UndoInsert();
    throw;
  }
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  insertBookmark_.clear();
  ClearBuffers();
  TRecordBuffer buffer = buffers_[0].get();
  InitRecord(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfEOF);
  recordCount_ = 1;
  bof_ = false;
  try {
    GetPriorRecords();
    UpdateCursorPos();
    InternalInsert();
  } catch (...) {
    UndoInsert();
    throw;
  }
  EndInsertAppend();
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforePost, *this);
  CheckOperation(
      [this] {
        UpdateCursorPos();
        InternalPost();
      },
      OnPostError);
  SetState(TDataSetState::dsBrowse);
  Resync({});
  Fire(AfterPost, *this);
}

void TDataSet::Cancel() {
  if (state_ != TDataSetState::dsEdit && state_ != TDataSetState::dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforeCancel, *this);
  const bool wasInserting = state_ == TDataSetState::dsInsert;
  if (wasInserting) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  SetState(TDataSetState::dsBrowse);
  Resync({});
  Fire(AfterCancel, *this);
  if (wasInserting) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert || state_ == TDataSetState::dsSetKey) {
    Cancel();
    return;
  }
  if (recordCount_ == 0) DatabaseError(SDataSetEmpty);
  CheckCanModify();
  // The row goes as it is stored: an edit in progress is dropped first, which also lets
  // go of what the edit holds (its old values, its locks).
  if (state_ == TDataSetState::dsEdit) Cancel();
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforeDelete, *this);
  DoBeforeScroll();
  CheckOperation(
      [this] {
        UpdateCursorPos();
        InternalDelete();
      },
      OnDeleteError);
  SetState(TDataSetState::dsBrowse);
  Resync({});
  Fire(AfterDelete, *this);
  DoAfterScroll();
}

}  // namespace data
