#include "engine/index/ZDBKeyPath.h"

#include <algorithm>
#include <vector>

#include "engine/base/ZDBException.h"

namespace zdb {

void TZDBKeyPath::Push(int32_t pageNo, int32_t entryNo, int32_t entryCount) {
  if (levelCount_ >= MaxLevels) RaiseError(errors::BufferSizeExceeded);
  levels_[static_cast<size_t>(levelCount_)] = {pageNo, entryNo, entryCount};
  currentLevel_ = levelCount_;
  ++levelCount_;
}

void TZDBKeyPath::Pop() {
  if (levelCount_ == 0) return;
  --levelCount_;
  currentLevel_ = std::max(levelCount_ - 1, 0);
}

int TZDBKeyPath::ComparePaths(const TZDBKeyPath& a, const TZDBKeyPath& b) {
  if (a.levelCount_ != b.levelCount_) RaiseError(errors::PathDepthsDiffer);
  for (int32_t i = 0; i < a.levelCount_; ++i) {
    const TZDBKeyPathLevel& x = a.Level(i);
    const TZDBKeyPathLevel& y = b.Level(i);
    if (x.PageNo != y.PageNo) RaiseError(errors::PathPagesDiffer);
    if (x.EntryNo != y.EntryNo) return x.EntryNo < y.EntryNo ? -1 : 1;
  }
  return 0;
}

double TZDBKeyPath::RelativePosition() const {
  // Horner's scheme from the root: each level refines the share within its parent entry.
  double before = 0.0;
  double total = 1.0;
  for (int32_t i = 0; i < levelCount_; ++i) {
    const TZDBKeyPathLevel& level = Level(i);
    const double count = std::max(level.EntryCount, 1);
    before = before * count + level.EntryNo;
    total *= count;
  }
  return total > 0 ? before / total : 0.0;
}

int64_t TZDBKeyPath::Encode(int32_t pathBase) const {
  int64_t number = 0;
  for (int32_t i = 0; i < levelCount_; ++i) number = number * pathBase + (Level(i).EntryNo + 1);
  return number;
}

TZDBKeyPath TZDBKeyPath::Decode(int64_t number, int32_t pathBase) {
  std::vector<int32_t> digits;
  while (number > 0 && pathBase > 1) {
    digits.push_back(static_cast<int32_t>(number % pathBase));
    number /= pathBase;
  }
  TZDBKeyPath path;
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) path.Push(-1, *digit - 1, 0);
  return path;
}

bool TZDBKeyPath::operator==(const TZDBKeyPath& other) const {
  if (levelCount_ != other.levelCount_ || currentLevel_ != other.currentLevel_) return false;
  return std::equal(levels_.begin(), levels_.begin() + levelCount_, other.levels_.begin());
}

}  // namespace zdb
