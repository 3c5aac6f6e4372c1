#include "engine/table/ZDBTableCursor.h"

#include <algorithm>

namespace zdb {

TZDBTableCursor::TZDBTableCursor(TZDBBaseSession& session, std::string_view tableName)
    : session_(session), tableName_(tableName) {}

TZDBTableCursor::~TZDBTableCursor() = default;

void TZDBTableCursor::AllocateRecordBuffer(int32_t size) {
  ownBuffer_.assign(static_cast<size_t>(std::max(size, 0)), 0);
  recordBuffer_ = ownBuffer_.data();
}

void TZDBTableCursor::SetPosition(const TZDBRecordID& recordID) { SetPosition(recordID, false, false); }

void TZDBTableCursor::SetPosition(const TZDBRecordID& recordID, bool beforeFirst, bool afterLast) {
  recordID_ = recordID;
  beforeFirst_ = beforeFirst;
  afterLast_ = afterLast;
}

void TZDBTableCursor::SetToBegin() { SetPosition({}, true, false); }

void TZDBTableCursor::SetToEnd() { SetPosition({}, false, true); }

void TZDBTableCursor::SetIndexID(int32_t indexID) {
  if (indexID == indexID_) return;
  indexID_ = indexID;
  positionCache_.Clear();
  // The range and an ordered bitmap are in the old index's terms.
  bitmap_.Invalidate();
}

void TZDBTableCursor::SetSearchKey(const uint8_t* keyBuffer, int32_t keyBufferSize, int32_t keyFieldCount) {
  keyBuffer_ = keyBuffer;
  keyBufferSize_ = keyBufferSize;
  keyFieldCount_ = keyFieldCount;
}

void TZDBTableCursor::SetRange(const TZDBRangeKey& start, const TZDBRangeKey& end) {
  rangeStart_ = start;
  rangeEnd_ = end;
  bitmap_.Invalidate();
}

void TZDBTableCursor::ClearRange() { SetRange({}, {}); }

void TZDBTableCursor::AddFilter(std::shared_ptr<const TZDBRowExpression> filter) {
  if (filter) filters_.push_back(std::move(filter));
  bitmap_.Invalidate();
}

void TZDBTableCursor::ClearFilters() {
  filters_.clear();
  bitmap_.Invalidate();
}

void TZDBTableCursor::SetFilterCallback(FilterCallback callback) {
  callback_ = std::move(callback);
  bitmap_.Invalidate();
}

void TZDBTableCursor::SetKeyPrefixStep(int32_t columns) {
  keyPrefixStep_ = std::max(columns, 0);
  bitmap_.Invalidate();
}

bool TZDBTableCursor::IsFiltered() const {
  return !filters_.empty() || static_cast<bool>(callback_) || HasRange() || keyPrefixStep_ > 0;
}

}  // namespace zdb
