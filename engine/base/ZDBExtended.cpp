#include "engine/base/ZDBExtended.h"

#include <bit>
#include <climits>

#include "engine/base/ZDBEndian.h"

namespace zdb {
namespace {

constexpr uint16_t MaxBiasedExponent = 0x7FFF;

// The shape of an IEEE binary format as the rounding below needs it.
struct BinaryFormat {
  int32_t fractionBits;  // 52 for double, 23 for float
  int32_t exponentBias;  // 1023, 127
};
constexpr BinaryFormat DoubleFormat{52, 1023};
constexpr BinaryFormat SingleFormat{23, 127};

constexpr int32_t DoubleFractionShift = 63 - DoubleFormat.fractionBits;  // 11
constexpr uint64_t DoubleFractionMask = (1ULL << DoubleFormat.fractionBits) - 1;
constexpr uint64_t DoubleQuietBit = 1ULL << (DoubleFormat.fractionBits - 1);
constexpr uint64_t DoubleSignBit = 1ULL << 63;
constexpr uint32_t DoubleExponentAllOnes = 0x7FF;

// v / 2^shift rounded to nearest, ties to even; any shift >= 0.
uint64_t ShiftRightRoundingEven(uint64_t v, int32_t shift) {
  if (shift == 0) return v;
  if (shift > 64) return 0;  // below half of the last place
  if (shift == 64) return v > TZDBExtended::IntegerBit ? 1 : 0;  // a tie goes to 0, the even side
  const uint64_t quotient = v >> shift;
  const uint64_t remainder = v & ((1ULL << shift) - 1);
  const uint64_t half = 1ULL << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) return quotient + 1;
  return quotient;
}

// A finite nonzero magnitude: significand (top bit set) × 2^(exponent - 63).
struct Normalized {
  uint64_t significand;
  int32_t exponent;  // unbiased exponent of the top bit
};

Normalized Normalize(uint64_t significand, uint16_t biasedExponent) {
  // A biased exponent of 0 (denormal) scales like 1; unnormals are taken at face value.
  const int32_t scale = (biasedExponent == 0 ? 1 : biasedExponent) - TZDBExtended::ExponentBias;
  const int leadingZeros = std::countl_zero(significand);
  return {significand << leadingZeros, scale - leadingZeros};
}

// The IEEE bits (without sign) of a normalized magnitude, rounded once.
uint64_t RoundToBinary(const Normalized& value, const BinaryFormat& format) {
  const uint64_t infinityBits = static_cast<uint64_t>(2 * format.exponentBias + 1) << format.fractionBits;
  if (value.exponent > format.exponentBias) return infinityBits;
  const int32_t minNormalExponent = 1 - format.exponentBias;
  int32_t shift = 63 - format.fractionBits;
  uint64_t exponentField = 0;
  if (value.exponent >= minNormalExponent)
    exponentField = static_cast<uint64_t>(value.exponent + format.exponentBias - 1);
  else
    shift += minNormalExponent - value.exponent;
  // The significand keeps its leading 1 at the fraction's top, so adding it to
  // (exponent - 1) yields the right field; a carry out of the fraction (rounding up to
  // the next power of two, or a denormal becoming normal) lands in the exponent by itself.
  const uint64_t bits = (exponentField << format.fractionBits) + ShiftRightRoundingEven(value.significand, shift);
  return bits >= infinityBits ? infinityBits : bits;
}

}  // namespace

TZDBExtended TZDBExtended::FromBytes(const uint8_t* bytes) {
  return {le::GetU64(bytes + SignificandOffset), le::GetU16(bytes + SignExponentOffset)};
}

void TZDBExtended::ToBytes(uint8_t* bytes) const {
  le::PutU64(bytes + SignificandOffset, significand_);
  le::PutU16(bytes + SignExponentOffset, signExponent_);
}

TZDBExtended TZDBExtended::FromDouble(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const uint16_t sign = (bits & DoubleSignBit) != 0 ? SignBit : 0;
  const uint32_t exponent = static_cast<uint32_t>(bits >> DoubleFormat.fractionBits) & DoubleExponentAllOnes;
  const uint64_t fraction = bits & DoubleFractionMask;
  if (exponent == DoubleExponentAllOnes)  // infinities and NaNs keep their payload
    return {IntegerBit | (fraction << DoubleFractionShift), static_cast<uint16_t>(sign | MaxBiasedExponent)};
  if (exponent == 0) {
    if (fraction == 0) return {0, sign};
    // A denormal double is a normal extended: fraction × 2^-1074, normalized.
    const int leadingZeros = std::countl_zero(fraction);
    const int32_t biased = ExponentBias + 63 - 1074 - leadingZeros;
    return {fraction << leadingZeros, static_cast<uint16_t>(sign | biased)};
  }
  const int32_t biased = static_cast<int32_t>(exponent) - DoubleFormat.exponentBias + ExponentBias;
  return {IntegerBit | (fraction << DoubleFractionShift), static_cast<uint16_t>(sign | biased)};
}

TZDBExtended TZDBExtended::FromInt64(int64_t value) {
  if (value == 0) return {};
  const uint16_t sign = value < 0 ? SignBit : 0;
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const int leadingZeros = std::countl_zero(magnitude);
  return {magnitude << leadingZeros, static_cast<uint16_t>(sign | (ExponentBias + 63 - leadingZeros))};
}

bool TZDBExtended::IsNaN() const {
  return (signExponent_ & ExponentMask) == MaxBiasedExponent && (significand_ & ~IntegerBit) != 0;
}

bool TZDBExtended::IsInfinite() const {
  return (signExponent_ & ExponentMask) == MaxBiasedExponent && (significand_ & ~IntegerBit) == 0;
}

bool TZDBExtended::IsZero() const { return significand_ == 0 && (signExponent_ & ExponentMask) != MaxBiasedExponent; }

double TZDBExtended::ToDouble() const {
  const uint64_t sign = IsNegative() ? DoubleSignBit : 0;
  const uint64_t infinityBits = static_cast<uint64_t>(DoubleExponentAllOnes) << DoubleFormat.fractionBits;
  if (IsInfinite()) return std::bit_cast<double>(sign | infinityBits);
  if (IsNaN()) {
    // Keep the top of the payload; a payload that lives only in the dropped low bits
    // still has to stay a NaN.
    uint64_t fraction = (significand_ >> DoubleFractionShift) & DoubleFractionMask;
    if (fraction == 0) fraction = DoubleQuietBit;
    return std::bit_cast<double>(sign | infinityBits | fraction);
  }
  if (significand_ == 0) return std::bit_cast<double>(sign);
  const Normalized value = Normalize(significand_, signExponent_ & ExponentMask);
  return std::bit_cast<double>(sign | RoundToBinary(value, DoubleFormat));
}

float TZDBExtended::ToSingle() const {
  if (IsNaN() || IsInfinite()) return static_cast<float>(ToDouble());  // exact for these
  const uint32_t sign = IsNegative() ? 0x80000000U : 0;
  if (significand_ == 0) return std::bit_cast<float>(sign);
  const Normalized value = Normalize(significand_, signExponent_ & ExponentMask);
  return std::bit_cast<float>(sign | static_cast<uint32_t>(RoundToBinary(value, SingleFormat)));
}

bool TZDBExtended::ToInt64(int64_t& result) const {
  if (IsNaN() || IsInfinite()) return false;
  if (significand_ == 0) {
    result = 0;
    return true;
  }
  const Normalized value = Normalize(significand_, signExponent_ & ExponentMask);
  if (value.exponent < 0) {
    result = 0;
    return true;
  }
  if (value.exponent > 63) return false;
  const uint64_t magnitude = value.significand >> (63 - value.exponent);
  if (IsNegative()) {
    if (magnitude > (1ULL << 63)) return false;
    result = static_cast<int64_t>(0 - magnitude);
  } else {
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    result = static_cast<int64_t>(magnitude);
  }
  return true;
}

int TZDBExtended::Compare(const TZDBExtended& other) const {
  if (IsNaN() || other.IsNaN()) return 0;
  const bool zero = IsZero();
  const bool otherZero = other.IsZero();
  if (zero && otherZero) return 0;
  // -1 for negative, 0 for zero, +1 for positive: settles every pair of different signs.
  const int sign = zero ? 0 : (IsNegative() ? -1 : 1);
  const int otherSign = otherZero ? 0 : (other.IsNegative() ? -1 : 1);
  if (sign != otherSign) return sign < otherSign ? -1 : 1;
  // Same sign, both nonzero: compare magnitudes, infinity above every finite value.
  auto magnitude = [](const TZDBExtended& x) {
    if (x.IsInfinite()) return Normalized{0, INT32_MAX};
    return Normalize(x.significand_, x.signExponent_ & ExponentMask);
  };
  const Normalized a = magnitude(*this);
  const Normalized b = magnitude(other);
  int order = 0;
  if (a.exponent != b.exponent)
    order = a.exponent < b.exponent ? -1 : 1;
  else if (a.significand != b.significand)
    order = a.significand < b.significand ? -1 : 1;
  return sign < 0 ? -order : order;
}

}  // namespace zdb
