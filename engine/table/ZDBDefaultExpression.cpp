#include "engine/table/ZDBDefaultExpression.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "engine/base/ZDBValueText.h"
#include "engine/table/ZDBMetaObjectDef.h"

namespace zdb {
namespace {

using Kind = TZDBDefaultExpression::Kind;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNamePart(char c) { return IsNameStart(c) || IsDigit(c); }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

struct Parsed {
  Kind kind = Kind::Literal;
  TZDBVariant literal;
};

// 'text' with '' standing for one quote, and nothing after the closing quote.
std::optional<Parsed> ParseQuoted(std::string_view text) {
  std::string value;
  size_t i = 1;
  for (;;) {
    if (i >= text.size()) return std::nullopt;  // no closing quote
    if (text[i] == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        value += '\'';
        i += 2;
        continue;
      }
      break;
    }
    value += text[i++];
  }
  if (i + 1 != text.size()) return std::nullopt;
  Parsed parsed;
  parsed.literal.SetAsString(value);
  return parsed;
}

// [sign] (digits [. [digits]] | . digits) [e [sign] digits], all of the text.
std::optional<Parsed> ParseNumber(std::string_view text) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t mantissaDigits = digits();
  bool whole = true;
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissaDigits += digits();
    whole = false;
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
    whole = false;
  }
  if (i != text.size()) return std::nullopt;

  Parsed parsed;
  int64_t integer = 0;
  double real = 0;
  if (whole && TryParseInteger(text, INT32_MIN, INT32_MAX, integer))
    parsed.literal.SetAsInteger(static_cast<int32_t>(integer));
  else if (whole && TryParseInteger(text, INT64_MIN, INT64_MAX, integer))
    parsed.literal.SetAsLargeInt(integer);
  else if (TryParseFloat(text, real))
    parsed.literal.SetAsDouble(real);
  else
    return std::nullopt;
  return parsed;
}

// One of the clock functions, optionally with "()"; any other name is a field reference.
std::optional<Parsed> ParseFunction(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsNamePart(text[i])) ++i;
  const std::string_view name = text.substr(0, i);
  std::string_view rest = Trimmed(text.substr(i));
  if (!rest.empty()) {
    if (rest.front() != '(' || rest.back() != ')') return std::nullopt;
    if (!Trimmed(rest.substr(1, rest.size() - 2)).empty()) return std::nullopt;
  }
  struct Function {
    const char* name;
    Kind kind;
  };
  static constexpr Function functions[] = {{"CURRENT_DATE", Kind::CurrentDate},
                                           {"CURRENT_TIME", Kind::CurrentTime},
                                           {"CURRENT_TIMESTAMP", Kind::CurrentTimestamp},
                                           {"NOW", Kind::CurrentTimestamp}};
  for (const Function& function : functions)
    if (SameObjectName(name, function.name)) return Parsed{function.kind, TZDBVariant()};
  return std::nullopt;
}

std::optional<Parsed> Parse(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return std::nullopt;
  if (text.front() == '\'') return ParseQuoted(text);
  if (IsNameStart(text.front())) return ParseFunction(text);
  return ParseNumber(text);
}

}  // namespace

std::unique_ptr<TZDBDefaultExpression> TZDBDefaultExpression::FromDefault(const TZDBVariant& defaultValue) {
  if (defaultValue.IsNull() || !IsStringType(defaultValue.DataType())) return nullptr;
  const std::string text = defaultValue.AsString();
  std::optional<Parsed> parsed = Parse(text);
  if (!parsed) return nullptr;
  std::unique_ptr<TZDBDefaultExpression> expression(
      new TZDBDefaultExpression(parsed->kind, std::move(parsed->literal)));
  const TZDBVariant value = expression->Evaluate();
  if (value.IsNull() || value.AsString() == text) return nullptr;
  return expression;
}

TZDBVariant TZDBDefaultExpression::Evaluate() const { return Evaluate(CurrentLocalTimeStamp()); }

TZDBVariant TZDBDefaultExpression::Evaluate(const TZDBTimeStamp& now) const {
  TZDBVariant value;
  switch (kind_) {
    case Kind::Literal:
      value = literal_;
      break;
    case Kind::CurrentDate:
      value.SetAsDateDayNumber(now.Date);
      break;
    case Kind::CurrentTime:
      value.SetAsTimeMilliseconds(now.Time);
      break;
    case Kind::CurrentTimestamp:
      value.SetAsDateTimeStamp(now);
      break;
  }
  return value;
}

TZDBTimeStamp CurrentLocalTimeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  TZDBTimeStamp stamp;
  TryEncodeDayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, stamp.Date);
  // A leap second (tm_sec 60) is held at the last second of its minute.
  TryEncodeMilliseconds(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                        static_cast<int32_t>(milliseconds < 0 ? 0 : milliseconds), stamp.Time);
  return stamp;
}

}  // namespace zdb
