#include "engine/base/ZDBException.h"

#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

namespace zdb {
namespace {

constexpr const char* NativeErrorSeparator = " - Native error: ";
constexpr const char* InvalidArgumentsSuffix = " Arguments are invalid!";
constexpr int NumberDefaultDecimals = 2;

std::string FullText(int32_t code, const std::string& message) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%.5d", code);
  return message + NativeErrorSeparator + digits;
}

// One parsed directive: "%" flags width "." precision conversion.
struct Directive {
  std::string flags;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  char conversion = 0;  // as written

  bool LeftJustify() const { return flags.find('-') != std::string::npos; }

  // The directive for snprintf, with the given length modifier and conversion letter.
  std::string CSpec(const char* length, char letter) const {
    std::string spec = "%" + flags;
    if (width >= 0) spec += std::to_string(width);
    if (precision >= 0) spec += "." + std::to_string(precision);
    return spec + length + letter;
  }
};

// Reads a run of digits at format[pos]; false when it is larger than MaxFormatWidth,
// so that a directive cannot ask for an unbounded amount of padding.
bool ReadNumber(const std::string& format, size_t& pos, int& value) {
  value = 0;
  while (pos < format.size() && std::isdigit(static_cast<unsigned char>(format[pos]))) {
    value = value * 10 + (format[pos] - '0');
    if (value > MaxFormatWidth) return false;
    ++pos;
  }
  return true;
}

// Parses the directive whose "%" is at format[pos]; on success pos is at its conversion.
bool ParseDirective(const std::string& format, size_t& pos, Directive& directive) {
  ++pos;
  while (pos < format.size() && std::string_view("-+ #0").find(format[pos]) != std::string_view::npos)
    directive.flags += format[pos++];
  if (pos < format.size() && std::isdigit(static_cast<unsigned char>(format[pos])) &&
      !ReadNumber(format, pos, directive.width))
    return false;
  if (pos < format.size() && format[pos] == '.') {
    ++pos;
    if (!ReadNumber(format, pos, directive.precision)) return false;
  }
  if (pos >= format.size()) return false;
  directive.conversion = format[pos];
  return true;
}

template <typename T>
bool AppendC(const std::string& spec, T value, std::string& out) {
  std::vector<char> buffer(64);
  for (;;) {
    // The directive was built by Directive::CSpec and checked against the value's type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(buffer.data(), buffer.size(), spec.c_str(), value);
#pragma GCC diagnostic pop
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      out.append(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    buffer.resize(static_cast<size_t>(n) + 1);
  }
}

void AppendPadded(const std::string& text, const Directive& directive, std::string& out) {
  size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  size_t padding = text.size() < width ? width - text.size() : 0;
  if (!directive.LeftJustify()) out.append(padding, ' ');
  out += text;
  if (directive.LeftJustify()) out.append(padding, ' ');
}

bool AsDouble(const FormatArg& arg, double& value) {
  if (const auto* d = std::get_if<double>(&arg.Value())) {
    value = *d;
    return true;
  }
  if (const auto* i = std::get_if<int64_t>(&arg.Value())) {
    value = static_cast<double>(*i);
    return true;
  }
  return false;
}

// "-1234567.5" with two decimals -> "-1,234,567.50".
bool AppendGrouped(const Directive& directive, double value, std::string& out) {
  Directive plain;
  plain.precision = directive.precision >= 0 ? directive.precision : NumberDefaultDecimals;
  std::string digits;
  if (!AppendC(plain.CSpec("", 'f'), value, digits)) return false;
  size_t start = digits.starts_with('-') ? 1 : 0;
  size_t end = start;
  while (end < digits.size() && std::isdigit(static_cast<unsigned char>(digits[end]))) ++end;
  std::string grouped = digits.substr(0, start);
  for (size_t k = start; k < end; ++k) {
    if (k > start && (end - k) % 3 == 0) grouped += ',';
    grouped += digits[k];
  }
  grouped += digits.substr(end);
  AppendPadded(grouped, directive, out);
  return true;
}

bool AppendArgument(const Directive& directive, const FormatArg& arg, std::string& out) {
  const char conversion = directive.conversion;
  switch (std::tolower(static_cast<unsigned char>(conversion))) {
    case 'd':
    case 'u':
    case 'x': {
      const auto* value = std::get_if<int64_t>(&arg.Value());
      if (value == nullptr) return false;
      const char letter = conversion == 'd' || conversion == 'D' ? 'd'
                          : conversion == 'u' || conversion == 'U' ? 'u'
                                                                   : 'X';
      return AppendC(directive.CSpec("ll", letter), static_cast<long long>(*value), out);
    }
    case 's': {
      const auto* value = std::get_if<std::string>(&arg.Value());
      if (value == nullptr) return false;
      // Done by hand rather than by snprintf so that a text holding a NUL byte is kept whole.
      const size_t length = directive.precision >= 0 ? static_cast<size_t>(directive.precision) : value->size();
      AppendPadded(value->substr(0, length), directive, out);
      return true;
    }
    case 'e':
    case 'f':
    case 'g': {
      double value;
      if (!AsDouble(arg, value)) return false;
      return AppendC(directive.CSpec("", conversion), value, out);
    }
    case 'n': {
      double value;
      if (!AsDouble(arg, value)) return false;
      return AppendGrouped(directive, value, out);
    }
    default:
      return false;
  }
}

// The table's kind of a code; a code it does not know is the engine's own fault.
TZDBErrorKind KindOfCode(int32_t code) {
  const TZDBError* error = FindError(code);
  return error ? error->Kind : TZDBErrorKind::Internal;
}

}  // namespace

bool TryFormatMessage(const std::string& format, std::initializer_list<FormatArg> args,
                      std::string& result) {
  result.clear();
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      result += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      result += '%';
      ++i;
      continue;
    }
    Directive directive;
    if (!ParseDirective(format, i, directive) || next == args.end()) return false;
    if (!AppendArgument(directive, *next, result)) return false;
    ++next;
  }
  return true;
}

std::string FormatMessage(const std::string& format, std::initializer_list<FormatArg> args) {
  std::string result;
  if (TryFormatMessage(format, args, result)) return result;
  return format + InvalidArgumentsSuffix;
}

EZDBException::EZDBException(const TZDBError& error, const std::string& message)
    : std::runtime_error(FullText(error.Code, message)),
      nativeError_(error.Code),
      kind_(error.Kind),
      message_(message) {}

EZDBException::EZDBException(int32_t nativeError, const std::string& message)
    : std::runtime_error(FullText(nativeError, message)),
      nativeError_(nativeError),
      kind_(KindOfCode(nativeError)),
      message_(message) {}

void RaiseError(const TZDBError& error) { throw EZDBException(error, error.Text); }

void RaiseError(const TZDBError& error, std::initializer_list<FormatArg> args) {
  throw EZDBException(error, FormatMessage(error.Text, args));
}

void RaiseErrorMessage(const TZDBError& error, const std::string& message) { throw EZDBException(error, message); }

}  // namespace zdb
