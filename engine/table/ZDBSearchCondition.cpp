#include "engine/table/ZDBSearchCondition.h"

#include <algorithm>

#include "engine/base/ZDBException.h"

namespace zdb {

bool TZDBScanSearchCondition::BoundsFromBelow() const {
  return ComparisonType == TZDBSearchOperator::Equal || ComparisonType == TZDBSearchOperator::Greater ||
         ComparisonType == TZDBSearchOperator::GreaterOrEqual;
}

bool TZDBScanSearchCondition::BoundsFromAbove() const {
  return ComparisonType == TZDBSearchOperator::Equal || ComparisonType == TZDBSearchOperator::Less ||
         ComparisonType == TZDBSearchOperator::LessOrEqual;
}

const TZDBScanSearchCondition& TZDBScanSearchConditionArray::Items(int32_t number) const {
  if (number < 0 || number >= Count())
    RaiseError(errors::InvalidConditionNumber, {number, Count()});
  return items_[static_cast<size_t>(number)];
}

int32_t TZDBScanSearchConditionArray::KeyConditionCount() const {
  return static_cast<int32_t>(
      std::count_if(items_.begin(), items_.end(), [](const auto& item) { return item.IsKeyCondition(); }));
}

bool TZDBScanSearchConditionArray::HasExpressions() const {
  return std::any_of(items_.begin(), items_.end(), [](const auto& item) { return !item.IsKeyCondition(); });
}

bool SatisfiesOperator(int comparison, TZDBSearchOperator op) {
  switch (op) {
    case TZDBSearchOperator::Equal:
      return comparison == 0;
    case TZDBSearchOperator::Less:
      return comparison < 0;
    case TZDBSearchOperator::Greater:
      return comparison > 0;
    case TZDBSearchOperator::LessOrEqual:
      return comparison <= 0;
    case TZDBSearchOperator::GreaterOrEqual:
      return comparison >= 0;
    case TZDBSearchOperator::None:
      return true;
  }
  return false;
}

}  // namespace zdb
