// Default values that are expressions rather than values, such as CURRENT_TIMESTAMP.
//
// The engine has no query language, so this understands exactly what a field default
// needs: the functions CURRENT_DATE, CURRENT_TIME, CURRENT_TIMESTAMP and NOW (letter
// case ignored, an empty "()" allowed), numbers (an optional sign, digits, an optional
// '.' fraction and exponent) and quoted text ('it''s'), with blanks around them. Any
// other name would be a field reference and any other text does not parse; both leave
// the default a plain value.
//
// A text default is an expression when it parses, its value exists and that value, turned
// back into text, differs from the default's own text: "CURRENT_TIMESTAMP" is one, while
// "ABC" (a name) and "42" (evaluates to itself) stay plain defaults.
#pragma once

#include <memory>

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBVariant.h"

namespace zdb {

class TZDBDefaultExpression {
 public:
  enum class Kind : uint8_t { Literal, CurrentDate, CurrentTime, CurrentTimestamp };

  // The expression that the default stands for, or null for a plain default.
  static std::unique_ptr<TZDBDefaultExpression> FromDefault(const TZDBVariant& defaultValue);

  Kind ExpressionKind() const { return kind_; }
  // The value now (the local date and time of the clock).
  TZDBVariant Evaluate() const;
  // The value at the given local date and time.
  TZDBVariant Evaluate(const TZDBTimeStamp& now) const;

 private:
  TZDBDefaultExpression(Kind kind, TZDBVariant literal) : kind_(kind), literal_(std::move(literal)) {}

  Kind kind_;
  TZDBVariant literal_;
};

// The local date and time of the clock, to the millisecond.
TZDBTimeStamp CurrentLocalTimeStamp();

}  // namespace zdb
