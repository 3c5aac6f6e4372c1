// The conditions a search of the table data tests rows against.
//
// A condition is either an expression evaluated against a row in a record buffer (a
// filter of the cursor, the condition of a Locate; their language lives above this
// layer and only needs to answer true or false here), or a key condition: a comparison
// operator, a key buffer laid out like a record buffer, how many leading columns of an
// index take part, and that index's ObjectID. A key condition holds for a row when the
// index's key of the row compared with the key buffer satisfies the operator (in index
// order, so descending columns reverse it).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/index/ZDBIndexSearch.h"

namespace zdb {

class TZDBRowExpression {
 public:
  virtual ~TZDBRowExpression() = default;
  virtual bool Evaluate(const uint8_t* recordBuffer) const = 0;
};

struct TZDBScanSearchCondition {
  static constexpr int32_t NoIndex = -1;

  // Set for an expression condition; the key fields below are unused then.
  std::shared_ptr<const TZDBRowExpression> Expression;
  TZDBSearchOperator ComparisonType = TZDBSearchOperator::Equal;
  const uint8_t* KeyBuffer = nullptr;
  int32_t KeyBufferSize = 0;
  int32_t KeyFieldCount = 0;
  int32_t IndexID = NoIndex;

  bool IsKeyCondition() const { return Expression == nullptr; }
  // The operator on which a forward walk along the index can start, and where a
  // backward walk can start.
  bool BoundsFromBelow() const;
  bool BoundsFromAbove() const;
};

class TZDBScanSearchConditionArray {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Add(TZDBScanSearchCondition condition) { items_.push_back(std::move(condition)); }
  // 10382 "Invalid condition number = %d, count = %d" outside the array.
  const TZDBScanSearchCondition& Items(int32_t number) const;

  int32_t KeyConditionCount() const;
  bool HasExpressions() const;

 private:
  std::vector<TZDBScanSearchCondition> items_;
};

// Whether a comparison result (the row's key against the condition's key) satisfies the
// operator.
bool SatisfiesOperator(int comparison, TZDBSearchOperator op);

}  // namespace zdb
