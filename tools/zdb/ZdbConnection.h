// How the zdb commands that read and write tables connect to a database file: through a
// database component, as one more multi-user session, the way the program itself
// connects. A missing, locked, damaged or encrypted file is therefore met as the program
// meets it (the same errors, the same password and repair questions, asked through the
// process's answerer), and the tool waits for the locks of running programs like any
// other user.
#pragma once

#include <string>

#include "zdb/Database.h"
#include "zdb/Password.h"

namespace zdbtool {

// Connected from construction to destruction. An encrypted file opens with the password
// given; without one the user is asked for it.
class TZdbConnection {
 public:
  static constexpr const char* DatabaseName = "zdb";

  TZdbConnection(const std::string& fileName, const zdb::TZDBPassword& password);
  TZdbConnection(const TZdbConnection&) = delete;
  TZdbConnection& operator=(const TZdbConnection&) = delete;

  // The connected database component: what the tool's tables work through.
  zdb::TZDBDatabase& Database() { return database_; }

 private:
  zdb::TZDBDatabase database_;
};

}  // namespace zdbtool
