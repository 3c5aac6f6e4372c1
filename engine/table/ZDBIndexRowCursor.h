// The row an index entry is made, changed or removed for, as the table data hands it to
// the index manager: the session, the row as it is (to be) stored, the row as it was
// before an update, and its RecordID. Made per call; it owns nothing.
#pragma once

#include <cstdint>

#include "engine/index/ZDBIndexedTable.h"
#include "engine/index/ZDBRecordID.h"

namespace zdb {

class TZDBIndexRowCursor final : public TZDBIndexCursor {
 public:
  TZDBIndexRowCursor(int32_t session, const uint8_t* recordBuffer, const uint8_t* originalRecordBuffer,
                     const TZDBRecordID& recordID)
      : session_(session), recordBuffer_(recordBuffer), original_(originalRecordBuffer), recordID_(recordID) {}

  int32_t SessionID() const override { return session_; }
  const uint8_t* RecordBuffer() const override { return recordBuffer_; }
  const uint8_t* OriginalRecordBuffer() const override { return original_; }
  TZDBRecordID RecordID() const override { return recordID_; }

 private:
  int32_t session_;
  const uint8_t* recordBuffer_;
  const uint8_t* original_;
  TZDBRecordID recordID_;
};

}  // namespace zdb
