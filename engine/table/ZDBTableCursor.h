// The part of a cursor the table data works with: the session it acts for, the row
// buffer of the current operation, the position, the active index, the key of a key
// search, the range, the filters and the record bitmap of a filtered cursor. The dataset
// layer's cursor builds on it; tools and tests use it as it is.
//
// Contract: the table data reads these attributes and writes back the position (and
// the row, into the row buffer). The row buffer belongs to the caller when given with
// UseRecordBuffer, else to the cursor (AllocateRecordBuffer); it must hold a whole
// record buffer of the table. Key buffers and range keys are record buffers of the
// table (laid out like rows) and belong to the caller. A change of filter or range makes
// the record bitmap stale.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index/ZDBIndexSearch.h"
#include "engine/index/ZDBIndexedTable.h"
#include "engine/index/ZDBRecordID.h"
#include "engine/table/ZDBBaseSession.h"
#include "engine/table/ZDBRecordBitmap.h"
#include "engine/table/ZDBSearchCondition.h"

namespace zdb {

// One end of a cursor's range: a key on the active index.
struct TZDBRangeKey {
  const uint8_t* KeyBuffer = nullptr;  // null: the range is open at this end
  int32_t KeyFieldCount = 0;
  bool Exclusive = false;
};

class TZDBTableCursor : public TZDBIndexCursor {
 public:
  static constexpr int32_t NoIndex = -1;
  using FilterCallback = std::function<bool(const uint8_t* recordBuffer)>;

  TZDBTableCursor(TZDBBaseSession& session, std::string_view tableName);
  ~TZDBTableCursor() override;
  TZDBTableCursor(const TZDBTableCursor&) = delete;
  TZDBTableCursor& operator=(const TZDBTableCursor&) = delete;

  // --- who and what ----------------------------------------------------------------------
  TZDBBaseSession& Session() const { return session_; }
  int32_t SessionID() const override { return session_.SessionID(); }
  bool InTransaction() const { return session_.InTransaction(); }
  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string_view tableName) { tableName_ = tableName; }

  // The open asks for the table exclusively.
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive) { exclusive_ = exclusive; }
  // Row changes are not committed one by one (batch mode): the caller commits.
  bool DeferCommit() const { return deferCommit_; }
  void SetDeferCommit(bool defer) { deferCommit_ = defer; }
  // Indexes added through this cursor get no primary-key or unique constraint.
  bool SkipConstraints() const { return skipConstraints_; }
  void SetSkipConstraints(bool skip) { skipConstraints_ = skip; }
  // Set by the table data while the cursor holds its open lock on the table.
  bool HoldsTableLock() const { return holdsTableLock_; }
  void SetHoldsTableLock(bool holds) { holdsTableLock_ = holds; }

  // --- the row buffer ----------------------------------------------------------------------
  const uint8_t* RecordBuffer() const override { return recordBuffer_; }
  uint8_t* MutableRecordBuffer() const { return recordBuffer_; }
  // The row as it was when the edit began, for an update (may be null).
  const uint8_t* OriginalRecordBuffer() const override { return originalRecordBuffer_; }
  void SetOriginalRecordBuffer(const uint8_t* buffer) { originalRecordBuffer_ = buffer; }
  // The caller's buffer (null: none).
  void UseRecordBuffer(uint8_t* buffer) { recordBuffer_ = buffer; }
  // A zero-filled buffer of the cursor's own.
  void AllocateRecordBuffer(int32_t size);

  // --- position ------------------------------------------------------------------------------
  TZDBRecordID RecordID() const override { return recordID_; }
  bool BeforeFirst() const { return beforeFirst_; }
  bool AfterLast() const { return afterLast_; }
  bool OnRow() const { return !beforeFirst_ && !afterLast_; }
  // On the row; both cracks cleared.
  void SetPosition(const TZDBRecordID& recordID);
  void SetPosition(const TZDBRecordID& recordID, bool beforeFirst, bool afterLast);
  void SetToBegin();
  void SetToEnd();

  // --- order -------------------------------------------------------------------------------
  // ObjectID of the active index; NoIndex walks in physical order.
  int32_t IndexID() const { return indexID_; }
  void SetIndexID(int32_t indexID);
  TZDBIndexPositionCache& PositionCache() { return positionCache_; }

  // --- key search --------------------------------------------------------------------------
  const uint8_t* KeyBuffer() const { return keyBuffer_; }
  int32_t KeyBufferSize() const { return keyBufferSize_; }
  int32_t KeyFieldCount() const { return keyFieldCount_; }
  void SetSearchKey(const uint8_t* keyBuffer, int32_t keyBufferSize, int32_t keyFieldCount);

  // --- filtering ---------------------------------------------------------------------------
  const TZDBRangeKey& RangeStart() const { return rangeStart_; }
  const TZDBRangeKey& RangeEnd() const { return rangeEnd_; }
  bool HasRange() const { return rangeStart_.KeyBuffer != nullptr || rangeEnd_.KeyBuffer != nullptr; }
  void SetRange(const TZDBRangeKey& start, const TZDBRangeKey& end);
  void ClearRange();

  const std::vector<std::shared_ptr<const TZDBRowExpression>>& Filters() const { return filters_; }
  void AddFilter(std::shared_ptr<const TZDBRowExpression> filter);
  void ClearFilters();
  const FilterCallback& Callback() const { return callback_; }
  void SetFilterCallback(FilterCallback callback);

  // Leading columns of the active index over which next and prior step to the next
  // different key (0: no step).
  int32_t KeyPrefixStep() const { return keyPrefixStep_; }
  void SetKeyPrefixStep(int32_t columns);

  // Filter, callback, range or key-prefix step.
  bool IsFiltered() const;
  TZDBRecordBitmap& Bitmap() { return bitmap_; }

 private:
  TZDBBaseSession& session_;
  std::string tableName_;
  bool exclusive_ = false;
  bool deferCommit_ = false;
  bool skipConstraints_ = false;
  bool holdsTableLock_ = false;

  uint8_t* recordBuffer_ = nullptr;
  std::vector<uint8_t> ownBuffer_;
  const uint8_t* originalRecordBuffer_ = nullptr;

  TZDBRecordID recordID_;
  bool beforeFirst_ = true;
  bool afterLast_ = false;

  int32_t indexID_ = NoIndex;
  TZDBIndexPositionCache positionCache_;

  const uint8_t* keyBuffer_ = nullptr;
  int32_t keyBufferSize_ = 0;
  int32_t keyFieldCount_ = 0;

  TZDBRangeKey rangeStart_;
  TZDBRangeKey rangeEnd_;
  std::vector<std::shared_ptr<const TZDBRowExpression>> filters_;
  FilterCallback callback_;
  int32_t keyPrefixStep_ = 0;
  TZDBRecordBitmap bitmap_;
};

}  // namespace zdb
