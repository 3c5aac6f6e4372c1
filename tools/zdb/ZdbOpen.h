// How the zdb commands that look at a database file get past its password.
#pragma once

#include <memory>
#include <string>

#include "zdb/Errors.h"
#include "zdb/Inspection.h"
#include "zdb/Password.h"
#include "zdb/UserPrompts.h"

namespace zdbtool {

// Runs look with the password given. An encrypted file needs its password: when none was
// given and look fails for a wrong password, the user is asked for it, as a connection
// asks, and look runs again with the answer; a wrong one, or no answer, gives
// errors::IncorrectPassword.
template <typename Look>
auto WithPassword(const zdb::TZDBPassword& password, Look look) {
  zdb::TZDBPassword tried = password;
  for (;;) {
    try {
      return look(tried);
    } catch (const zdb::EZDBException& error) {
      if (error.Kind() != zdb::TZDBErrorKind::WrongPassword || !password.Empty()) throw;
      std::string typed;
      if (!zdb::UserPrompts()->AskPassword(typed)) throw;
      tried.Password = typed;
    }
  }
}

// Opens the file to look at it (read-only and shared, no session slot taken), asking for
// the password as WithPassword does.
std::unique_ptr<zdb::TZDBFileInspector> OpenForReading(const std::string& fileName, const zdb::TZDBPassword& password);

}  // namespace zdbtool
