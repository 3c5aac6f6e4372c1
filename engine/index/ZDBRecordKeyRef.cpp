#include "engine/index/ZDBRecordKeyRef.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBValueCompare.h"

namespace zdb {
namespace {

constexpr uint8_t NullByteNull = 1;
constexpr uint8_t NullByteValue = 0;

// Null map of a record buffer: bit (n mod 8) of byte (n div 8), set = NULL.
bool FieldIsNull(const uint8_t* recordBuffer, int32_t fieldNo) {
  return (recordBuffer[fieldNo / 8] & (1u << (fieldNo % 8))) != 0;
}

// Whether a truncated segment's value runs to the end of its prefix. Text that ends
// inside the prefix (its terminator is there) was not cut; a value of a fixed-width type
// always fills it. (Lengthening the value by a marker byte and comparing again would not
// tell: the locale's collation ignores control characters.)
bool FillsPrefix(const TZDBKeyColumnDesc& column, const uint8_t* value) {
  const int32_t prefixSize = column.PageSegmentSize - 1 - column.TruncationReserve;
  if (IsWideStringType(column.StorageType)) {
    for (int32_t unit = 0; (unit + 1) * 2 <= prefixSize; ++unit)
      if (value[unit * 2] == 0 && value[unit * 2 + 1] == 0) return false;
    return true;
  }
  if (IsStringType(column.StorageType) || column.StorageType == TZDBStorageType::Bytes)
    return std::memchr(value, 0, static_cast<size_t>(prefixSize)) == nullptr;
  return true;
}

// Characters of the text a record-buffer field holds, up to its terminator.
int32_t TextLength(const uint8_t* value, int32_t size, TZDBStorageType type) {
  if (IsWideStringType(type)) {
    int32_t units = 0;
    while ((units + 1) * 2 <= size && (value[units * 2] != 0 || value[units * 2 + 1] != 0)) ++units;
    return units;
  }
  int32_t length = 0;
  while (length < size && value[length] != 0) ++length;
  return length;
}

}  // namespace

void TZDBRecordKeyRef::Prepare(const std::vector<TZDBKeyColumnSource>& columns, TZDBIndexedTable* table) {
  std::vector<TZDBKeyColumnDesc> descriptors;
  int64_t pageOffset = 0;
  int64_t fullOffset = 0;
  for (const TZDBKeyColumnSource& source : columns) {
    if (IsBlobType(source.StorageType))
      RaiseError(errors::BlobColumn, {source.FieldName});
    // Values of these types have no order; refusing them here keeps an index from failing
    // half-built at its second entry.
    if (!IsKnownStorageType(source.StorageType) || source.StorageType == TZDBStorageType::VarBytes)
      RaiseError(errors::UnorderedColumn, {StorageTypeName(source.StorageType)});
    TZDBKeyColumnDesc column;
    column.PageKeyOffset = static_cast<int32_t>(pageOffset);
    column.FullKeyOffset = static_cast<int32_t>(fullOffset);
    column.MemoryOffset = source.MemoryOffset;
    column.FieldNo = source.FieldNo;
    column.FullSegmentSize = source.MemoryDataSize + 1;
    const bool truncated = source.MaxIndexedSize > 0 && source.MaxIndexedSize < source.MemoryDataSize;
    column.TruncationReserve = truncated ? TZDBKeyColumnDesc::TruncatedReserveSize : 0;
    column.PageSegmentSize = truncated ? source.MaxIndexedSize + 1 + TZDBKeyColumnDesc::TruncatedReserveSize
                                       : column.FullSegmentSize;
    column.StorageType = source.StorageType;
    column.Descending = source.Descending;
    column.CaseInsensitive = source.CaseInsensitive;
    pageOffset += column.PageSegmentSize;
    fullOffset += column.FullSegmentSize;
    descriptors.push_back(column);
  }
  // Page keys are counted by a 16-bit size in every B-tree page.
  if (pageOffset > std::numeric_limits<uint16_t>::max() || fullOffset > std::numeric_limits<int32_t>::max())
    RaiseError(errors::BufferSizeExceeded);
  columns_ = std::move(descriptors);
  hasTruncatedColumns_ =
      std::any_of(columns_.begin(), columns_.end(), [](const TZDBKeyColumnDesc& c) { return c.Truncated(); });
  keySize_ = static_cast<int32_t>(pageOffset);
  fullKeySize_ = static_cast<int32_t>(fullOffset);
  entryDataSize_ = RecordIDDataSize;
  compareColumns_ = ColumnCount();
  prefixLengths_.assign(columns_.size(), NoPrefix);
  table_ = table;
  searchRecordBuffer_ = nullptr;
  searchFullKey_.assign(static_cast<size_t>(fullKeySize_), 0);
  entryFullKey_.assign(static_cast<size_t>(fullKeySize_), 0);
}

void TZDBRecordKeyRef::SetCompareColumns(int32_t count) { compareColumns_ = std::clamp(count, 0, ColumnCount()); }

void TZDBRecordKeyRef::SetPrefixLengths(const uint8_t* recordBuffer, bool on) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    const TZDBKeyColumnDesc& column = columns_[i];
    prefixLengths_[i] = NoPrefix;
    if (!on || recordBuffer == nullptr || !IsStringType(column.StorageType) || FieldIsNull(recordBuffer, column.FieldNo))
      continue;
    prefixLengths_[i] =
        TextLength(recordBuffer + column.MemoryOffset, column.FullSegmentSize - 1, column.StorageType);
  }
}

void TZDBRecordKeyRef::BuildPageKey(const uint8_t* recordBuffer, uint8_t* key) {
  for (const TZDBKeyColumnDesc& column : columns_) {
    uint8_t* segment = key + column.PageKeyOffset;
    std::memset(segment, 0, static_cast<size_t>(column.PageSegmentSize));
    if (FieldIsNull(recordBuffer, column.FieldNo)) {
      segment[0] = NullByteNull;
      continue;
    }
    segment[0] = NullByteValue;
    std::memcpy(segment + 1, recordBuffer + column.MemoryOffset,
                static_cast<size_t>(column.PageSegmentSize - 1 - column.TruncationReserve));
  }
  searchRecordBuffer_ = recordBuffer;
}

void TZDBRecordKeyRef::BuildFullKey(const uint8_t* recordBuffer, uint8_t* key) const {
  for (const TZDBKeyColumnDesc& column : columns_) {
    uint8_t* segment = key + column.FullKeyOffset;
    std::memset(segment, 0, static_cast<size_t>(column.FullSegmentSize));
    if (FieldIsNull(recordBuffer, column.FieldNo)) {
      segment[0] = NullByteNull;
      continue;
    }
    segment[0] = NullByteValue;
    std::memcpy(segment + 1, recordBuffer + column.MemoryOffset, static_cast<size_t>(column.FullSegmentSize - 1));
  }
}

void TZDBRecordKeyRef::ReadFullKey(const TZDBRecordID& recordID, uint8_t* key, int32_t session) {
  if (table_ == nullptr) RaiseError(errors::RowUnreadable);
  scratchRow_.resize(static_cast<size_t>(std::max(table_->RecordBufferSize(), 0)));
  if (!table_->ReadRecord(session, recordID, scratchRow_.data()))
    RaiseError(errors::RowUnreadable);
  BuildFullKey(scratchRow_.data(), key);
}

int32_t TZDBRecordKeyRef::CompareLength(int32_t column, int32_t segmentLength) const {
  const int32_t prefix = prefixLengths_[static_cast<size_t>(column)];
  return prefix == NoPrefix ? NoPrefix : std::min(prefix, segmentLength);
}

int TZDBRecordKeyRef::CompareSegment(const TZDBKeyColumnDesc& column, const uint8_t* a, const uint8_t* b,
                                     int32_t segmentSize, int32_t compareLength) const {
  const int32_t valueSize = segmentSize - 1;
  // 32-bit integer columns, the common key, compare in place without the general path.
  const bool aPresent = a[0] == NullByteValue;
  const bool bPresent = b[0] == NullByteValue;
  if (aPresent && bPresent && valueSize >= 4 &&
      (column.StorageType == TZDBStorageType::Integer || column.StorageType == TZDBStorageType::Date ||
       column.StorageType == TZDBStorageType::Time)) {
    const int32_t x = le::GetI32(a + 1);
    const int32_t y = le::GetI32(b + 1);
    return (x > y) - (x < y);
  }
  return CompareResultToOrder(CompareValues(a + 1, b + 1, column.StorageType, column.StorageType,
                                            column.CaseInsensitive, compareLength, a[0] != NullByteValue,
                                            b[0] != NullByteValue, valueSize, valueSize));
}

int TZDBRecordKeyRef::CompareKeys(const uint8_t* searchKey, const uint8_t* entryKey, const uint8_t* entryData,
                                  const uint8_t* searchData, int32_t session, bool resolve) {
  for (int32_t i = 0; i < compareColumns_; ++i) {
    const TZDBKeyColumnDesc& column = columns_[static_cast<size_t>(i)];
    const uint8_t* s = searchKey + column.PageKeyOffset;
    const uint8_t* e = entryKey + column.PageKeyOffset;
    const int32_t length = CompareLength(i, column.PageSegmentSize - column.TruncationReserve);
    int r = CompareSegment(column, s, e, column.PageSegmentSize, length);
    if (r == 0 && column.Truncated()) {
      if (!resolve) return 0;
      // Equal prefixes prove nothing when the search value fills its prefix (it may go on
      // beyond it): then the full values decide.
      if (entryData != nullptr && s[0] == NullByteValue && FillsPrefix(column, s + 1))
        return ResolveByFullKeys(entryData, searchData, session);
    }
    if (column.Descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

int TZDBRecordKeyRef::ResolveByFullKeys(const uint8_t* entryData, const uint8_t* searchData, int32_t session) {
  if (searchData != nullptr) {
    ReadFullKey(TZDBRecordID::Read(searchData), searchFullKey_.data(), session);
  } else if (searchRecordBuffer_ != nullptr) {
    BuildFullKey(searchRecordBuffer_, searchFullKey_.data());
  } else {
    return 0;  // nothing to read the search value from: the prefixes are all we know
  }
  ReadFullKey(TZDBRecordID::Read(entryData), entryFullKey_.data(), session);
  return CompareFullKeys(searchFullKey_.data(), entryFullKey_.data());
}

int TZDBRecordKeyRef::CompareFullKeys(const uint8_t* a, const uint8_t* b) const {
  for (int32_t i = 0; i < compareColumns_; ++i) {
    const TZDBKeyColumnDesc& column = columns_[static_cast<size_t>(i)];
    int r = CompareSegment(column, a + column.FullKeyOffset, b + column.FullKeyOffset, column.FullSegmentSize,
                           CompareLength(i, column.FullSegmentSize));
    if (column.Descending) r = -r;
    if (r != 0) return r;
  }
  return 0;
}

bool TZDBRecordKeyRef::HasTruncatedColumns() const { return hasTruncatedColumns_; }

TZDBCompareColumnsScope::TZDBCompareColumnsScope(TZDBRecordKeyRef& keys, int32_t columnCount,
                                                 const uint8_t* searchRow, bool prefix)
    : keys_(keys), savedColumns_(keys.CompareColumns()) {
  keys_.SetCompareColumns(columnCount);
  keys_.SetPrefixLengths(searchRow, prefix);
}

TZDBCompareColumnsScope::~TZDBCompareColumnsScope() {
  keys_.SetCompareColumns(savedColumns_);
  keys_.SetPrefixLengths(nullptr, false);
}

}  // namespace zdb
