// The bits array of record bitmaps against a plain vector of booleans, across word
// boundaries, with erasures shifting the bits above.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/table/ZDBRecordBitmap.h"

namespace zdb {
namespace {

int64_t ModelNthSet(const std::vector<bool>& model, int64_t n) {
  for (size_t i = 0; i < model.size(); ++i)
    if (model[i] && n-- == 0) return static_cast<int64_t>(i);
  return TZDBBitsArray::NoBit;
}

TEST(TableDataBitmap, BitsArrayMatchesAModel) {
  std::mt19937 random(11);
  TZDBBitsArray bits;
  std::vector<bool> model;
  for (int step = 0; step < 4000; ++step) {
    const int64_t size = static_cast<int64_t>(model.size());
    const int64_t bit = static_cast<int64_t>(random() % 300);
    switch (random() % 4) {
      case 0:
      case 1: {
        const bool value = random() % 3 != 0;
        bits.Set(bit, value);
        if (bit >= size && value) model.resize(static_cast<size_t>(bit + 1), false);
        if (bit < static_cast<int64_t>(model.size())) model[static_cast<size_t>(bit)] = value;
        break;
      }
      case 2:
        if (bit < size) {
          bits.Erase(bit);
          model.erase(model.begin() + bit);
        }
        break;
      default:
        bits.Resize(bit);
        model.resize(static_cast<size_t>(bit), false);
        break;
    }
    ASSERT_EQ(bits.Size(), static_cast<int64_t>(model.size())) << "step " << step;
    const int64_t probe = static_cast<int64_t>(random() % 310);
    ASSERT_EQ(bits.Get(probe), probe < static_cast<int64_t>(model.size()) && model[static_cast<size_t>(probe)]);
    int64_t before = 0;
    for (int64_t i = 0; i < std::min<int64_t>(probe, static_cast<int64_t>(model.size())); ++i)
      before += model[static_cast<size_t>(i)] ? 1 : 0;
    ASSERT_EQ(bits.CountSetBefore(probe), before) << "step " << step;
    ASSERT_EQ(bits.NthSet(before), ModelNthSet(model, before));
    int64_t next = TZDBBitsArray::NoBit;
    for (int64_t i = probe + 1; i < static_cast<int64_t>(model.size()); ++i)
      if (model[static_cast<size_t>(i)]) {
        next = i;
        break;
      }
    ASSERT_EQ(bits.NextSet(probe), next);
    int64_t prior = TZDBBitsArray::NoBit;
    for (int64_t i = std::min<int64_t>(probe, static_cast<int64_t>(model.size())) - 1; i >= 0; --i)
      if (model[static_cast<size_t>(i)]) {
        prior = i;
        break;
      }
    ASSERT_EQ(bits.PriorSet(probe), prior);
  }
}

TEST(TableDataBitmap, StaleUntilBuiltAndWhenTheTableMoves) {
  TZDBRecordBitmap bitmap;
  EXPECT_TRUE(bitmap.IsStale(0));
  bitmap.Reset(10, false, 5);
  EXPECT_FALSE(bitmap.IsStale(5));
  EXPECT_TRUE(bitmap.IsStale(6));
  bitmap.MarkCurrent(6);
  EXPECT_FALSE(bitmap.IsStale(6));
  bitmap.Invalidate();
  EXPECT_TRUE(bitmap.IsStale(6));
}

}  // namespace
}  // namespace zdb
