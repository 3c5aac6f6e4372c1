// TDataSet: the base of every dataset. It runs the states (inactive, browse, edit,
// insert, set key ...), keeps a window of record buffers over the rows, moves through
// them, edits, posts, cancels and deletes, owns the field objects and tells its data
// sources what changed. Where the rows come from is its subclass's business: the
// subclass implements the hooks below and never sees the window's bookkeeping.
//
// The window. BufferCount buffers (the most any attached data link asks for, at least
// 1) plus one scratch buffer. RecordCount of them hold consecutive rows in the
// subclass's order; ActiveRecord is the current one. The subclass keeps a cursor, a
// position among its rows; the window remembers which buffer the cursor stands on and
// moves it (InternalSetToRecord, InternalFirst, InternalLast) only when it must read
// next to another buffer. Every read goes through GetRecord.
//
// BOF and EOF. First and Last set BOF / EOF; a move that cannot read further sets the
// flag of its direction and stays on the end row; a step in a direction whose flag is
// set does nothing. Filling the window anew (Resync) clears both. An empty dataset has
// both set.
//
// Hook contract, besides each hook's own comment:
// - the cursor stands on the active row before InternalEdit, InternalPost,
//   InternalCancel and InternalDelete. While inserting, "the active row" is where the
//   new row goes: the row it was inserted before (InternalGotoBookmark), or the crack
//   before the first row (empty dataset) or after the last one (Append);
// - after InternalPost the cursor stands on the posted row; after InternalDelete on the
//   row that took the deleted one's place (or a crack); the window is then re-read
//   around it, the active record keeping its place;
// - InternalClose may run after a failed or partial open, and must cope.
// A subclass's destructor closes the dataset: the base's destructor cannot call hooks.
//
// Events. Before-events may cancel what they announce by raising (Abort). The error
// events see an EDatabaseError raised by InternalEdit, InternalPost or InternalDelete
// and answer fail (raise it), abort (raise EAbort instead) or retry (run the hook again).
// Scroll events surround every move; a move that finds nothing to do raises none.
//
// Errors are EDatabaseError with the texts of DataConsts.h, prefixed with "Name: " when
// the dataset has a Name. Not for sharing between threads.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/DataSetTypes.h"
#include "engine/base/ZDBStream.h"
#include "engine/framework/DatabaseError.h"
#include "engine/framework/Field.h"
#include "engine/framework/FieldDefs.h"

namespace data {

class TDataSource;
class TDataLink;

class TDataSet {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
  using TDataSetErrorEvent = std::function<void(TDataSet&, EDatabaseError&, TDataAction&)>;

  TDataSet() = default;
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // --- Opening and closing ------------------------------------------------------------
  void Open() { SetActive(true); }
  // Closing in edit or insert state discards the edit (InternalCancel) first.
  void Close() { SetActive(false); }
  bool Active() const { return state_ != TDataSetState::dsInactive && state_ != TDataSetState::dsOpening; }
  void SetActive(bool value);
  TDataSetState State() const { return state_; }
  // A field was assigned since the record was last read or the state changed.
  bool Modified() const { return modified_; }

  // --- Moving -------------------------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Rows actually moved, negative backwards.
  int MoveBy(int distance);
  // BOF and EOF (spelt so because EOF is a macro of the C library).
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return recordCount_ == 0; }
  // Rows of the dataset (the subclass's count); 0 while inactive.
  int RecordCount() const;
  // 1-based position of the active row; -1 while inactive, inserting or without a row.
  int RecNo() const;
  // Makes the row at that position active, centred in the window.
  void SetRecNo(int value);
  // Reads the window again around the cursor's row.
  void Resync(TResyncMode mode);
  // Re-reads the rows of the window (other writers' changes appear). Datasets may refuse
  // it while they cannot re-read.
  virtual void Refresh();
  // Posts pending edits (or cancels them when nothing changed) and leaves set-key state.
  void CheckBrowseMode();

  // --- Bookmarks ----------------------------------------------------------------------
  // The active row's bookmark; empty without a row and for a row not yet posted.
  TBookmark GetBookmark() const;
  // Makes the bookmark's row active (centred in the window); "Record not found" when it
  // cannot be read, "Invalid bookmark" when it has the wrong size. An empty bookmark
  // does nothing.
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& bookmark) = 0;
  // <0, 0, >0 in the dataset's order; an empty bookmark sorts after any other.
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) = 0;

  // --- Editing ------------------------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  // Deletes the active row; while inserting (or setting a key) it cancels instead, and
  // an edit in progress is cancelled before the row is deleted.
  virtual void Delete();
  // Hands pending edits of the data links to the fields.
  void UpdateRecord();
  bool CanModify() const { return GetCanModify(); }

  // --- Grids --------------------------------------------------------------------------
  // While disabled, data links hear nothing; the last EnableControls tells them once.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ != 0; }

  // --- Fields -------------------------------------------------------------------------
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  const TFieldDefs& FieldDefs() const { return fieldDefs_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // "Field index out of range" for a bad index.
  TField& Fields(int index) const;
  // Letter case ignored; null / "Field '%s' not found" when no field has the name.
  TField* FindField(std::string_view name) const;
  TField& FieldByName(std::string_view name) const;
  // Adds a persistent field (kept across Close); only while inactive. Its name must be
  // new among the fields.
  TField& AddField(std::unique_ptr<TField> field);
  // The fields were made from the field definitions at open (and go at close).
  bool DefaultFields() const { return defaultFields_; }

  // The field's native data in the row the state selects (null buffer: only whether
  // there is a value); false when null or without a row. Field objects call it.
  virtual bool GetFieldData(const TField& field, void* buffer) = 0;
  // Stores the field's native data (null: clear) into the row the state selects; the
  // hook validates it (TField::Validate), refuses a state that does not write
  // ("Dataset not in edit or insert mode"), and announces deFieldChange.
  virtual void SetFieldData(TField& field, const void* buffer) = 0;

  // --- Large values -------------------------------------------------------------------
  // A stream on the BLOB field's value in the row the state selects. bmWrite starts
  // empty and replaces the value, bmReadWrite starts with it; both only while editing or
  // inserting. What is written reaches the row at CloseBlob (or at the post). The base
  // has no large values: "Cannot perform this operation on a closed dataset" when
  // inactive, else the field's type error.
  virtual std::unique_ptr<zdb::TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);
  // Ends the field's streams: a writing stream's content becomes the field's value.
  virtual void CloseBlob(TField& field);

  // --- Events -------------------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  // Refused while open: "Cannot perform this operation on an open dataset".
  void CheckInactive() const;
  // Refused while closed: "Cannot perform this operation on a closed dataset".
  void CheckActive() const;

 protected:
  // --- Hooks: record buffers --------------------------------------------------------
  virtual TRecordBufferPtr AllocRecordBuffer() = 0;
  // The buffer goes; the default lets it free itself.
  virtual void FreeRecordBuffer(TRecordBufferPtr& buffer) { buffer.reset(); }
  // Clears a buffer for a new row (the base then marks it inserted).
  virtual void InternalInitRecord(TRecordBuffer buffer) = 0;
  // Bytes of a row in the subclass's layout.
  virtual int GetRecordSize() const = 0;

  // --- Hooks: the cursor -------------------------------------------------------------
  // Reads the current, next or prior row into the buffer and moves the cursor onto it;
  // with doCheck a failure raises rather than answering grError.
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
  // The cursor to the crack before the first / after the last row; nothing is read.
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual void InternalGotoBookmark(const uint8_t* bookmark) = 0;
  virtual int GetRecordCount() const = 0;
  // 1-based position of the active buffer's row; -1 when it cannot be found.
  virtual int GetRecNo() const = 0;
  // The cursor onto the row at the 1-based position (beyond the count: the last row).
  virtual void InternalSetRecNo(int value) = 0;

  // --- Hooks: bookmarks --------------------------------------------------------------
  virtual void GetBookmarkData(TRecordBuffer buffer, uint8_t* data) const = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;

  // --- Hooks: opening ----------------------------------------------------------------
  // Opens the rows' source, sets BookmarkSize, reads the field definitions
  // (InitFieldDefs), creates default fields when DefaultFields() and binds the fields.
  virtual void InternalOpen() = 0;
  // Unbinds the fields, destroys default ones, closes the source.
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  // Fills FieldDefs from the rows' source.
  virtual void InternalInitFieldDefs() = 0;
  // The framework's two steps around the internal ones; the engine adds its cursor.
  virtual void OpenCursor();
  virtual void CloseCursor();

  // --- Hooks: editing ----------------------------------------------------------------
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalPost() = 0;
  virtual void InternalCancel() {}
  virtual void InternalDelete() = 0;
  virtual void InternalRefresh() {}
  virtual bool GetCanModify() const { return true; }
  // The data source this dataset follows (a master), for the circular-link check.
  virtual TDataSource* GetDataSource() const { return nullptr; }

  // --- Helpers for subclasses ----------------------------------------------------------
  TRecordBuffer ActiveBuffer() const;
  TRecordBuffer TempBuffer() const;
  int BookmarkSize() const { return bookmarkSize_; }
  void SetBookmarkSize(int size) { bookmarkSize_ = size; }
  int BufferCount() const { return bufferCount_; }
  int ActiveRecord() const { return activeRecord_; }
  void SetState(TDataSetState value);
  // Switches the state for a moment without telling anyone; RestoreState undoes it.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);
  void DataEvent(TDataEvent event, TDataEventInfo info = {});
  void DoBeforeScroll();
  void DoAfterScroll();
  // Puts the cursor on the active row / forgets where it stands.
  void UpdateCursorPos();
  void CursorPosChanged() { currentRecord_ = -1; }
  void InitFieldDefs();
  void CreateFields();
  // Binding gives each field its definition's number ("Field '%s' not found" for a
  // field without one, type and size mismatches refused); unbinding clears it.
  void BindFields(bool binding);
  void DestroyFields();
  void CheckCanModify() const;
  // Every required field has a value, else "Field '%s' must have a value".
  void CheckRequiredFields() const;
  [[noreturn]] void DatabaseError(std::string_view message) const;

 private:
  friend class TField;
  friend class TDataSource;
  friend class TDataLink;

  int IndexOfField(const TField* field) const;
  void OpenWindow();
  void CloseWindow();
  void SetBufferCount(int count);
  void UpdateBufferCount();
  void ClearBuffers();
  void ActivateBuffers();
  void MoveBuffer(int from, int to);
  void SetCurrentRecord(int index);
  void PositionCursorAt(TRecordBuffer buffer);
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  void InitRecord(TRecordBuffer buffer);
  void BeginInsertAppend();
  void EndInsertAppend();
  void UndoInsert();
  void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& errorEvent);
  void AdjustLinkFirstRecords(int delta);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  static void Fire(const TDataSetNotifyEvent& event, TDataSet& dataSet);

  std::string name_;
  TDataSetState state_ = TDataSetState::dsInactive;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  int bookmarkSize_ = 0;

  // buffers_[bufferCount_] is the scratch buffer; rows are buffers_[0 .. recordCount_).
  std::vector<TRecordBufferPtr> buffers_;
  int bufferCount_ = 0;
  int recordCount_ = 0;
  int activeRecord_ = 0;
  int currentRecord_ = -1;  // the buffer the cursor stands on; -1 unknown
  // While inserting: the row the new one stands before.
  TBookmark insertBookmark_;

  int disableCount_ = 0;
  TDataSetState disableState_ = TDataSetState::dsInactive;
  TDataEvent enableEvent_ = TDataEvent::deDataSetChange;

  TFieldDefs fieldDefs_;
  std::vector<std::unique_ptr<TField>> fields_;
  bool defaultFields_ = false;

  std::vector<TDataSource*> dataSources_;
};

}  // namespace data
