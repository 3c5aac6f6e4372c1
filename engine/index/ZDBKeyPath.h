// The position of one entry of a B-tree: the pages from the root down to the leaf, and
// for each level the entry number taken and the page's entry count at that moment.
//
// A path is a value (copied freely) and only meaningful while the pages it names have not
// changed; callers that keep one (position caches) pair it with the table's change
// counter. It also encodes as one 64-bit number that keeps only the entry numbers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zdb {

struct TZDBKeyPathLevel {
  int32_t PageNo = -1;
  int32_t EntryNo = 0;
  int32_t EntryCount = 0;

  bool operator==(const TZDBKeyPathLevel&) const = default;
};

class TZDBKeyPath {
 public:
  static constexpr int32_t MaxLevels = 32;

  void Clear() {
    levelCount_ = 0;
    currentLevel_ = 0;
  }
  void Assign(const TZDBKeyPath& other) { *this = other; }
  // Appends a level and makes it the current one. 20056 "Buffer size exceeded" beyond
  // MaxLevels (a tree that deep is damaged).
  void Push(int32_t pageNo, int32_t entryNo, int32_t entryCount);
  // Removes the last level.
  void Pop();

  bool Empty() const { return levelCount_ == 0; }
  int32_t LevelCount() const { return levelCount_; }
  int32_t CurrentLevel() const { return currentLevel_; }
  void SetCurrentLevel(int32_t level) { currentLevel_ = level; }
  TZDBKeyPathLevel& Level(int32_t i) { return levels_[static_cast<size_t>(i)]; }
  const TZDBKeyPathLevel& Level(int32_t i) const { return levels_[static_cast<size_t>(i)]; }
  TZDBKeyPathLevel& Leaf() { return levels_[static_cast<size_t>(levelCount_ - 1)]; }
  const TZDBKeyPathLevel& Leaf() const { return levels_[static_cast<size_t>(levelCount_ - 1)]; }

  // -1, 0, +1 by entry numbers from the root down. 20051 for paths of different depth,
  // 20052 when a level names different pages: "Invalid index key path".
  static int ComparePaths(const TZDBKeyPath& a, const TZDBKeyPath& b);

  // The share of the tree that lies before the entry, in [0, 1), taking every page as
  // equally filled.
  double RelativePosition() const;

  // The path as one number in base (pageDataSize div (keySize + 4)) + 1, one digit per
  // level (entry number + 1), the root's digit most significant.
  int64_t Encode(int32_t pathBase) const;
  // The path of such a number: entry numbers only (page -1, count 0).
  static TZDBKeyPath Decode(int64_t number, int32_t pathBase);

  bool operator==(const TZDBKeyPath& other) const;

 private:
  std::array<TZDBKeyPathLevel, MaxLevels> levels_{};
  int32_t levelCount_ = 0;
  int32_t currentLevel_ = 0;
};

}  // namespace zdb
