// The password record a database file is created or opened with: the password text and
// the cipher code chosen at creation. An empty password means a plain file.
#pragma once

#include <cstdint>
#include <string>

namespace zdb {

struct TZDBPassword {
  std::string Password;
  uint8_t CipherCode = 0;

  bool Empty() const { return Password.empty(); }
};

}  // namespace zdb
