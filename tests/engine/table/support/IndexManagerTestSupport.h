// The index manager over a table's record manager, the way the table data drives it: the
// owner reads and walks rows through the record manager, a cursor carries one row, and
// the insert, update and delete sequences call the manager around the row changes.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "engine/base/ZDBEndian.h"
#include "engine/table/ZDBBaseRecordManager.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexManager.h"

namespace zdb::testing {

// What the index manager needs of the table, served by a record manager and field list.
class RecordManagerIndexOwner : public TZDBIndexManagerOwner {
 public:
  RecordManagerIndexOwner(const TZDBBaseFieldManager& fields, TZDBBaseRecordManager& records)
      : fields_(fields), records_(records) {}

  int32_t RecordBufferSize() const override { return fields_.RecordBufferSize(); }
  bool ReadRecord(int32_t session, const TZDBRecordID& recordID, uint8_t* recordBuffer) override {
    TZDBNavigationRequest request;
    request.GetMode = grmCurrent;
    request.RecordID = recordID;
    request.RecordBuffer = recordBuffer;
    records_.GetRecord(session, request);
    return request.GetResult == grOK;
  }
  void ForEachRecord(int32_t session, const RowVisitor& visit) override {
    std::vector<uint8_t> buffer(static_cast<size_t>(RecordBufferSize()));
    TZDBNavigationRequest request;
    request.GetMode = grmNext;
    request.BeforeFirst = true;
    request.RecordBuffer = buffer.data();
    for (records_.GetRecord(session, request); request.GetResult == grOK; records_.GetRecord(session, request))
      visit(request.RecordID, buffer.data());
  }
  const TZDBBaseFieldManager* IndexedFieldManager() const override { return &fields_; }
  int32_t IndexedTableChangeCount() const override { return records_.ChangeCount(); }
  int32_t NextIndexObjectID() override { return nextObjectID++; }

  int32_t nextObjectID = 1000;

 private:
  const TZDBBaseFieldManager& fields_;
  TZDBBaseRecordManager& records_;
};

// One row on its way into, through or out of the table.
class RowCursor : public TZDBIndexCursor {
 public:
  RowCursor(int32_t session, std::vector<uint8_t> row, std::vector<uint8_t> original = {},
            TZDBRecordID recordID = {})
      : session_(session), row_(std::move(row)), original_(std::move(original)), recordID_(recordID) {}

  int32_t SessionID() const override { return session_; }
  const uint8_t* RecordBuffer() const override { return row_.data(); }
  const uint8_t* OriginalRecordBuffer() const override { return original_.empty() ? nullptr : original_.data(); }
  TZDBRecordID RecordID() const override { return recordID_; }
  void SetRecordID(const TZDBRecordID& recordID) { recordID_ = recordID; }

 private:
  int32_t session_;
  std::vector<uint8_t> row_;
  std::vector<uint8_t> original_;
  TZDBRecordID recordID_;
};

// Writing field values into a record buffer.
class RowWriter {
 public:
  explicit RowWriter(const TZDBBaseFieldManager& fields) : fields_(fields) {}

  std::vector<uint8_t> NewRow() const {
    std::vector<uint8_t> row(static_cast<size_t>(fields_.RecordBufferSize()));
    fields_.InitRecordBuffer(row.data());
    return row;
  }
  void SetInteger(std::vector<uint8_t>& row, std::string_view field, std::optional<int32_t> value) const {
    const int32_t fieldNo = fields_.FieldDefs().IndexOfName(field);
    SetFieldNull(row.data(), fieldNo, !value);
    if (value) le::PutI32(row.data() + fields_.FieldDefs().Items(fieldNo).MemoryOffset(), *value);
  }
  void SetString(std::vector<uint8_t>& row, std::string_view field, std::string_view value) const {
    const int32_t fieldNo = fields_.FieldDefs().IndexOfName(field);
    const TZDBFieldDef& def = fields_.FieldDefs().Items(fieldNo);
    SetFieldNull(row.data(), fieldNo, false);
    uint8_t* target = row.data() + def.MemoryOffset();
    std::memset(target, 0, static_cast<size_t>(def.MemoryDataSize()));
    std::memcpy(target, value.data(), std::min(value.size(), static_cast<size_t>(def.MemoryDataSize() - 1)));
  }

 private:
  const TZDBBaseFieldManager& fields_;
};

}  // namespace zdb::testing
