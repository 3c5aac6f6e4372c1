// How the zdb commands that read and write tables connect to a database file: through a
// database component, as one more multi-user session, the way the program itself
// connects. A missing, locked, damaged or encrypted file is therefore met as the program
// meets it (the same errors, the same password and repair questions, asked through the
// process's answerer), and the tool waits for the locks of running programs like any
// other user.
#pragma once

#include <string>

#include "engine/base/ZDBPassword.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/table/ZDBBaseSession.h"

namespace zdbtool {

// Connected from construction to destruction. An encrypted file opens with the password
// given; without one the user is asked for it.
class TZdbConnection {
 public:
  static constexpr const char* DatabaseName = "zdb";

  TZdbConnection(const std::string& fileName, const zdb::TZDBPassword& password);
  TZdbConnection(const TZdbConnection&) = delete;
  TZdbConnection& operator=(const TZdbConnection&) = delete;

  zdb::TZDBDiskDatabaseData& Data() const { return *database_.DatabaseData(); }
  // The connection's session: what the tool's cursors work through.
  zdb::TZDBBaseSession& Session() const { return *database_.Handle(); }

 private:
  zdb::TZDBDatabase database_;
};

}  // namespace zdbtool
