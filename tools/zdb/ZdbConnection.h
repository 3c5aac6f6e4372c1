// How the zdb commands that read and write tables connect to a database file: as one more
// multi-user session, the way the program itself connects, so that the tool works beside
// running programs and waits for their locks like any other user.
#pragma once

#include <string>

#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBPassword.h"
#include "engine/table/ZDBBaseSession.h"

namespace zdbtool {

class TZdbSession : public zdb::TZDBBaseSession {
 public:
  bool MultiUser() const override { return multiUser_; }
  void SetMultiUser(bool multiUser) { multiUser_ = multiUser; }

 private:
  bool multiUser_ = true;
};

// Connected from construction to destruction; an encrypted file needs its password.
class TZdbConnection {
 public:
  TZdbConnection(const std::string& fileName, const zdb::TZDBPassword& password);
  ~TZdbConnection();
  TZdbConnection(const TZdbConnection&) = delete;
  TZdbConnection& operator=(const TZdbConnection&) = delete;

  zdb::TZDBDiskDatabaseData& Data() const { return *data_; }
  TZdbSession& Session() { return session_; }

 private:
  zdb::TZDBSessionConnection connection_;
  zdb::TZDBDiskDatabaseData* data_ = nullptr;
  TZdbSession session_;
};

}  // namespace zdbtool
