// Helpers of the index tests: rows of a small table in memory, a cursor over one row,
// and a table with one index kept in step the way the table layer does it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBStorageType.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBBTreeRecordIndex.h"
#include "engine/index/ZDBIndexedTable.h"

namespace zdb::test {

using Row = std::vector<uint8_t>;

// The record-buffer layout of a table: a null map, then the fields packed in order.
class RowLayout {
 public:
  struct Field {
    TZDBStorageType Type;
    int32_t Size;  // bytes in the record buffer
    int32_t Offset = 0;
  };

  explicit RowLayout(std::vector<Field> fields) : fields_(std::move(fields)) {
    int32_t offset = (static_cast<int32_t>(fields_.size()) + 7) / 8;
    for (Field& field : fields_) {
      field.Offset = offset;
      offset += field.Size;
    }
    size_ = offset;
  }

  int32_t BufferSize() const { return size_; }
  const Field& FieldAt(int32_t i) const { return fields_[static_cast<size_t>(i)]; }

  // A row with every field NULL.
  Row NewRow() const {
    Row row(static_cast<size_t>(size_), 0);
    for (int32_t i = 0; i < static_cast<int32_t>(fields_.size()); ++i) SetNull(row, i, true);
    return row;
  }
  static void SetNull(Row& row, int32_t field, bool isNull) {
    const uint8_t bit = static_cast<uint8_t>(1u << (field % 8));
    row[static_cast<size_t>(field / 8)] =
        static_cast<uint8_t>(isNull ? (row[static_cast<size_t>(field / 8)] | bit) : (row[static_cast<size_t>(field / 8)] & ~bit));
  }
  void SetInt(Row& row, int32_t field, std::optional<int32_t> value) const {
    SetNull(row, field, !value);
    if (value) le::PutI32(row.data() + FieldAt(field).Offset, *value);
  }
  void SetDouble(Row& row, int32_t field, std::optional<double> value) const {
    SetNull(row, field, !value);
    if (value) le::PutDouble(row.data() + FieldAt(field).Offset, *value);
  }
  // Text is cut to the field (its last byte stays the terminator).
  void SetText(Row& row, int32_t field, std::optional<std::string> value) const {
    SetNull(row, field, !value);
    uint8_t* place = row.data() + FieldAt(field).Offset;
    std::memset(place, 0, static_cast<size_t>(FieldAt(field).Size));
    if (value) std::memcpy(place, value->data(), std::min<size_t>(value->size(), static_cast<size_t>(FieldAt(field).Size - 1)));
  }

  // The index column over a field.
  TZDBKeyColumnSource Column(int32_t field, bool descending = false, bool caseInsensitive = false,
                             int32_t maxIndexedSize = TZDBKeyColumnSource::DefaultMaxIndexedSize) const {
    TZDBKeyColumnSource column;
    column.FieldName = "F" + std::to_string(field);
    column.FieldNo = field;
    column.MemoryOffset = FieldAt(field).Offset;
    column.MemoryDataSize = FieldAt(field).Size;
    column.StorageType = FieldAt(field).Type;
    column.Descending = descending;
    column.CaseInsensitive = caseInsensitive;
    column.MaxIndexedSize = maxIndexedSize;
    return column;
  }

 private:
  std::vector<Field> fields_;
  int32_t size_ = 0;
};

// The one-field table of the yearly limits' index: INTEGER `any`.
inline RowLayout YearLayout() { return RowLayout({{TZDBStorageType::Integer, 4}}); }

class MemoryTable : public TZDBIndexedTable {
 public:
  explicit MemoryTable(RowLayout rowLayout) : layout(std::move(rowLayout)) {}

  int32_t RecordBufferSize() const override { return layout.BufferSize(); }
  bool ReadRecord(int32_t /*session*/, const TZDBRecordID& recordID, uint8_t* recordBuffer) override {
    ++reads;
    auto it = rows.find(recordID);
    if (it == rows.end()) return false;
    std::memcpy(recordBuffer, it->second.data(), it->second.size());
    return true;
  }
  void ForEachRecord(int32_t /*session*/, const RowVisitor& visit) override {
    for (const auto& [recordID, row] : rows) visit(recordID, row.data());
  }

  RowLayout layout;
  std::map<TZDBRecordID, Row> rows;
  int64_t reads = 0;
};

class RowCursor : public TZDBIndexCursor {
 public:
  RowCursor(int32_t session, TZDBRecordID recordID, const Row& row, const Row* original = nullptr)
      : session_(session), recordID_(recordID), row_(row), original_(original != nullptr ? *original : row) {}
  int32_t SessionID() const override { return session_; }
  const uint8_t* RecordBuffer() const override { return row_.data(); }
  const uint8_t* OriginalRecordBuffer() const override { return original_.data(); }
  TZDBRecordID RecordID() const override { return recordID_; }

 private:
  int32_t session_;
  TZDBRecordID recordID_;
  Row row_;
  Row original_;
};

// A table and one index over it, changed in the order the table layer uses: a row is
// stored before its entry is made, its entry removed before the row goes, and an update
// removes the old entry before the row changes and adds the new one after.
class IndexedTable {
 public:
  static constexpr int32_t Session = 0;

  IndexedTable(TZDBPageManager& pages, RowLayout layout, std::vector<TZDBKeyColumnSource> columns,
               bool unique = false, int32_t objectID = 7)
      : table(std::move(layout)), index_(std::make_unique<TZDBBTreeRecordIndex>(pages, table)) {
    definition.Name = "IDX";
    definition.ObjectID = objectID;
    definition.Unique = unique;
    definition.Columns = std::move(columns);
    RowCursor creator(Session, {}, table.layout.NewRow());
    index_->CreateIndexTree(&creator, definition);
  }

  TZDBBTreeRecordIndex& Index() { return *index_; }
  // A new index object over other pages (the same file opened again).
  void Reopen(TZDBPageManager& pages) {
    index_ = std::make_unique<TZDBBTreeRecordIndex>(pages, table);
    index_->OpenIndex(definition);
  }

  void Insert(TZDBRecordID recordID, const Row& row) {
    table.rows[recordID] = row;
    index_->InsertEntry(RowCursor(Session, recordID, row));
  }
  void Delete(TZDBRecordID recordID) {
    const Row row = table.rows.at(recordID);
    index_->DeleteEntry(RowCursor(Session, recordID, row));
    table.rows.erase(recordID);
  }
  void Update(TZDBRecordID recordID, const Row& row) {
    const Row original = table.rows.at(recordID);
    const RowCursor cursor(Session, recordID, row, &original);
    index_->UpdateEntry(cursor, true);
    table.rows[recordID] = row;
    index_->UpdateEntry(cursor, false);
  }

  // The RecordIDs in index order, walked along the leaves.
  std::vector<TZDBRecordID> Scan() {
    std::vector<TZDBRecordID> order;
    TZDBKeyPath path;
    if (!index_->FirstEntry(Session, path)) return order;
    do order.push_back(index_->RecordIDAt(Session, path));
    while (index_->NextEntry(Session, path));
    return order;
  }
  std::vector<TZDBRecordID> ScanBackward() {
    std::vector<TZDBRecordID> order;
    TZDBKeyPath path;
    if (!index_->LastEntry(Session, path)) return order;
    do order.insert(order.begin(), index_->RecordIDAt(Session, path));
    while (index_->PriorEntry(Session, path));
    return order;
  }
  void ExpectSound() {
    const TZDBBTreeCheckReport report = index_->Check(Session);
    EXPECT_TRUE(report.Ok()) << ::testing::PrintToString(report.Problems);
    EXPECT_EQ(report.EntryCount, static_cast<int64_t>(table.rows.size()));
  }

  MemoryTable table;
  TZDBIndexKeyDef definition;

 private:
  std::unique_ptr<TZDBBTreeRecordIndex> index_;
};

inline std::string ToString(const TZDBRecordID& id) {
  return std::to_string(id.PageNo) + ":" + std::to_string(id.RecordNo);
}

}  // namespace zdb::test

namespace zdb {
inline void PrintTo(const TZDBRecordID& id, std::ostream* out) { *out << test::ToString(id); }
}  // namespace zdb
