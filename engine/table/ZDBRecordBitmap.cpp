#include "engine/table/ZDBRecordBitmap.h"

#include <algorithm>
#include <bit>

namespace zdb {
namespace {

constexpr uint64_t One = 1;

// Mask of the bits below `count` in a word.
uint64_t LowBits(int64_t count) { return count >= 64 ? ~uint64_t{0} : (One << count) - 1; }

}  // namespace

void TZDBBitsArray::Resize(int64_t size) {
  size = std::max<int64_t>(size, 0);
  words_.resize(static_cast<size_t>((size + WordBits - 1) / WordBits), 0);
  // Bits beyond the new size must read as clear if the array grows again.
  if (size % WordBits != 0 && !words_.empty()) words_.back() &= LowBits(size % WordBits);
  size_ = size;
}

void TZDBBitsArray::Clear() {
  words_.clear();
  size_ = 0;
}

bool TZDBBitsArray::Get(int64_t bit) const {
  if (bit < 0 || bit >= size_) return false;
  return (words_[static_cast<size_t>(bit / WordBits)] >> (bit % WordBits) & One) != 0;
}

void TZDBBitsArray::Set(int64_t bit, bool value) {
  if (bit < 0) return;
  if (bit >= size_) {
    if (!value) return;
    Resize(bit + 1);
  }
  uint64_t& word = words_[static_cast<size_t>(bit / WordBits)];
  const uint64_t mask = One << (bit % WordBits);
  word = value ? word | mask : word & ~mask;
}

void TZDBBitsArray::Erase(int64_t bit) {
  if (bit < 0 || bit >= size_) return;
  const size_t first = static_cast<size_t>(bit / WordBits);
  const int64_t offset = bit % WordBits;
  // In the first word, the bits below the erased one stay; those above shift down.
  const uint64_t keep = words_[first] & LowBits(offset);
  uint64_t above = offset + 1 >= WordBits ? 0 : (words_[first] >> (offset + 1)) << offset;
  words_[first] = keep | above;
  for (size_t i = first; i + 1 < words_.size(); ++i) {
    words_[i] |= (words_[i + 1] & One) << (WordBits - 1);
    words_[i + 1] >>= 1;
  }
  Resize(size_ - 1);
}

int64_t TZDBBitsArray::CountSet() const {
  int64_t count = 0;
  for (uint64_t word : words_) count += std::popcount(word);
  return count;
}

int64_t TZDBBitsArray::CountSetBefore(int64_t bit) const {
  bit = std::clamp<int64_t>(bit, 0, size_);
  int64_t count = 0;
  const size_t whole = static_cast<size_t>(bit / WordBits);
  for (size_t i = 0; i < whole; ++i) count += std::popcount(words_[i]);
  if (bit % WordBits != 0) count += std::popcount(words_[whole] & LowBits(bit % WordBits));
  return count;
}

int64_t TZDBBitsArray::NthSet(int64_t n) const {
  if (n < 0) return NoBit;
  for (size_t i = 0; i < words_.size(); ++i) {
    const int64_t inWord = std::popcount(words_[i]);
    if (n >= inWord) {
      n -= inWord;
      continue;
    }
    uint64_t word = words_[i];
    for (int64_t skipped = 0; skipped < n; ++skipped) word &= word - 1;  // drop the lowest set bits
    return static_cast<int64_t>(i) * WordBits + std::countr_zero(word);
  }
  return NoBit;
}

int64_t TZDBBitsArray::NextSet(int64_t bit) const {
  for (int64_t candidate = std::max<int64_t>(bit + 1, 0); candidate < size_;) {
    const uint64_t word = words_[static_cast<size_t>(candidate / WordBits)] >> (candidate % WordBits);
    if (word != 0) return candidate + std::countr_zero(word);
    candidate = (candidate / WordBits + 1) * WordBits;
  }
  return NoBit;
}

int64_t TZDBBitsArray::PriorSet(int64_t bit) const {
  for (int64_t candidate = std::min(bit - 1, size_ - 1); candidate >= 0;) {
    const int64_t offset = candidate % WordBits;
    const uint64_t word = words_[static_cast<size_t>(candidate / WordBits)] & LowBits(offset + 1);
    if (word != 0) return candidate - offset + (WordBits - 1 - std::countl_zero(word));
    candidate -= offset + 1;
  }
  return NoBit;
}

void TZDBRecordBitmap::Reset(int64_t size, bool ordered, int32_t changeCount) {
  bits_.Clear();
  bits_.Resize(size);
  ordered_ = ordered;
  changeCount_ = changeCount;
  active_ = true;
}

void TZDBRecordBitmap::Invalidate() {
  bits_.Clear();
  active_ = false;
}

}  // namespace zdb
