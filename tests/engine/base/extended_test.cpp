#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/base/ZDBExtended.h"
#include "support/ValueTestSupport.h"

namespace zdb {
namespace {

using testing::Bytes;
using testing::BytesOf;

Bytes ImageOf(const TZDBExtended& value) {
  Bytes bytes(TZDBExtended::ByteSize);
  value.ToBytes(bytes.data());
  return bytes;
}

TZDBExtended Ext(uint64_t significand, uint16_t signExponent) { return {significand, signExponent}; }

uint64_t BitsOf(double value) { return std::bit_cast<uint64_t>(value); }

TEST(Extended, EveryDoubleConvertsExactlyAndBack) {
  struct Case {
    double value;
    Bytes image;
  };
  const Case cases[] = {
      {1.0, BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})},
      {-2.5, BytesOf({0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0})},
      {0.1, BytesOf({0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F})},
      {0.0, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {-0.0, BytesOf({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80})},
      {DBL_MAX, BytesOf({0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x43})},
      {DBL_MIN, BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x3C})},
      // Denormal doubles become normal extended values.
      {std::numeric_limits<double>::denorm_min(), BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B})},
      {std::bit_cast<double>(uint64_t{0x000C000000000000}), BytesOf({0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x3C})},
      {INFINITY, BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})},
      {-INFINITY, BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF})},
      {std::bit_cast<double>(uint64_t{0x7FF8000000000000}), BytesOf({0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F})},
      // A signalling NaN keeps its payload.
      {std::bit_cast<double>(uint64_t{0x7FF0000000000001}), BytesOf({0, 0x08, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const TZDBExtended extended = TZDBExtended::FromDouble(c.value);
    EXPECT_EQ(ImageOf(extended), c.image);
    EXPECT_EQ(BitsOf(TZDBExtended::FromBytes(c.image.data()).ToDouble()), BitsOf(c.value));
  }
}

TEST(Extended, RoundsToNearestDoubleTiesToEven) {
  struct Case {
    TZDBExtended value;
    uint64_t doubleBits;
  };
  const Case cases[] = {
      // 1 + half an ulp: a tie, the even neighbour is 1.
      {Ext(0x8000000000000400, 0x3FFF), 0x3FF0000000000000},
      // 1 + 1 ulp + half an ulp: a tie, the even neighbour is 1 + 2 ulp.
      {Ext(0x8000000000000C00, 0x3FFF), 0x3FF0000000000002},
      // Just above half an ulp: up.
      {Ext(0x8000000000000401, 0x3FFF), 0x3FF0000000000001},
      // Just below: down.
      {Ext(0x80000000000003FF, 0x3FFF), 0x3FF0000000000000},
      // All 64 significand bits set: rounds up into the next power of two.
      {Ext(0xFFFFFFFFFFFFFFFF, 0x3FFF), 0x4000000000000000},
      {Ext(0xFFFFFFFFFFFFFFFF, 0xBFFF), 0xC000000000000000},
      // Around the largest double: below the tie stays, the tie overflows.
      {Ext(0xFFFFFFFFFFFFFBFF, 0x43FE), 0x7FEFFFFFFFFFFFFF},
      {Ext(0xFFFFFFFFFFFFFC00, 0x43FE), 0x7FF0000000000000},
      // Beyond the double range.
      {Ext(0x8000000000000000, 0x7FFE), 0x7FF0000000000000},
      {Ext(0x8000000000000000, 0xFFFE), 0xFFF0000000000000},
      // Gradual underflow: 1.5 x 2^-1075 rounds to the smallest denormal,
      // 2^-1075 is a tie that goes to zero, 2^-1080 is zero.
      {Ext(0xC000000000000000, 0x3BCC), 0x0000000000000001},
      {Ext(0x8000000000000000, 0x3BCC), 0x0000000000000000},
      {Ext(0x8000000000000000, 0xBBCC), 0x8000000000000000},
      {Ext(0x8000000000000000, 0x3BC7), 0x0000000000000000},
      // A denormal that rounds up into the smallest normal.
      {Ext(0xFFFFFFFFFFFFFFFF, 0x3C00), 0x0010000000000000},
      // An extended denormal lies far below every double.
      {Ext(0x0000000000000001, 0x0000), 0x0000000000000000},
      // An unnormal (integer bit clear) is read by its value: 0.5 x 2^1 = 1.
      {Ext(0x4000000000000000, 0x3FFF + 1), 0x3FF0000000000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.value.Significand() << " " << c.value.SignExponent());
    EXPECT_EQ(BitsOf(c.value.ToDouble()), c.doubleBits);
  }
}

TEST(Extended, NaNsStayNaNs) {
  // Payload only in the bits a double cannot keep.
  EXPECT_TRUE(std::isnan(Ext(0x8000000000000001, 0x7FFF).ToDouble()));
  EXPECT_TRUE(std::isnan(Ext(0xC000000000000000, 0xFFFF).ToDouble()));
  EXPECT_TRUE(std::isnan(Ext(0x8000000000000001, 0x7FFF).ToSingle()));
  EXPECT_TRUE(Ext(0x8000000000000001, 0x7FFF).IsNaN());
  EXPECT_FALSE(Ext(0x8000000000000000, 0x7FFF).IsNaN());
}

TEST(Extended, RoundsToSingleOnceNotThroughDouble) {
  // 1 + 2^-24 + 2^-54: above the tie between two floats; through a double the 2^-54
  // would be lost first and the tie would go down to 1.
  const TZDBExtended value = Ext(0x8000008000000200, 0x3FFF);
  EXPECT_EQ(std::bit_cast<uint32_t>(value.ToSingle()), 0x3F800001u);
  EXPECT_EQ(std::bit_cast<uint32_t>(static_cast<float>(value.ToDouble())), 0x3F800000u);
  // Overflow and underflow of the single range.
  EXPECT_TRUE(std::isinf(TZDBExtended::FromDouble(1e39).ToSingle()));
  EXPECT_EQ(std::bit_cast<uint32_t>(TZDBExtended::FromDouble(1e-46).ToSingle()), 0u);
  EXPECT_EQ(std::bit_cast<uint32_t>(TZDBExtended::FromDouble(-1e-45).ToSingle()), 0x80000001u);
}

TEST(Extended, Int64ConvertsExactlyAndTruncates) {
  const int64_t integers[] = {0, 1, -1, INT64_MAX, INT64_MIN, (int64_t{1} << 53) + 1, -((int64_t{1} << 62) + 3)};
  for (int64_t n : integers) {
    int64_t back = 0;
    ASSERT_TRUE(TZDBExtended::FromInt64(n).ToInt64(back)) << n;
    EXPECT_EQ(back, n);
  }
  EXPECT_EQ(ImageOf(TZDBExtended::FromInt64(INT64_MIN)), BytesOf({0, 0, 0, 0, 0, 0, 0, 0x80, 0x3E, 0xC0}));
  // 2^53 + 1 has no double but is exact here.
  EXPECT_EQ(TZDBExtended::FromInt64((int64_t{1} << 53) + 1).ToDouble(), 9007199254740992.0);

  struct Truncation {
    double value;
    int64_t expected;
  };
  for (const auto& t : {Truncation{2.9, 2}, Truncation{-2.9, -2}, Truncation{0.999, 0}, Truncation{-0.5, 0},
                        Truncation{-9223372036854775808.0, INT64_MIN}}) {
    int64_t whole = 99;
    ASSERT_TRUE(TZDBExtended::FromDouble(t.value).ToInt64(whole)) << t.value;
    EXPECT_EQ(whole, t.expected);
  }
  int64_t unused = 0;
  EXPECT_FALSE(TZDBExtended::FromDouble(9223372036854775808.0).ToInt64(unused));
  EXPECT_FALSE(TZDBExtended::FromDouble(-1e19).ToInt64(unused));
  EXPECT_FALSE(TZDBExtended::FromDouble(NAN).ToInt64(unused));
  EXPECT_FALSE(TZDBExtended::FromDouble(INFINITY).ToInt64(unused));
  // 2^63 - 0.5: a double cannot hold it, the truncation is INT64_MAX.
  int64_t top = 0;
  ASSERT_TRUE(Ext(0xFFFFFFFFFFFFFFFF, 0x3FFF + 62).ToInt64(top));
  EXPECT_EQ(top, INT64_MAX);
}

TEST(Extended, ComparesByValue) {
  // Ascending; neighbours differ, some only in bits a double cannot hold.
  const std::vector<TZDBExtended> ascending = {
      TZDBExtended::FromDouble(-INFINITY),
      Ext(0x8000000000000000, 0xFFFE),  // -2^16383
      TZDBExtended::FromDouble(-1.0),
      Ext(0x0000000000000001, 0x8000),  // the negative extended denormal
      TZDBExtended::FromDouble(0.0),
      Ext(0x0000000000000001, 0x0000),
      TZDBExtended::FromDouble(std::numeric_limits<double>::denorm_min()),
      TZDBExtended::FromDouble(1.0),
      Ext(0x8000000000000001, 0x3FFF),  // 1 + 2^-63
      TZDBExtended::FromDouble(2.0),
      TZDBExtended::FromDouble(DBL_MAX),
      Ext(0x8000000000000000, 0x7FFE),
      TZDBExtended::FromDouble(INFINITY),
  };
  for (size_t i = 0; i < ascending.size(); ++i)
    for (size_t j = 0; j < ascending.size(); ++j)
      EXPECT_EQ(ascending[i].Compare(ascending[j]), i < j ? -1 : (i > j ? 1 : 0)) << i << " " << j;

  EXPECT_EQ(TZDBExtended::FromDouble(-0.0).Compare(TZDBExtended::FromDouble(0.0)), 0);
  // An unnormal equals the normal form of its value.
  EXPECT_EQ(Ext(0x4000000000000000, 0x4000).Compare(TZDBExtended::FromDouble(1.0)), 0);
  const TZDBExtended nan = TZDBExtended::FromDouble(NAN);
  for (const auto& x : ascending) {
    EXPECT_EQ(nan.Compare(x), 0);
    EXPECT_EQ(x.Compare(nan), 0);
  }
}

}  // namespace
}  // namespace zdb
