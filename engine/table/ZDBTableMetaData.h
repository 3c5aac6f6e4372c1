// The two stored forms of a table's description.
//
// The metadata stream (the whole content of the table's TableMetaData internal file):
//   field list, index list, constraint list,
//   4 bytes root page of the record-page index, 4 bytes root page of the BLOB-page index
// It is rebuilt and written whole whenever the definitions change, and read whole when
// the table opens.
//
// The frequently updated data (the whole content of the TableMostUpdated internal file),
// rewritten after every row change so that a row change touches a few bytes only:
//   4 bytes field count f, 8 bytes per field: its automatic increment counter,
//   4 bytes ChangeCount, 4 bytes RecordCount (low 32 bits, sign-extended when read)
// 12 + 8 × f bytes in all.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/ZDBStream.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"

namespace zdb {

struct TZDBTableRootPages {
  static constexpr int32_t NoRootPageNo = -1;
  int32_t RecordPageIndexRootPageNo = NoRootPageNo;
  int32_t BlobPageIndexRootPageNo = NoRootPageNo;
  bool operator==(const TZDBTableRootPages&) const = default;
};

void SaveTableMetaData(TStream& stream, const TZDBBaseFieldManager& fields, const TZDBIndexDefs& indexes,
                       const TZDBConstraintDefs& constraints, const TZDBTableRootPages& roots);
// Parses in the stored order: fields (then offsets and counters are reset), indexes,
// constraints, root pages. A failure leaves the lists as far as they were read.
TZDBTableRootPages LoadTableMetaData(TStream& stream, TZDBBaseFieldManager& fields, TZDBIndexDefs& indexes,
                                     TZDBConstraintDefs& constraints);

struct TZDBMostUpdatedCounts {
  int32_t ChangeCount = 0;
  int64_t RecordCount = 0;
};

// The frequently updated data of the table. Raises 20164 "Invalid table header data"
// when the content would not fit its scratch area.
std::vector<uint8_t> SaveMostUpdatedData(const TZDBBaseFieldManager& fields, const TZDBMostUpdatedCounts& counts);
// Loads the counters into the field manager and answers the two counts. Raises 20164
// when the bytes are too few or count other fields than the table has.
TZDBMostUpdatedCounts LoadMostUpdatedData(const std::vector<uint8_t>& bytes, TZDBBaseFieldManager& fields);

}  // namespace zdb
