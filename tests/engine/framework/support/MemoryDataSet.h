// A dataset over rows kept in a std::vector, in vector order: the smallest subclass that
// exercises every hook of TDataSet. Rows have a unique id, which is the bookmark.
//
// Record buffer: per column a null byte and the native data, then the row id (int32)
// and the bookmark flag. Tests seed rows before or after opening, change stored rows
// behind the dataset's back (another writer), and make hooks fail on demand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/ZDBPlatformVariant.h"
#include "engine/framework/DataSet.h"

namespace data::testing {

class TMemoryDataSet : public TDataSet {
 public:
  struct Row {
    int32_t Id = 0;
    std::vector<uint8_t> Data;  // the row part of a record buffer
  };

  TMemoryDataSet() = default;
  ~TMemoryDataSet() override;

  // Columns, before the first open.
  void DefineField(std::string name, TFieldType type, int size = 0, bool required = false);
  // A stored row from values (Null, integers, doubles, text, booleans); returns its id.
  int32_t AddRow(const std::vector<zdb::PlatformVariant>& values);
  // Rows of integers 1..count in a one-column dataset "N" are common enough for a helper.
  static void FillNumbers(TMemoryDataSet& dataSet, int count);

  // Another writer: change or remove a stored row without the dataset knowing.
  void StoreValue(size_t row, size_t column, const zdb::PlatformVariant& value);
  void RemoveStoredRow(size_t row);
  const std::vector<Row>& Rows() const { return rows_; }
  // The stored value of a column in a row, as a variant.
  zdb::PlatformVariant StoredValue(size_t row, size_t column) const;

  void SetReadOnly(bool value) { readOnly_ = value; }
  // The next `count` calls of the hook raise EDatabaseError with the text.
  void FailEdits(int count, std::string text = "Record is locked") { Arm(editFailure_, count, std::move(text)); }
  void FailPosts(int count, std::string text = "Post refused") { Arm(postFailure_, count, std::move(text)); }
  void FailDeletes(int count, std::string text = "Delete refused") { Arm(deleteFailure_, count, std::move(text)); }
  void FailOpen(std::string text) { Arm(openFailure_, 1, std::move(text)); }

  int WindowSize() const { return BufferCount(); }
  int LiveBuffers() const { return liveBuffers_; }
  int Reads() const { return reads_; }
  int InternalCancels() const { return cancels_; }
  int InternalCloses() const { return closes_; }
  // Re-reads the window around the active row.
  void ResyncWith(TResyncMode mode) {
    UpdateCursorPos();
    Resync(mode);
  }

  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  bool GetFieldData(const TField& field, void* buffer) override;
  void SetFieldData(TField& field, const void* buffer) override;

 protected:
  TRecordBufferPtr AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBufferPtr& buffer) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  int GetRecordSize() const override { return rowSize_; }
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override;
  void InternalFirst() override { position_ = -1; }
  void InternalLast() override { position_ = static_cast<int>(rows_.size()); }
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalGotoBookmark(const uint8_t* bookmark) override;
  int GetRecordCount() const override { return static_cast<int>(rows_.size()); }
  int GetRecNo() const override;
  void InternalSetRecNo(int value) override;
  void GetBookmarkData(TRecordBuffer buffer, uint8_t* data) const override;
  void SetBookmarkData(TRecordBuffer buffer, const uint8_t* data) override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return open_; }
  void InternalInitFieldDefs() override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  bool GetCanModify() const override { return !readOnly_; }

 private:
  struct Column {
    std::string Name;
    TFieldType Type;
    int Size;
    bool Required;
    int Offset = 0;  // of its null byte in the row
  };
  struct Failure {
    int Count = 0;
    std::string Text;
  };

  static void Arm(Failure& failure, int count, std::string text);
  static void Trip(Failure& failure);
  void Layout();
  int IndexOfId(int32_t id) const;
  int32_t IdOf(TRecordBuffer buffer) const;
  void SetId(TRecordBuffer buffer, int32_t id) const;
  void Encode(std::vector<uint8_t>& data, size_t column, const zdb::PlatformVariant& value) const;
  TRecordBuffer StateBuffer() const;

  std::vector<Column> columns_;
  std::vector<Row> rows_;
  int32_t nextId_ = 1;
  int rowSize_ = 0;
  int position_ = -1;  // -1 before the first row, rows_.size() after the last
  bool open_ = false;
  bool readOnly_ = false;
  std::vector<uint8_t> oldValues_;
  Failure editFailure_, postFailure_, deleteFailure_, openFailure_;
  int liveBuffers_ = 0;
  int reads_ = 0;
  int cancels_ = 0;
  int closes_ = 0;
};

}  // namespace data::testing
