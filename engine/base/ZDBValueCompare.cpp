#include "engine/base/ZDBValueCompare.h"

#include <array>
#include <string>
#include <string_view>

#include "engine/base/ZDBCollation.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBValueConvert.h"
#include "engine/base/ZDBValueView.h"

namespace zdb {
namespace {

using T = TZDBStorageType;

// Rows: the first operand's type, columns: the second's, both 1..24; 0 = no common type.
// Signed SHORTINT and SMALLINT meet WORD in INTEGER and CARDINAL in LARGEINT in either
// order, and CURRENCY meets SINGLE in CURRENCY and EXTENDED in EXTENDED in either order:
// a narrower meeting type would turn negative numbers into large ones or drop digits,
// and the order of two values would then depend on which one is written first.
constexpr std::array<std::array<uint8_t, MaxStorageTypeCode>, MaxStorageTypeCode> CommonTypes = {{
    { 1,  2,  3,  4,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  1,  2,  1,  1,  0,  0},  // 1
    { 2,  2,  2,  4,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  0,  2,  2,  2,  2,  0,  0},  // 2
    { 3,  2,  3,  4,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  0,  3,  4,  3,  3,  0,  0},  // 3
    { 4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  0,  4,  4,  4,  4,  0,  0},  // 4
    { 1,  2,  3,  4,  5,  6,  7,  8,  6,  7,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  5, 22,  0,  0},  // 5
    { 1,  2,  3,  4,  6,  6,  7,  8,  6,  7,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  6, 22,  0,  0},  // 6
    { 1,  2,  3,  4,  7,  7,  7,  8,  7,  7,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  7, 22,  0,  0},  // 7
    { 1,  2,  3,  4,  8,  8,  8,  8,  8,  8,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  8, 22,  0,  0},  // 8
    { 1,  2,  3,  4,  6,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  9, 22,  0,  0},  // 9
    { 1,  2,  3,  4,  7,  7,  7,  8, 10, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0, 10, 22,  0,  0},  // 10
    { 1,  2,  3,  4,  8,  8,  8,  8, 11, 11, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0, 11, 22,  0,  0},  // 11
    { 1,  2,  3,  4, 12, 12, 12, 12, 12, 12, 12, 12, 13, 14, 15, 16, 17,  0,  0,  0, 12, 22,  0,  0},  // 12
    { 1,  2,  3,  4, 13, 13, 13, 13, 13, 13, 13, 13, 13, 14, 15, 16, 17,  0,  0,  0, 13, 22,  0,  0},  // 13
    { 1,  2,  3,  4, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 15, 16, 17,  0,  0,  0, 14, 14,  0,  0},  // 14
    { 1,  2,  3,  4, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 17, 17,  0,  0,  0,  0,  0,  0,  0},  // 15
    { 1,  2,  3,  4, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17,  0,  0,  0,  0,  0,  0,  0},  // 16
    { 1,  2,  3,  4, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17,  0,  0,  0,  0,  0,  0,  0},  // 17
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 18
    { 1,  2,  3,  4,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  1,  2,  0,  0,  0,  0},  // 19
    { 2,  2,  4,  4,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  2,  2,  0,  0,  0,  0},  // 20
    { 1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14,  0,  0,  0,  0,  0,  0, 21,  0,  0,  0},  // 21
    { 1,  2,  3,  4, 22, 22, 22, 22, 22, 22, 22, 22, 13, 14,  0,  0,  0,  0,  0,  0,  0, 22,  0,  0},  // 22
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 23
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // 24
}};

template <typename N>
int Order(N a, N b) {
  return a < b ? CompareLess : (b < a ? CompareGreater : CompareEqual);
}

// Floating values: equal unless one is less or greater, so a NaN equals everything.
template <typename N>
int FloatOrder(N a, N b) {
  if (a < b) return CompareLess;
  if (a > b) return CompareGreater;
  return CompareEqual;
}

int FromSign(int sign) { return sign < 0 ? CompareLess : (sign > 0 ? CompareGreater : CompareEqual); }

// The first prefixLength characters, or all of them when prefixLength < 0.
template <typename Char>
std::basic_string_view<Char> Prefix(std::basic_string_view<Char> text, int32_t prefixLength) {
  if (prefixLength >= 0 && text.size() > static_cast<size_t>(prefixLength))
    return text.substr(0, static_cast<size_t>(prefixLength));
  return text;
}

int CompareSameType(const TZDBValueView& a, const TZDBValueView& b, T type, bool ignoreCase, int32_t prefixLength) {
  switch (type) {
    case T::Char:
    case T::String:
    case T::Bytes:
      return FromSign(
          CompareAnsiText(Prefix<char>(a.AnsiText(), prefixLength), Prefix<char>(b.AnsiText(), prefixLength), ignoreCase));
    case T::WideChar:
    case T::WideString:
    {
      const std::u16string x = a.WideText(), y = b.WideText();
      return FromSign(CompareWideText(Prefix<char16_t>(x, prefixLength), Prefix<char16_t>(y, prefixLength), ignoreCase));
    }
    case T::ShortInt:
      return Order(a.ShortInt(), b.ShortInt());
    case T::SmallInt:
      return Order(a.SmallInt(), b.SmallInt());
    case T::Integer:
    case T::Date:
    case T::Time:
      return Order(a.Integer(), b.Integer());
    case T::LargeInt:
      return Order(a.LargeInt(), b.LargeInt());
    case T::Byte:
      return Order(a.Byte(), b.Byte());
    case T::Word:
      return Order(a.Word(), b.Word());
    case T::Cardinal:
      return Order(a.Cardinal(), b.Cardinal());
    case T::DateTime: {
      const TZDBTimeStamp x = a.TimeStamp(), y = b.TimeStamp();
      return x.Date != y.Date ? Order(x.Date, y.Date) : Order(x.Time, y.Time);
    }
    case T::Single:
      return FloatOrder(a.Single(), b.Single());
    case T::Float:
    case T::Currency:
      return FloatOrder(a.Float(), b.Float());
    case T::Extended:
      return FromSign(a.Extended().Compare(b.Extended()));
    case T::Logical:
      return Order(a.Logical(), b.Logical());
    default:
      RaiseError(errors::UnorderedColumn, {StorageTypeName(type)});
  }
}

}  // namespace

TZDBStorageType CommonType(TZDBStorageType a, TZDBStorageType b, bool datePreference) {
  if (!IsKnownStorageType(a) || !IsKnownStorageType(b)) return T::None;
  if (datePreference) {
    if (IsStringType(a) && IsDateTimeType(b)) return b;
    if (IsDateTimeType(a) && IsStringType(b)) return a;
  }
  return static_cast<T>(CommonTypes[StorageTypeCode(a) - 1][StorageTypeCode(b) - 1]);
}

int CompareValues(const void* a, const void* b, TZDBStorageType typeA, TZDBStorageType typeB, bool ignoreCase,
                  int32_t prefixLength, bool aIsNull, bool bIsNull, int32_t sizeA, int32_t sizeB) {
  if (aIsNull || bIsNull) return aIsNull && bIsNull ? CompareBothNull : (aIsNull ? CompareFirstNull : CompareSecondNull);

  T type = typeA;
  TZDBValueBytes convertedA, convertedB;  // released on every path
  if (typeA != typeB || typeA == T::Memo || typeA == T::WideMemo) {
    type = CommonType(typeA, typeB, true);
    if (type == T::None)
      RaiseError(errors::IncompatibleTypes, {StorageTypeName(typeA), StorageTypeName(typeB)});
    if (a != nullptr && typeA != type) {
      convertedA = ConvertValue(a, sizeA, typeA, type);
      a = convertedA.data();
      sizeA = static_cast<int32_t>(convertedA.size());
    }
    if (b != nullptr && typeB != type) {
      convertedB = ConvertValue(b, sizeB, typeB, type);
      b = convertedB.data();
      sizeB = static_cast<int32_t>(convertedB.size());
    }
  }
  if (a == nullptr || b == nullptr) RaiseError(errors::MissingValue);
  return CompareSameType(TZDBValueView(a, sizeA), TZDBValueView(b, sizeB), type, ignoreCase, prefixLength);
}

int CompareResultToOrder(int resultCode) {
  switch (resultCode) {
    case CompareLess:
    case CompareFirstNull:
      return -1;
    case CompareGreater:
    case CompareSecondNull:
      return 1;
    default:
      return 0;
  }
}

}  // namespace zdb
