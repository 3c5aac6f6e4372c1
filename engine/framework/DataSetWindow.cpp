// TDataSet: the window of record buffers, moving through the rows, re-reading the
// window around the cursor, record numbers and bookmarks.
#include <algorithm>

#include "engine/framework/DataConsts.h"
#include "engine/framework/DataSet.h"

namespace data {

TRecordBuffer TDataSet::ActiveBuffer() const {
  return recordCount_ == 0 ? nullptr : buffers_[static_cast<size_t>(activeRecord_)].get();
}

TRecordBuffer TDataSet::TempBuffer() const {
  return buffers_.empty() ? nullptr : buffers_[static_cast<size_t>(bufferCount_)].get();
}

// --- The window -------------------------------------------------------------------------

void TDataSet::OpenWindow() {
  UpdateBufferCount();
  ClearBuffers();
  GetNextRecords();
  bof_ = true;
  eof_ = recordCount_ == 0;
}

void TDataSet::CloseWindow() {
  ClearBuffers();
  for (TRecordBufferPtr& buffer : buffers_) FreeRecordBuffer(buffer);
  buffers_.clear();
  bufferCount_ = 0;
}

void TDataSet::SetBufferCount(int count) {
  if (count == bufferCount_) return;
  if (count < bufferCount_) {
    const int excess = recordCount_ - count;
    int droppedAbove = 0;
    if (excess > 0) {
      // Keep the active row: rows leave above it as far as needed, the rest below.
      droppedAbove = std::max(0, activeRecord_ - (count - 1));
      std::rotate(buffers_.begin(), buffers_.begin() + droppedAbove, buffers_.begin() + recordCount_);
      activeRecord_ -= droppedAbove;
      if (currentRecord_ >= 0) {
        currentRecord_ -= droppedAbove;
        if (currentRecord_ < 0 || currentRecord_ >= count) CursorPosChanged();
      }
      recordCount_ = count;
    }
    for (size_t i = static_cast<size_t>(count) + 1; i < buffers_.size(); ++i) FreeRecordBuffer(buffers_[i]);
    buffers_.resize(static_cast<size_t>(count) + 1);
    bufferCount_ = count;
    AdjustLinkFirstRecords(-droppedAbove);
    if (excess > 0) DataEvent(TDataEvent::deDataSetChange);
    return;
  }
  while (buffers_.size() < static_cast<size_t>(count) + 1) buffers_.push_back(AllocRecordBuffer());
  bufferCount_ = count;
  if (recordCount_ == 0) return;
  GetNextRecords();
  AdjustLinkFirstRecords(GetPriorRecords());
  DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::ClearBuffers() {
  recordCount_ = 0;
  activeRecord_ = 0;
  currentRecord_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  recordCount_ = 1;
  activeRecord_ = 0;
  currentRecord_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  const auto begin = buffers_.begin();
  if (from < to) {
    std::rotate(begin + from, begin + from + 1, begin + to + 1);
  } else if (from > to) {
    std::rotate(begin + to, begin + from, begin + from + 1);
  }
}

void TDataSet::PositionCursorAt(TRecordBuffer buffer) {
  switch (GetBookmarkFlag(buffer)) {
    case TBookmarkFlag::bfCurrent:
      InternalSetToRecord(buffer);
      break;
    case TBookmarkFlag::bfInserted:
      // A row being inserted stands where the row after it is.
      if (!insertBookmark_.empty()) {
        InternalGotoBookmark(insertBookmark_.data());
      } else {
        InternalSetToRecord(buffer);
      }
      break;
    case TBookmarkFlag::bfBOF:
      InternalFirst();
      break;
    case TBookmarkFlag::bfEOF:
      InternalLast();
      break;
  }
}

void TDataSet::SetCurrentRecord(int index) {
  if (currentRecord_ == index) return;
  PositionCursorAt(buffers_[static_cast<size_t>(index)].get());
  currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (recordCount_ == 0) return;
  PositionCursorAt(ActiveBuffer());
  currentRecord_ = activeRecord_;
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = TGetMode::gmNext;
  if (recordCount_ > 0) {
    SetCurrentRecord(recordCount_ - 1);
    // Standing on a new row means standing on the row after it: read that one itself.
    if (state_ == TDataSetState::dsInsert && currentRecord_ == activeRecord_ && !insertBookmark_.empty() &&
        GetBookmarkFlag(ActiveBuffer()) == TBookmarkFlag::bfInserted)
      mode = TGetMode::gmCurrent;
  }
  const bool found = GetRecord(buffers_[static_cast<size_t>(recordCount_)].get(), mode, true) == TGetResult::grOK;
  if (!found) {
    CursorPosChanged();
    return false;
  }
  if (recordCount_ == 0) {
    ActivateBuffers();
  } else if (recordCount_ < bufferCount_) {
    ++recordCount_;
  } else {
    MoveBuffer(0, recordCount_);
  }
  currentRecord_ = recordCount_ - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (recordCount_ > 0) SetCurrentRecord(0);
  const bool found = GetRecord(buffers_[static_cast<size_t>(bufferCount_)].get(), TGetMode::gmPrior, true) ==
                     TGetResult::grOK;
  if (!found) {
    CursorPosChanged();
    return false;
  }
  MoveBuffer(bufferCount_, 0);
  if (recordCount_ == 0) {
    ActivateBuffers();
  } else if (recordCount_ < bufferCount_) {
    ++recordCount_;
    ++activeRecord_;
  }
  currentRecord_ = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int read = 0;
  while (recordCount_ < bufferCount_ && GetNextRecord()) ++read;
  return read;
}

int TDataSet::GetPriorRecords() {
  int read = 0;
  while (recordCount_ < bufferCount_ && GetPriorRecord()) ++read;
  return read;
}

void TDataSet::Resync(TResyncMode mode) {
  CheckActive();
  TRecordBuffer target = buffers_[static_cast<size_t>(recordCount_)].get();
  if (mode.Exact) {
    CursorPosChanged();
    if (GetRecord(target, TGetMode::gmCurrent, true) != TGetResult::grOK) DatabaseError(SRecordNotFound);
  } else if (GetRecord(target, TGetMode::gmCurrent, false) != TGetResult::grOK &&
             GetRecord(target, TGetMode::gmNext, false) != TGetResult::grOK &&
             GetRecord(target, TGetMode::gmPrior, false) != TGetResult::grOK) {
    ClearBuffers();
    DataEvent(TDataEvent::deDataSetChange);
    return;
  }
  int above = mode.Center ? (bufferCount_ - 1) / 2 : activeRecord_;
  MoveBuffer(recordCount_, 0);
  ActivateBuffers();
  try {
    while (above > 0 && GetPriorRecord()) --above;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(TDataEvent::deDataSetChange);
    throw;
  }
  DataEvent(TDataEvent::deDataSetChange);
}

// --- Moving -----------------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(TDataEvent::deDataSetChange);
    throw;
  }
  bof_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    DataEvent(TDataEvent::deDataSetChange);
    throw;
  }
  eof_ = true;
  DataEvent(TDataEvent::deDataSetChange);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  DoBeforeScroll();
  bof_ = false;
  eof_ = false;
  int moved = 0;
  int shift = 0;  // how far the rows moved inside the window
  try {
    while (distance > 0) {
      if (activeRecord_ < recordCount_ - 1) {
        ++activeRecord_;
      } else {
        const int rotates = recordCount_ < bufferCount_ ? 0 : 1;
        if (!GetNextRecord()) {
          eof_ = true;
          break;
        }
        shift -= rotates;
        if (activeRecord_ < recordCount_ - 1) ++activeRecord_;
      }
      --distance;
      ++moved;
    }
    while (distance < 0) {
      if (activeRecord_ > 0) {
        --activeRecord_;
      } else {
        const int rotates = recordCount_ < bufferCount_ ? 0 : 1;
        if (!GetPriorRecord()) {
          bof_ = true;
          break;
        }
        shift += rotates;
        if (activeRecord_ > 0) --activeRecord_;
      }
      ++distance;
      --moved;
    }
  } catch (...) {
    DataEvent(TDataEvent::deDataSetScroll, {nullptr, shift});
    throw;
  }
  DataEvent(TDataEvent::deDataSetScroll, {nullptr, shift});
  DoAfterScroll();
  return moved;
}

int TDataSet::RecordCount() const { return Active() ? GetRecordCount() : 0; }

int TDataSet::RecNo() const {
  if (!Active() || state_ == TDataSetState::dsInsert || recordCount_ == 0) return -1;
  return GetRecNo();
}

void TDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  DoBeforeScroll();
  InternalSetRecNo(value);
  Resync({.Exact = false, .Center = true});
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  Fire(BeforeRefresh, *this);
  UpdateCursorPos();
  try {
    InternalRefresh();
  } catch (...) {
    Resync({});
    throw;
  }
  Resync({});
  Fire(AfterRefresh, *this);
}

// --- Bookmarks --------------------------------------------------------------------------

TBookmark TDataSet::GetBookmark() const {
  if (!Active() || recordCount_ == 0) return {};
  TRecordBuffer buffer = ActiveBuffer();
  if (GetBookmarkFlag(buffer) != TBookmarkFlag::bfCurrent) return {};
  TBookmark bookmark(static_cast<size_t>(bookmarkSize_));
  GetBookmarkData(buffer, bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  if (bookmark.size() != static_cast<size_t>(bookmarkSize_)) DatabaseError(SInvalidBookmark);
  DoBeforeScroll();
  InternalGotoBookmark(bookmark.data());
  Resync({.Exact = true, .Center = true});
  DoAfterScroll();
}

}  // namespace data
