// TZDBBaseFieldManager: the field definitions of one open table and what is done with
// them row by row — the layout of both row forms and the conversion between them,
// default values for new rows, and the automatic increment counters (one signed 64-bit
// counter per field, 0 for fields of other types).
//
// Record buffers are RecordBufferSize bytes and stored records StoredRecordSize bytes;
// callers pass buffers of those sizes. A field's null bit is bit (i mod 8) of null-map
// byte (i div 8); a set bit means NULL.
//
// Automatic increment: the next value is the counter plus AutoincIncrement (0 counts as
// 1). A value beyond AutoincMaxValue (0: no maximum) or beyond what the field's storage
// type can hold exceeds the counter's range: with AutoincCycled the counter starts again
// at AutoincMinValue, without it 20160 "Autoinc max value exceeded for field '%s'" is
// raised. A value given for the field at insert moves the counter up when it is larger.
//
// No lock of its own: the table data's lock is held around every call.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/base/ZDBStream.h"
#include "engine/table/ZDBBaseSession.h"
#include "engine/table/ZDBFieldDef.h"

namespace zdb {

// Null-map access on either row form.
bool IsFieldNull(const uint8_t* row, int32_t fieldNo);
void SetFieldNull(uint8_t* row, int32_t fieldNo, bool isNull);

class TZDBBaseFieldManager {
 public:
  TZDBBaseFieldManager() = default;
  TZDBBaseFieldManager(const TZDBBaseFieldManager&) = delete;
  TZDBBaseFieldManager& operator=(const TZDBBaseFieldManager&) = delete;
  virtual ~TZDBBaseFieldManager() = default;

  // --- virtual operations, in slot order -----------------------------------------------
  // Advances the field's counter and answers it. 30402 "Field #%d not found" for a field
  // number outside the definitions, 30403 outside the counters.
  virtual int64_t NextAutoincValue(int32_t fieldNo);
  // Writes the default of every non-BLOB field that has one into a new row (converted to
  // the field's type; text cut to the field's size), clearing its null bit.
  virtual void ApplyDefaults(uint8_t* recordBuffer);
  // Before an insert: every NULL automatic increment field gets its next value; a given
  // value larger than the counter becomes the counter.
  virtual void AssignAutoincValues(TZDBBaseSession& session, uint8_t* recordBuffer);
  // NextAutoincValue, recorded in the session as the field's last value.
  virtual int64_t GenerateAutoincValue(TZDBBaseSession& session, int32_t fieldNo);
  // The session's last value for the field; without one, 30012 in a multi-user session,
  // else the table's counter (0 for fields that do not count).
  virtual int64_t GetLastAutoincValue(const TZDBBaseSession& session, int32_t fieldNo) const;

  // --- definitions and layout ----------------------------------------------------------
  const TZDBFieldDefs& FieldDefs() const { return fieldDefs_; }
  int32_t FieldCount() const { return fieldDefs_.Count(); }
  // Copies the list in; offsets and counters are reset.
  void SetFieldDefs(const TZDBFieldDefs& fieldDefs);
  // The stored field list; after loading, offsets and counters are reset.
  void LoadFieldDefs(TStream& stream);
  void SaveFieldDefs(TStream& stream) const;
  void RecomputeOffsets() {
    ForgetLayout();
    fieldDefs_.RecomputeOffsets();
  }
  // Asked for every row read: worked out once per field list.
  int32_t RecordBufferSize() const {
    if (recordBufferSize_ < 0) recordBufferSize_ = fieldDefs_.RecordBufferSize();
    return recordBufferSize_;
  }
  int32_t StoredRecordSize() const { return fieldDefs_.StoredRecordSize(); }
  // True if any field has BLOB storage; 10421 "BLOB block size should be > 0 for field
  // %s" for the first BLOB field whose block size is 0.
  bool HasBlobFields() const;

  // --- counters ------------------------------------------------------------------------
  // One counter per field: AutoincInitialValue for automatic increment fields, else 0.
  void ResetAutoincValues();
  const std::vector<int64_t>& AutoincValues() const { return autoincValues_; }
  // The counters become the given ones, one per field (those of a copy of the table);
  // 20164 "Invalid table header data" for another number of counters.
  void SetAutoincValues(const std::vector<int64_t>& counters);
  // The counters of automatic increment fields rise to the row's values that stand above
  // them, so that a row kept as it was is never given its value again; NULL changes
  // nothing.
  void RaiseAutoincValues(const uint8_t* recordBuffer);
  // The counters' part of the frequently updated data: 4 bytes field count, then 8 bytes
  // per counter. The position moves past it. Loading raises 20164 "Invalid table header
  // data" when the bytes are too few or count other fields; saving when they would not
  // fit into the bytes.
  void LoadAutoincValues(const std::vector<uint8_t>& bytes, size_t& position);
  void SaveAutoincValues(std::vector<uint8_t>& bytes, size_t& position) const;

  // --- rows ----------------------------------------------------------------------------
  // A fresh row: every field NULL, every field byte 0.
  void InitRecordBuffer(uint8_t* recordBuffer) const;
  void ToRecordBuffer(const uint8_t* storedRecord, uint8_t* recordBuffer) const;
  void ToStoredRecord(const uint8_t* recordBuffer, uint8_t* storedRecord) const;
  // Same null map, and the same StoredDataSize bytes of every field.
  bool RecordBuffersEqual(const uint8_t* a, const uint8_t* b) const;

 protected:
  TZDBFieldDefs& MutableFieldDefs() {
    ForgetLayout();
    return fieldDefs_;
  }
  void CheckCounterField(int32_t fieldNo) const;

 private:
  void AfterDefinitionsChanged();
  void ForgetLayout() const {
    recordBufferSize_ = -1;
    hasBlobFields_.reset();
  }

  TZDBFieldDefs fieldDefs_;
  mutable int32_t recordBufferSize_ = -1;      // -1: not worked out for the current list
  mutable std::optional<bool> hasBlobFields_;  // none: not worked out for the current list
  std::vector<int64_t> autoincValues_;
};

}  // namespace zdb
