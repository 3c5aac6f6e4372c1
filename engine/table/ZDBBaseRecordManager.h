// The record manager of a table: inserts, updates, deletes and reads rows by RecordID,
// walks them in physical order, and keeps the table's row count and change counter.
// TZDBDiskRecordManager keeps the rows on record pages of the database file.
//
// ChangeCount grows by 1 with every successful insert, update and delete and is 0 after
// emptying, so record bitmaps and position caches can tell that the table changed. The
// table data loads both counters from the table's frequently updated data when the table
// opens (and before each operation in multi-user mode) and saves them after every change.
//
// No lock of its own: the owning table data's lock is held around every call.
#pragma once

#include <cstdint>

#include "engine/index/ZDBNavigationRequest.h"
#include "engine/index/ZDBRecordID.h"
#include "engine/table/ZDBTableMetaData.h"

namespace zdb {

class TZDBBaseRecordManager {
 public:
  TZDBBaseRecordManager() = default;
  TZDBBaseRecordManager(const TZDBBaseRecordManager&) = delete;
  TZDBBaseRecordManager& operator=(const TZDBBaseRecordManager&) = delete;
  virtual ~TZDBBaseRecordManager() = default;

  // --- virtual operations, in slot order -----------------------------------------------
  // Removes every row; both counters become 0.
  virtual void EmptyTable(int32_t session) = 0;
  // Stores a new row and answers its RecordID. Never raises: any failure answers false.
  virtual bool InsertRecord(int32_t session, const uint8_t* recordBuffer, TZDBRecordID& recordID) = 0;
  // False (nothing changed) when the slot holds no row of the table.
  virtual bool UpdateRecord(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID) = 0;
  virtual bool DeleteRecord(int32_t session, const TZDBRecordID& recordID) = 0;
  // Moves as the request asks and answers in its GetResult.
  virtual void GetRecord(int32_t session, TZDBNavigationRequest& request) = 0;
  // -1, 0, +1: by page number, then slot.
  virtual int CompareRecordIDs(const TZDBRecordID& a, const TZDBRecordID& b) const;
  // RecordCount div 2: physical order has no cheap exact position.
  virtual int64_t GetApproximateRecNo(int32_t session, const TZDBRecordID& recordID) const;

  // --- counters ------------------------------------------------------------------------
  int64_t RecordCount() const { return recordCount_; }
  int32_t ChangeCount() const { return changeCount_; }
  // From / for the frequently updated data.
  void LoadCounts(const TZDBMostUpdatedCounts& counts);
  TZDBMostUpdatedCounts SaveCounts() const;

  // --- sizes ---------------------------------------------------------------------------
  int32_t RecordBufferSize() const { return recordBufferSize_; }
  int32_t StoredRecordSize() const { return storedRecordSize_; }
  int32_t RecordsPerPage() const { return recordsPerPage_; }

 protected:
  void ResetCounts() {
    recordCount_ = 0;
    changeCount_ = 0;
  }
  void CountInsert() {
    ++recordCount_;
    ++changeCount_;
  }
  void CountUpdate() { ++changeCount_; }
  void CountDelete() {
    --recordCount_;
    ++changeCount_;
  }
  void SetSizes(int32_t recordBufferSize, int32_t storedRecordSize, int32_t recordsPerPage) {
    recordBufferSize_ = recordBufferSize;
    storedRecordSize_ = storedRecordSize;
    recordsPerPage_ = recordsPerPage;
  }

 private:
  int64_t recordCount_ = 0;
  int32_t changeCount_ = 0;
  int32_t recordBufferSize_ = 0;
  int32_t storedRecordSize_ = 0;
  int32_t recordsPerPage_ = 0;
};

}  // namespace zdb
