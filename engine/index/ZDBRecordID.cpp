#include "engine/index/ZDBRecordID.h"

#include "engine/base/ZDBEndian.h"

namespace zdb {

TZDBRecordID TZDBRecordID::Read(const uint8_t* bytes) {
  return {le::GetI32(bytes + PageNoOffset), le::GetU16(bytes + RecordNoOffset)};
}

void TZDBRecordID::Write(uint8_t* bytes) const {
  le::PutI32(bytes + PageNoOffset, PageNo);
  le::PutU16(bytes + RecordNoOffset, RecordNo);
}

int CompareRecordIDs(const TZDBRecordID& a, const TZDBRecordID& b) {
  const auto order = a <=> b;
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int CompareRecordIDs(const uint8_t* a, const uint8_t* b, int32_t size) {
  if (size == TZDBRecordID::ByteSize) return CompareRecordIDs(TZDBRecordID::Read(a), TZDBRecordID::Read(b));
  for (int32_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace zdb
