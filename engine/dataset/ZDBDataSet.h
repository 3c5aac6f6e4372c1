// TZDBDataSet: the dataset of the engine, what does not depend on where the rows come
// from. It holds the database connection of its DatabaseName while open, owns the cursor,
// supplies the dataset base's hooks (record buffers, reading, positions, bookmarks, field
// data, editing) and keeps the key buffers of the key searches. Subclasses create the
// cursor (TZDBTable).
//
// The connection is held while at least one of 16 reasons is set (0: the cursor is open);
// the first reason set finds or creates the database component through the session and
// connects it, the last one cleared gives it back.
//
// Key buffers are numbered 0 lookup, 1 range start, 2 range end, 3 current range start,
// 4 current range end, 5 saved key. In set-key state the fields read and write the key
// buffer being edited, and only fields of the active index may be assigned.
//
// Contract: the dataset is listed in the process's session list while it lives. A failed
// open leaves the dataset closed, without cursor and without
// connection. The editing hooks raise EZDBEngineError for the cursor's result codes.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBPlatformVariant.h"
#include "engine/dataset/ZDBCursor.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/framework/DataSet.h"

namespace zdb {

class TZDBSession;

class TZDBDataSet : public data::TDataSet, public TZDBDatabaseClient, public TZDBSessionUser {
 public:
  static constexpr int DatabaseUseCursor = 0;
  static constexpr int LookupKey = 0;
  static constexpr int RangeStartKey = 1;
  static constexpr int RangeEndKey = 2;
  static constexpr int CurrentRangeStartKey = 3;
  static constexpr int CurrentRangeEndKey = 4;
  static constexpr int SavedKey = 5;
  static constexpr int KeyBufferCount = 6;

  explicit TZDBDataSet(TZDBOwner owner = nullptr);
  ~TZDBDataSet() override;

  const std::string& DatabaseName() const { return databaseName_; }
  // Not while open; "Cannot perform this operation on an open database" while the
  // connection is held.
  void SetDatabaseName(const std::string& databaseName);
  const std::string& SessionName() const override { return sessionName_; }
  // Not while open. A session that names itself automatically names its owner's datasets.
  void SetSessionName(const std::string& sessionName) override;
  // Read-only also when the database or the cursor is.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  TZDBOwner Owner() const override { return owner_; }

  // The database component while the connection is held, else null.
  TZDBDatabase* Database() const { return database_; }
  // The cursor while open, else null.
  TZDBCursor* Cursor() const { return cursor_.get(); }

  // Leaves set-key state committing / restoring the key; else the base's.
  void Post() override;
  void Cancel() override;
  void CloseForDisconnect() override { Close(); }
  // Re-reads the rows of the window; nothing while a BLOB stream is being opened (the
  // open re-reads its own row and works on that record buffer until it has its stream).
  void Refresh() override;

  bool BookmarkValid(const data::TBookmark& bookmark) override;
  int CompareBookmarks(const data::TBookmark& a, const data::TBookmark& b) override;
  bool GetFieldData(const data::TField& field, void* buffer) override;
  // A BLOB field is only cleared this way (an empty value written in its place).
  void SetFieldData(data::TField& field, const void* buffer) override;
  // The cursor's stream on the field's value in the row the state selects (none for a
  // row that cannot be read); see TDataSet. Closing it marks the field changed.
  std::unique_ptr<TStream> CreateBlobStream(data::TField& field, data::TBlobStreamMode mode) override;
  void CloseBlob(data::TField& field) override;

  // Fields of the active index, their 0-based table field numbers in index order.
  int IndexFieldCount() const { return static_cast<int>(indexFields_.size()); }
  const std::vector<int32_t>& IndexFields() const { return indexFields_; }

 protected:
  // --- the dataset's own operations ------------------------------------------------------
  void SetDatabaseUse(int reason, bool inUse);
  // The cursor of an opening dataset, its table open; null: none can be made.
  virtual std::unique_ptr<TZDBCursor> CreateCursor() { return nullptr; }
  virtual void ReleaseCursor();
  virtual void AfterCursorOpen() {}
  // The index field list from the cursor's index; 10325 for an index the table lacks.
  void BuildIndexFields();

  // --- key buffers ------------------------------------------------------------------------
  uint8_t* KeyBuffer(int which) { return keyBuffers_.at(static_cast<size_t>(which)).data(); }
  int32_t KeyFieldCountOf(int which);
  // Enters set-key state on the buffer (cleared when asked); the saved key keeps a copy.
  void EditKeyBuffer(int which, bool clear, const TZDBError& nilCode);
  // Assigns the values to the leading index fields of the buffer.
  void SetKeyFields(int which, const std::vector<PlatformVariant>& values, const TZDBError& nilCode);
  void ClearKeyBuffer(uint8_t* key);
  void CheckCursor(const TZDBError& nilCode) const;
  // ReadOnly as the cursor found it at open.
  void SetReadOnlyFromCursor(bool readOnly);

  // --- hooks ------------------------------------------------------------------------------
  void OpenCursor() override;
  void CloseCursor() override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return cursor_ != nullptr; }
  void InternalInitFieldDefs() override;
  data::TRecordBufferPtr AllocRecordBuffer() override;
  // The table drops what it kept in memory for the buffer.
  void FreeRecordBuffer(data::TRecordBufferPtr& buffer) override;
  void InternalInitRecord(data::TRecordBuffer buffer) override;
  int GetRecordSize() const override;
  data::TGetResult GetRecord(data::TRecordBuffer buffer, data::TGetMode mode, bool doCheck) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(data::TRecordBuffer buffer) override;
  void InternalGotoBookmark(const uint8_t* bookmark) override;
  int GetRecordCount() const override;
  int GetRecNo() const override;
  void InternalSetRecNo(int value) override;
  void GetBookmarkData(data::TRecordBuffer buffer, uint8_t* data) const override;
  void SetBookmarkData(data::TRecordBuffer buffer, const uint8_t* data) override;
  data::TBookmarkFlag GetBookmarkFlag(data::TRecordBuffer buffer) const override;
  void SetBookmarkFlag(data::TRecordBuffer buffer, data::TBookmarkFlag flag) override;
  void InternalEdit() override;
  void InternalInsert() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  bool GetCanModify() const override { return data::TDataSet::GetCanModify() && !readOnly_; }

 private:
  // Gives the connection back to the session.
  void ReleaseDatabase();
  // Frees the old-values buffer and what it holds in memory.
  void ClearOldValues();
  // The row the state selects; null without one.
  uint8_t* StateRow() const;
  TZDBRecordID RecordIDOf(const uint8_t* buffer) const;
  // Runs a cursor's editing call, raising its result code as an engine error.
  template <typename Call>
  void RunEditing(Call call);

  TZDBOwner owner_;
  std::unique_ptr<TZDBCursor> cursor_;
  std::string sessionName_;
  std::string databaseName_;
  bool readOnly_ = false;
  std::bitset<16> databaseUse_;
  TZDBDatabase* database_ = nullptr;
  TZDBSession* databaseSession_ = nullptr;
  std::vector<int32_t> indexFields_;
  std::vector<uint8_t> oldValues_;
  std::vector<std::vector<uint8_t>> keyBuffers_;
  std::vector<uint8_t> fieldData_;  // a field's engine value on its way out
  int editingKey_ = -1;
  // A BLOB stream is being opened.
  bool openingBlob_ = false;
};

}  // namespace zdb
