// What an index sees of the table above it. The index layer sits below the table layer,
// so the table data, the cursor and the record bitmap reach it through these interfaces,
// which the table layer implements.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/index/ZDBRecordID.h"

namespace zdb {

// The rows of the indexed table.
class TZDBIndexedTable {
 public:
  using RowVisitor = std::function<void(const TZDBRecordID& recordID, const uint8_t* recordBuffer)>;

  virtual ~TZDBIndexedTable() = default;
  // Bytes of a record buffer of the table.
  virtual int32_t RecordBufferSize() const = 0;
  // Reads the row into the record buffer; false when the slot holds no row.
  virtual bool ReadRecord(int32_t session, const TZDBRecordID& recordID, uint8_t* recordBuffer) = 0;
  // Visits every row in physical order (through a cursor of its own for the session,
  // closed again on every path).
  virtual void ForEachRecord(int32_t session, const RowVisitor& visit) = 0;
};

// The cursor whose row an index entry is made, changed or removed for.
class TZDBIndexCursor {
 public:
  virtual ~TZDBIndexCursor() = default;
  virtual int32_t SessionID() const = 0;
  // The row as it is (to be) stored.
  virtual const uint8_t* RecordBuffer() const = 0;
  // The row as it was before the update in progress.
  virtual const uint8_t* OriginalRecordBuffer() const = 0;
  virtual TZDBRecordID RecordID() const = 0;
};

// The marks of a record bitmap, one per row.
class TZDBRecordMarks {
 public:
  virtual ~TZDBRecordMarks() = default;
  virtual bool IsMarked(const TZDBRecordID& recordID) const = 0;
  virtual void SetMarked(const TZDBRecordID& recordID, bool marked) = 0;
};

}  // namespace zdb
