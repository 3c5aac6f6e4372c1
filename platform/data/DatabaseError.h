// The dataset framework's error: raised for misuse of a dataset or its components, and
// the base of the errors that a dataset's edit, post and delete error events may handle.
#pragma once

#include <stdexcept>

namespace data {

class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace data
