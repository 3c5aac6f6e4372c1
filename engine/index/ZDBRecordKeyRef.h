// Keys of table indexes, built from rows.
//
// A key is one segment per index column, in column order, without padding: a null byte
// (1 when the field is NULL in the row) and the field's value bytes as the record buffer
// holds them. A column whose MaxIndexedSize is below the field's record-buffer width is
// truncated in the page key (the form kept in B-tree pages): its first MaxIndexedSize
// bytes, then two reserve bytes that are 0 in every stored key. The full key never
// truncates. A NULL segment is the null byte 1 followed by zeros.
//
// Keys compare column by column with CompareValues (NULL first, the column's letter case
// rule), a descending column reversing its order. Two stored prefixes that are equal say
// nothing when the search text was cut too: with resolve the full keys, read from the
// rows, decide. Leaf entries carry the row's RecordID, the last criterion of the order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/ZDBStorageType.h"
#include "engine/index/ZDBBTreeKeyRef.h"
#include "engine/index/ZDBIndexedTable.h"

namespace zdb {

// One index column resolved against the table's field list (done by the table layer).
struct TZDBKeyColumnSource {
  static constexpr int32_t DefaultMaxIndexedSize = 20;

  std::string FieldName;
  int32_t FieldNo = 0;  // position in the field list, for the null map
  int32_t MemoryOffset = 0;
  int32_t MemoryDataSize = 0;
  TZDBStorageType StorageType = TZDBStorageType::None;
  bool Descending = false;
  bool CaseInsensitive = false;
  int32_t MaxIndexedSize = DefaultMaxIndexedSize;
};

// The descriptor of one key column.
struct TZDBKeyColumnDesc {
  static constexpr int32_t TruncatedReserveSize = 2;

  int32_t PageKeyOffset = 0;
  int32_t FullKeyOffset = 0;
  int32_t MemoryOffset = 0;
  int32_t FieldNo = 0;
  int32_t PageSegmentSize = 0;  // null byte and value bytes (and reserve)
  int32_t FullSegmentSize = 0;
  int32_t TruncationReserve = 0;  // 0, or 2 for a truncated column
  TZDBStorageType StorageType = TZDBStorageType::None;
  bool Descending = false;
  bool CaseInsensitive = false;

  bool Truncated() const { return TruncationReserve > 0; }
};

class TZDBRecordKeyRef : public TZDBBTreeKeyRef {
 public:
  static constexpr int32_t NoPrefix = -1;
  static constexpr uint16_t RecordIDDataSize = TZDBRecordID::ByteSize;

  // Builds the column descriptors and sizes. table gives the rows when a comparison must
  // resolve truncated keys (may be null for a descriptor that never resolves). 20295 for
  // a BLOB column; 20056 "Buffer size exceeded" for a key longer than a page can count.
  void Prepare(const std::vector<TZDBKeyColumnSource>& columns, TZDBIndexedTable* table);

  const std::vector<TZDBKeyColumnDesc>& Columns() const { return columns_; }
  int32_t ColumnCount() const { return static_cast<int32_t>(columns_.size()); }
  // How many leading columns take part in comparisons (all, unless a partial-key search
  // narrows it for a while).
  int32_t CompareColumns() const { return compareColumns_; }
  void SetCompareColumns(int32_t count);
  const std::vector<int32_t>& PrefixLengths() const { return prefixLengths_; }
  // With on, each non-NULL text column of the search row gets its text's length in
  // characters as prefix length; every other column, and every column with off, none.
  void SetPrefixLengths(const uint8_t* recordBuffer, bool on);

  // Writes the page key of a row (KeySize bytes) and remembers the row as the one the
  // search key was built from.
  void BuildPageKey(const uint8_t* recordBuffer, uint8_t* key);
  // Writes the full key (FullKeySize bytes).
  void BuildFullKey(const uint8_t* recordBuffer, uint8_t* key) const;
  // Reads the row and builds its full key. 20170 "Cannot retrieve record for index" when
  // the row cannot be read.
  void ReadFullKey(const TZDBRecordID& recordID, uint8_t* key, int32_t session);

  int CompareKeys(const uint8_t* searchKey, const uint8_t* entryKey, const uint8_t* entryData,
                  const uint8_t* searchData, int32_t session, bool resolve) override;
  int CompareFullKeys(const uint8_t* a, const uint8_t* b) const;
  bool HasTruncatedColumns() const override;

 private:
  int32_t CompareLength(int32_t column, int32_t segmentLength) const;
  // -1, 0, +1 of one segment's value bytes, before the column's direction.
  int CompareSegment(const TZDBKeyColumnDesc& column, const uint8_t* a, const uint8_t* b, int32_t segmentSize,
                     int32_t compareLength) const;
  // The full keys decide between two equal truncated prefixes.
  int ResolveByFullKeys(const uint8_t* entryData, const uint8_t* searchData, int32_t session);

  std::vector<TZDBKeyColumnDesc> columns_;
  bool hasTruncatedColumns_ = false;
  int32_t compareColumns_ = 0;
  std::vector<int32_t> prefixLengths_;
  TZDBIndexedTable* table_ = nullptr;
  const uint8_t* searchRecordBuffer_ = nullptr;  // the row the last page key was built from
  std::vector<uint8_t> scratchRow_;
  std::vector<uint8_t> searchFullKey_;
  std::vector<uint8_t> entryFullKey_;
};

// Narrows a key descriptor's comparison to a condition's leading columns (and prefix
// lengths) for the life of the guard.
class TZDBCompareColumnsScope {
 public:
  TZDBCompareColumnsScope(TZDBRecordKeyRef& keys, int32_t columnCount, const uint8_t* searchRow, bool prefix);
  ~TZDBCompareColumnsScope();
  TZDBCompareColumnsScope(const TZDBCompareColumnsScope&) = delete;
  TZDBCompareColumnsScope& operator=(const TZDBCompareColumnsScope&) = delete;

 private:
  TZDBRecordKeyRef& keys_;
  int32_t savedColumns_;
};

}  // namespace zdb
