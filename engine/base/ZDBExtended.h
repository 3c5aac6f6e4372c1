// The 80-bit extended float of EXTENDED values, kept as its ten bytes and converted by
// bit manipulation, so that the result never depends on what the host's long double is.
//
// Layout (little-endian): bytes 0..7 the 64-bit significand with its explicit integer bit
// (bit 63), bytes 8..9 the sign (bit 15) and the exponent biased by 16383 (bits 0..14).
// Exponent 0x7FFF holds the infinities (significand 0x8000000000000000) and the NaNs.
//
// Every double, float and int64 is exactly representable and converts without loss;
// the way back to double and float rounds to nearest, ties to even, with gradual
// underflow and overflow to infinity, exactly once (never through an intermediate).
#pragma once

#include <cstdint>

namespace zdb {

class TZDBExtended {
 public:
  static constexpr int32_t ByteSize = 10;
  static constexpr int32_t SignificandOffset = 0;
  static constexpr int32_t SignExponentOffset = 8;

  static constexpr int32_t ExponentBias = 16383;
  static constexpr uint16_t ExponentMask = 0x7FFF;
  static constexpr uint16_t SignBit = 0x8000;
  static constexpr uint64_t IntegerBit = 0x8000000000000000ULL;

  TZDBExtended() = default;  // +0
  TZDBExtended(uint64_t significand, uint16_t signExponent)
      : significand_(significand), signExponent_(signExponent) {}

  static TZDBExtended FromBytes(const uint8_t* bytes);
  static TZDBExtended FromDouble(double value);
  static TZDBExtended FromInt64(int64_t value);

  void ToBytes(uint8_t* bytes) const;
  double ToDouble() const;
  float ToSingle() const;
  // Truncates toward zero; false for NaN, the infinities and values outside int64.
  bool ToInt64(int64_t& result) const;

  uint64_t Significand() const { return significand_; }
  uint16_t SignExponent() const { return signExponent_; }
  bool IsNegative() const { return (signExponent_ & SignBit) != 0; }
  bool IsNaN() const;
  bool IsInfinite() const;
  bool IsZero() const;  // either sign

  TZDBExtended Negated() const { return {significand_, static_cast<uint16_t>(signExponent_ ^ SignBit)}; }

  // -1, 0, +1 by numeric value: -0 equals +0, a NaN equals everything.
  int Compare(const TZDBExtended& other) const;

  bool operator==(const TZDBExtended&) const = default;  // bitwise

 private:
  uint64_t significand_ = 0;
  uint16_t signExponent_ = 0;
};

}  // namespace zdb
