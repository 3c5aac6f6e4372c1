// The engine's exception and the one helper that builds every engine message.
//
// An EZDBException carries the message and its native error code; its text is the
// message, " - Native error: " and the code in at least five digits with leading zeros
// (10026 -> "10026", 7 -> "00007", -12 -> "-00012"). Messages with directives are filled
// by FormatMessage; when the arguments do not fit the format, the format itself is kept
// and " Arguments are invalid!" appended, so a report is never lost to a bad argument
// list.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "engine/base/ZDBErrors.h"

namespace zdb {

// One argument of a message: a whole number, a floating value or a text.
class FormatArg {
 public:
  template <typename T>
    requires std::is_integral_v<T>
  FormatArg(T value) : value_(static_cast<int64_t>(value)) {}  // NOLINT: implicit by design
  FormatArg(double value) : value_(value) {}                  // NOLINT
  FormatArg(const char* value) : value_(std::string(value ? value : "")) {}  // NOLINT
  FormatArg(std::string_view value) : value_(std::string(value)) {}          // NOLINT
  FormatArg(std::string value) : value_(std::move(value)) {}  // NOLINT

  const std::variant<int64_t, double, std::string>& Value() const { return value_; }

 private:
  std::variant<int64_t, double, std::string> value_;
};

// The largest width or precision a directive may ask for.
constexpr int MaxFormatWidth = 1024;

// Fills a format. A directive is "%" [flags "-+ #0"] [width] ["." precision] and one of
// (either case):
//   d  signed whole number    u  unsigned whole number    x  upper-case hexadecimal
//   s  text (a precision truncates it)
//   f  fixed    e  scientific    g  general (a whole number is taken as a floating value)
//   n  like f with "," thousands separators, two decimals unless a precision is given
// "%%" is a percent sign; extra arguments are ignored. Answers false when a directive is
// malformed, lacks its argument or gets one of the wrong kind (a text for %d, a number
// for %s, a floating value for %d), or when width or precision exceed MaxFormatWidth.
bool TryFormatMessage(const std::string& format, std::initializer_list<FormatArg> args,
                      std::string& result);
// The filled format, or the format + " Arguments are invalid!".
std::string FormatMessage(const std::string& format, std::initializer_list<FormatArg> args);

class EZDBException : public std::runtime_error {
 public:
  EZDBException(const TZDBError& error, const std::string& message);
  // A code from outside the engine's raising places (a stored report, a peer): its kind is
  // the table's, or Internal for a code the table does not know.
  EZDBException(int32_t nativeError, const std::string& message);

  int32_t NativeError() const { return nativeError_; }
  TZDBErrorKind Kind() const { return kind_; }
  bool Is(const TZDBError& error) const { return nativeError_ == error.Code; }
  // The message without the native-error suffix.
  const std::string& Message() const { return message_; }

 private:
  int32_t nativeError_;
  TZDBErrorKind kind_;
  std::string message_;
};

// The entry's text as it stands.
[[noreturn]] void RaiseError(const TZDBError& error);
// The entry's text filled with the arguments.
[[noreturn]] void RaiseError(const TZDBError& error, std::initializer_list<FormatArg> args);
// The entry's code with a message made elsewhere (the failure a post caught, a text
// filled by a raising helper).
[[noreturn]] void RaiseErrorMessage(const TZDBError& error, const std::string& message);

}  // namespace zdb
