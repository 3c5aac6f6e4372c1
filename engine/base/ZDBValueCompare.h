// The two rules every comparison of values goes through: CommonType brings two storage
// types to one, CompareValues orders two values with NULL first.
#pragma once

#include <cstdint>

#include "engine/base/ZDBStorageType.h"

namespace zdb {

// Result codes of CompareValues.
enum TZDBCompareResult : int {
  CompareEqual = 0,
  CompareLess = 1,
  CompareGreater = 2,
  CompareFirstNull = 3,   // only a is NULL
  CompareSecondNull = 4,  // only b is NULL
  CompareBothNull = 5,
};

// The storage type both operands are brought to, or None when they do not meet.
// datePreference (comparisons): text against DATE, TIME or DATETIME meets in the date
// type; without it (arithmetic) in the text type. The pairs meet in the same type in
// either order, except FLOAT and CURRENCY, which meet in the left operand's type (both
// are doubles, so only an arithmetic result's type depends on it).
TZDBStorageType CommonType(TZDBStorageType a, TZDBStorageType b, bool datePreference);

// Orders two values given as bytes and types. A NULL operand's bytes are not looked at.
// Otherwise equal types other than MEMO and WIDEMEMO compare as they are, and other
// pairs are first converted to CommonType (30044 when there is none).
//   text (CHAR, STRING, BYTES; WIDECHAR, WIDESTRING): the default locale's collation
//     (ZDBCollation.h); prefixLength >= 0 compares only the first prefixLength
//     characters of each side
//   integers, DATE, TIME: numeric; DATETIME: date, then time
//   SINGLE, FLOAT, EXTENDED, CURRENCY: numeric, a NaN equal to everything
//   LOGICAL: false < true, all true values equal
//   other types (BLOB, VARBYTES ...): 30047
// Sizes of -1 mean row form (ZDBValueView.h); MEMO and WIDEMEMO need their size.
int CompareValues(const void* a, const void* b, TZDBStorageType typeA, TZDBStorageType typeB, bool ignoreCase,
                  int32_t prefixLength, bool aIsNull, bool bIsNull, int32_t sizeA = -1, int32_t sizeB = -1);

// The three-way form of a result code: -1 for less and "only a NULL", +1 for greater and
// "only b NULL", 0 otherwise.
int CompareResultToOrder(int resultCode);

}  // namespace zdb
