#include "engine/table/ZDBTableMetaData.h"

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/table/ZDBMetaStream.h"

namespace zdb {
namespace {

// The root page numbers are 4-byte numbers of the stream like the list counts, and fail
// with the same codes.
constexpr const TZDBError& WriteRootPageFailed = errors::ListCountWriteFailed;
constexpr const TZDBError& ReadRootPageFailed = errors::ListCountReadFailed;

constexpr size_t CountSize = 4;
constexpr size_t CounterSize = 8;
// The writer's scratch area: generous for the counters and both counts.
constexpr size_t ScratchUnit = 4;
constexpr size_t ScratchExtra = 8;

}  // namespace

void SaveTableMetaData(TStream& stream, const TZDBBaseFieldManager& fields, const TZDBIndexDefs& indexes,
                       const TZDBConstraintDefs& constraints, const TZDBTableRootPages& roots) {
  fields.SaveFieldDefs(stream);
  indexes.SaveToStream(stream);
  constraints.SaveToStream(stream);
  WriteI32(stream, roots.RecordPageIndexRootPageNo, WriteRootPageFailed);
  WriteI32(stream, roots.BlobPageIndexRootPageNo, WriteRootPageFailed);
}

TZDBTableRootPages LoadTableMetaData(TStream& stream, TZDBBaseFieldManager& fields, TZDBIndexDefs& indexes,
                                     TZDBConstraintDefs& constraints) {
  fields.LoadFieldDefs(stream);
  indexes.LoadFromStream(stream);
  constraints.LoadFromStream(stream);
  TZDBTableRootPages roots;
  roots.RecordPageIndexRootPageNo = ReadI32(stream, ReadRootPageFailed);
  roots.BlobPageIndexRootPageNo = ReadI32(stream, ReadRootPageFailed);
  return roots;
}

std::vector<uint8_t> SaveMostUpdatedData(const TZDBBaseFieldManager& fields, const TZDBMostUpdatedCounts& counts) {
  const size_t counters = fields.AutoincValues().size();
  std::vector<uint8_t> bytes(ScratchUnit * (CounterSize * counters + ScratchExtra));
  size_t position = 0;
  fields.SaveAutoincValues(bytes, position);
  if (bytes.size() - position < 2 * CountSize) RaiseError(errors::InvalidTableHeaderData);
  le::PutI32(bytes.data() + position, counts.ChangeCount);
  position += CountSize;
  le::PutU32(bytes.data() + position, static_cast<uint32_t>(counts.RecordCount));
  position += CountSize;
  bytes.resize(position);
  return bytes;
}

TZDBMostUpdatedCounts LoadMostUpdatedData(const std::vector<uint8_t>& bytes, TZDBBaseFieldManager& fields) {
  // The whole content is checked first, so that a short one changes no counter.
  if (bytes.size() < CountSize) RaiseError(errors::InvalidTableHeaderData);
  const int64_t fieldCount = le::GetI32(bytes.data());
  const int64_t needed = static_cast<int64_t>(3 * CountSize) + fieldCount * static_cast<int64_t>(CounterSize);
  if (fieldCount < 0 || static_cast<int64_t>(bytes.size()) < needed)
    RaiseError(errors::InvalidTableHeaderData);
  size_t position = 0;
  fields.LoadAutoincValues(bytes, position);
  TZDBMostUpdatedCounts counts;
  counts.ChangeCount = le::GetI32(bytes.data() + position);
  counts.RecordCount = le::GetI32(bytes.data() + position + CountSize);
  return counts;
}

}  // namespace zdb
