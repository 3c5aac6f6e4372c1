// The record bitmap of a filtered cursor: one bit per row, set when the row passes the
// cursor's filter, so that counting and numbering the rows the cursor sees need no
// search.
//
// A bit's number is the row's physical record number (TZDBDiskRecordManager's
// PageNo x RecordsPerPage + slot), or, for a bitmap held in index order (Ordered), the
// row's 0-based position in the cursor's index. The bitmap remembers the table's
// ChangeCount when it was built; it is stale when the table's count has moved since, or
// when it was never built (not Active).
#pragma once

#include <cstdint>
#include <vector>

namespace zdb {

// A growable array of bits.
class TZDBBitsArray {
 public:
  static constexpr int64_t NoBit = -1;

  int64_t Size() const { return size_; }
  // New bits are clear.
  void Resize(int64_t size);
  void Clear();

  bool Get(int64_t bit) const;
  // A bit beyond the size grows the array first.
  void Set(int64_t bit, bool value);
  // Removes the bit; the bits above it move down by one.
  void Erase(int64_t bit);

  int64_t CountSet() const;
  // Set bits below `bit`.
  int64_t CountSetBefore(int64_t bit) const;
  // The number of the n-th set bit (from 0), or NoBit.
  int64_t NthSet(int64_t n) const;
  // The nearest set bit above / below `bit`, or NoBit.
  int64_t NextSet(int64_t bit) const;
  int64_t PriorSet(int64_t bit) const;

 private:
  static constexpr int64_t WordBits = 64;

  std::vector<uint64_t> words_;
  int64_t size_ = 0;
};

class TZDBRecordBitmap {
 public:
  static constexpr int64_t NoBit = TZDBBitsArray::NoBit;

  bool Active() const { return active_; }
  bool Ordered() const { return ordered_; }
  int32_t ChangeCount() const { return changeCount_; }
  bool IsStale(int32_t tableChangeCount) const { return !active_ || changeCount_ != tableChangeCount; }

  // Cleared, sized and active, built for the table at changeCount (the caller marks the
  // passing rows next).
  void Reset(int64_t size, bool ordered, int32_t changeCount);
  // The bitmap is current again at this count (a delete it followed).
  void MarkCurrent(int32_t changeCount) { changeCount_ = changeCount; }
  // Forgets the bits: the next use rebuilds them.
  void Invalidate();

  bool Bit(int64_t number) const { return bits_.Get(number); }
  void SetBit(int64_t number, bool value) { bits_.Set(number, value); }
  // A row left the index: the positions after it move down (ordered bitmaps).
  void RemovePosition(int64_t position) { bits_.Erase(position); }

  int64_t CountSet() const { return bits_.CountSet(); }
  int64_t CountSetBefore(int64_t number) const { return bits_.CountSetBefore(number); }
  int64_t NthSet(int64_t n) const { return bits_.NthSet(n); }
  int64_t NextSet(int64_t number) const { return bits_.NextSet(number); }
  int64_t PriorSet(int64_t number) const { return bits_.PriorSet(number); }

 private:
  TZDBBitsArray bits_;
  bool active_ = false;
  bool ordered_ = false;
  int32_t changeCount_ = 0;
};

}  // namespace zdb
