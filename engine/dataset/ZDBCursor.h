// TZDBCursor: one dataset's view of one table. It knows the table's field layout in a
// dataset record buffer, the active index, the position and the key of a search; the
// operations that reach the rows are its subclass's (TZDBLocalCursor for the engine in
// this process).
//
// A dataset record buffer, D being the row size (end of the last field, 0 without fields):
//   0      D   the row: null map, then the fields at their record-buffer offsets
//   D      4   page number of the row's RecordID, signed
//   D+4    2   slot number of the row's RecordID
//   D+6    1   bookmark flag (0 current, 1 before first, 2 after last, 3 inserted)
//   D+7    C   calculated fields (the dataset adds C)
// A key buffer is D + 6 bytes: the search values in the index fields at their normal
// offsets, then a modified byte, an exclusive byte and a signed 32-bit field count.
//
// Contract: the dataset sets the row buffer (UseRecordBuffer) before each call that reads
// or writes a row. Every slot that needs the table fails with "Pointer is nil" while the
// table is not open.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dataset/ZDBLocalBLOBStream.h"
#include "engine/file/ZDBTableLockKinds.h"
#include "engine/index/ZDBIndexSearch.h"
#include "engine/index/ZDBRecordID.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableCursor.h"

namespace zdb {

// What FetchRecord answers.
enum TZDBFetchResult : uint8_t { frOK = 0, frBOF = 1, frEOF = 2, frFailed = 3 };

// A position saved around an operation that must not move the cursor.
struct TZDBSavedPosition {
  bool BeforeFirst = true;
  bool AfterLast = false;
  TZDBRecordID RecordID;
};

// How CopyFieldValue counts fields: as the dataset sees them or as the table defines
// them. This cursor shows every field of the table in its own order, so both count alike.
enum class TZDBFieldNumbering : uint8_t { Visible = 0, Table = 1 };

// Offsets of a dataset record buffer and of a key buffer after the row (D).
namespace dataset_layout {
constexpr int32_t RecordIDOffset = 0;  // + D
constexpr int32_t BookmarkFlagOffset = TZDBRecordID::ByteSize;
constexpr int32_t RecordTrailerSize = TZDBRecordID::ByteSize + 1;
constexpr int32_t KeyModifiedOffset = 0;  // + D
constexpr int32_t KeyExclusiveOffset = 1;
constexpr int32_t KeyFieldCountOffset = 2;  // int32
constexpr int32_t KeyTrailerSize = 6;
}  // namespace dataset_layout

class TZDBCursor : public TZDBTableCursor {
 public:
  TZDBCursor(TZDBBaseSession& session, std::string_view tableName);
  ~TZDBCursor() override;

  // --- the table -------------------------------------------------------------------------
  virtual void OpenTable() = 0;
  virtual void CloseTable() = 0;
  bool IsOpen() const { return isOpen_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

  // --- field layout -----------------------------------------------------------------------
  // Copies the table's fields and computes the sizes below.
  virtual void InitFieldLayout() = 0;
  const TZDBFieldDefs& TableFields() const { return tableFields_; }
  int32_t FieldCount() const { return tableFields_.Count(); }
  int32_t RowSize() const { return rowSize_; }
  int32_t FirstFieldOffset() const { return firstFieldOffset_; }
  int32_t RecordBufferLength() const { return rowSize_ + dataset_layout::RecordTrailerSize; }
  int32_t KeyBufferLength() const { return rowSize_ + dataset_layout::KeyTrailerSize; }
  // Whether a not-null constraint covers the field (0-based).
  virtual bool IsFieldRequired(int32_t fieldNo) const = 0;
  // A row with every field null (and, asked for, the fields' default values). What the
  // buffer held in memory for its BLOB fields is given back first: a buffer cleared for a
  // new row must not take its old row's values with it.
  virtual void InitRecordBuffer(uint8_t* buffer, bool withDefaults) = 0;

  // --- index ------------------------------------------------------------------------------
  // Stores the name and makes the index of that name the active one (none: -1, and the
  // rows come in physical order).
  void SetIndexName(std::string_view indexName);
  const std::string& IndexName() const { return indexName_; }
  virtual const TZDBIndexDefs& IndexDefs() const = 0;

  // --- rows -------------------------------------------------------------------------------
  // Reads the current (0), next (1) or prior (2) row into the row buffer.
  virtual TZDBFetchResult FetchRecord(uint8_t mode) = 0;
  virtual int64_t GetRecordCount() = 0;
  // 1-based position of the row at the cursor's position; -1 at a crack or when gone.
  virtual int64_t GetRecNo() = 0;
  virtual void SetRecNo(int64_t recNo) = 0;
  // Whether the row can be read; the cursor's position is kept.
  virtual bool RowExists(const TZDBRecordID& recordID) = 0;
  // <0, 0, >0 of two rows in the current order (by RecordID within equal keys).
  virtual int CompareBookmarks(const TZDBRecordID& a, const TZDBRecordID& b) = 0;
  // The first row whose leading key columns satisfy the operator against the search key
  // (SetSearchKey). Found: the cursor stands on it; else its position is kept.
  virtual bool SearchKey(TZDBSearchOperator op) = 0;

  // --- table locks --------------------------------------------------------------------------
  // The table lock of the kind for the cursor's session, tried as often as asked; always
  // granted where the table has no locks (single-user).
  virtual bool LockTable(TZDBTableLockKind kind, int32_t attempts, int32_t delayBaseMs, bool flag) = 0;
  virtual void UnlockTable(TZDBTableLockKind kind) = 0;
  // The file's commit stamp while the cursor's reads need no read lock (multi-user, the
  // session's view of the table current); none otherwise.
  virtual std::optional<int64_t> CurrentViewStamp() { return std::nullopt; }

  // --- editing ----------------------------------------------------------------------------
  // The calls raise EZDBException with the editing cycle's result codes (-1 .. -13);
  // -8 carries the full text of a failed check.
  // Starts an edit of the row at the position, re-read into the row buffer: in multi-user
  // mode it takes the edit lock of the table and the row lock, held until the post or the
  // cancel (-13, -12); -6 when the row is gone, -4 when it changed since it was read.
  virtual void BeginEdit() = 0;
  // Ends an edit or an insert without storing it, releasing what BeginEdit took.
  virtual void CancelEdit(bool wasInsert) = 0;
  // The row buffer as a new row / in place of the row at the position (original: the
  // row the edit began from, checked against the stored one) / the row removed. After a
  // failed check (-8) an edit keeps its locks, so that it can be corrected or cancelled.
  // A delete takes the row lock (-12) and finds the stored row gone (-7) or changed (-5).
  virtual void PostRecord(bool isInsert, const uint8_t* originalRow) = 0;
  virtual void RemoveRecord() = 0;

  // --- the table itself ------------------------------------------------------------------------
  // These three close the cursor's table first, and work on the table as the file has
  // it: 20132 / 20133 / 20134 "Table '%s' not found" when the database has no table of
  // the name. Another cursor or process with the table open refuses them with the table
  // data's error (20017, 20242, 10150; 20208 for another process).
  // DeleteTable also makes the connection forget the last values it drew from the
  // table's counters. RenameTable: 30452 "Cannot rename table '%s' into itself" for the
  // same name (letter case ignored), 30451 "Table %s already exists" for the name of
  // another table; the cursor then names the table by its new name.
  virtual void DeleteTable() = 0;
  virtual void ClearTable() = 0;
  virtual void RenameTable(std::string_view newName) = 0;
  // These work on the open table. RenameField renames in the table (a subclass) or only
  // in this cursor's copy of the fields (here): 30345 "Field '%s' not found", 30346
  // "Cannot rename field '%s'. Field '%s' already exists"; names keep 255 characters.
  virtual void RenameField(std::string_view oldName, std::string_view newName);
  // 20022 "Cannot create index '%s'. Index already exists" / 20021 "Cannot delete index
  // '%s'. Index not found" (letter case ignored). Dropping the active index leaves the
  // cursor in physical order.
  virtual void AddIndex(const TZDBIndexDef& definition) = 0;
  virtual void DeleteIndex(std::string_view indexName) = 0;

  // --- large values ---------------------------------------------------------------------------
  // A stream on the field's value in the row buffer. Browsing (neither inserting nor
  // editing) with no stream open yet, the row is re-read first, and no stream is opened
  // (null) when it cannot be. A field takes one writing stream at a time: 10115 "BLOB
  // field already opened. FieldNo = %d, FieldName = %s". Write starts empty and replaces
  // the value; ReadWrite starts with it. The stream stays listed until closed.
  virtual std::shared_ptr<TZDBLocalBLOBStream> OpenBlob(bool inserting, bool editing, TZDBBlobStreamMode mode,
                                                        int32_t fieldNo) = 0;
  // Closes every stream of the field; what a writing one holds becomes the field's value
  // in the row buffer.
  virtual void CloseBlob(int32_t fieldNo) = 0;
  // Closes the open streams (only the writing ones when asked) without storing anything.
  virtual void FreeBlobs(bool onlyWriting) = 0;
  // Drops what the table keeps in memory for a record buffer that goes or is refilled.
  virtual void FreeRecordBlobs(uint8_t* buffer) = 0;
  // A byte copy of a record buffer names the original's in-memory values: this makes the
  // copy name none (it loads its own when read), so that each value has one owner.
  void DetachRecordBlobs(uint8_t* buffer) const;

  // --- copying a field ------------------------------------------------------------------------
  // Copies the field of this cursor's row buffer into the target cursor's row buffer (the
  // target may be this cursor). NULL stays NULL; the same storage type and width is
  // copied byte for byte; large values go from this table's value stream into a new
  // value of the target's (written with the target field's compression, stored with
  // the target row); other pairs are converted (ConvertValue: 30051 / 30052), text cut
  // to the target's width. Large values and text convert between their encodings; a
  // BLOB value only goes to another BLOB-family field. 10501 / 10502 "Invalid field
  // number - FieldNo = %d, FieldCount = %d" for a source / target field outside its
  // table; 10003 / 10001 "Nil pointer occured" without a source / target row buffer.
  void CopyFieldValue(int32_t fieldNo, TZDBFieldNumbering numbering, TZDBCursor& target, int32_t targetFieldNo);

  // --- positions and field data -------------------------------------------------------------
  TZDBSavedPosition SavePosition() const;
  void RestorePosition(const TZDBSavedPosition& position);
  // The field's value in dataset-buffer form; false when null. 10005 for a field number
  // outside the table.
  bool GetFieldData(int32_t fieldNo, const uint8_t* row, uint8_t* datasetBuffer) const;
  // 10006 for a field number outside the table.
  void SetFieldData(int32_t fieldNo, uint8_t* row, const uint8_t* datasetBuffer) const;

 protected:
  // A stream on the BLOB field's value in the row buffer: its current value, or an empty
  // new one that replaces it once stored. Not listed among the cursor's open streams.
  virtual std::unique_ptr<TZDBBlobStream> OpenValueStream(int32_t fieldNo, bool newValue) = 0;
  // What the stream holds becomes the field's value in the row buffer.
  virtual void StoreValueStream(int32_t fieldNo, TZDBBlobStream& stream) = 0;
  // Looks up the index; -1 when the table has none of that name.
  virtual int32_t FindIndexID(std::string_view indexName) const = 0;
  void SetOpen(bool open) { isOpen_ = open; }
  // The layout of a copy of the table's fields.
  void SetLayout(const TZDBFieldDefs& fields, int32_t recordBufferSize, int32_t firstFieldOffset);
  void ClearLayout();

 private:
  bool isOpen_ = false;
  bool readOnly_ = false;
  std::string indexName_;
  TZDBFieldDefs tableFields_;
  int32_t rowSize_ = 0;
  int32_t firstFieldOffset_ = 0;
};

// A table lock of a cursor for a scope, when it could be had within the attempts; it is
// released on every path (a failure to release is dropped: the lock goes with the
// connection at the latest).
class TZDBCursorTableLock {
 public:
  TZDBCursorTableLock(TZDBCursor& cursor, TZDBTableLockKind kind, int32_t attempts, int32_t delayBaseMs, bool flag);
  ~TZDBCursorTableLock();
  TZDBCursorTableLock(const TZDBCursorTableLock&) = delete;
  TZDBCursorTableLock& operator=(const TZDBCursorTableLock&) = delete;

  bool Held() const { return held_; }

 private:
  TZDBCursor& cursor_;
  TZDBTableLockKind kind_;
  bool held_;
};

}  // namespace zdb
