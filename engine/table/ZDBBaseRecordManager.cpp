#include "engine/table/ZDBBaseRecordManager.h"

namespace zdb {

int TZDBBaseRecordManager::CompareRecordIDs(const TZDBRecordID& a, const TZDBRecordID& b) const {
  return zdb::CompareRecordIDs(a, b);
}

int64_t TZDBBaseRecordManager::GetApproximateRecNo(int32_t /*session*/, const TZDBRecordID& /*recordID*/) const {
  return recordCount_ / 2;
}

void TZDBBaseRecordManager::LoadCounts(const TZDBMostUpdatedCounts& counts) {
  changeCount_ = counts.ChangeCount;
  recordCount_ = counts.RecordCount;
}

TZDBMostUpdatedCounts TZDBBaseRecordManager::SaveCounts() const { return {changeCount_, recordCount_}; }

}  // namespace zdb
