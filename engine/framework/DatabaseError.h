// The dataset framework's errors.
//
// EDatabaseError is raised for misuse of a dataset or its components and is the base of
// the errors that a dataset's edit, post and delete error events may handle. EAbort is
// the silent exception: it cancels the operation in progress (an event handler raises
// it through Abort) and is not a database error, so error events never see it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace data {

class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EAbort : public std::runtime_error {
 public:
  EAbort() : std::runtime_error("Operation aborted") {}
};

// Raises EAbort.
[[noreturn]] void Abort();

// Raises EDatabaseError with the message, prefixed by "componentName: " when the
// component has a name.
[[noreturn]] void DatabaseError(std::string_view message, std::string_view componentName = {});

}  // namespace data
