#include "tools/zdb/ZdbConnection.h"

#include "engine/file/ZDBDatabaseDataRegistry.h"

namespace zdbtool {

TZdbConnection::TZdbConnection(const std::string& fileName, const zdb::TZDBPassword& password) {
  connection_.MultiUser = true;
  connection_.Password = password;
  data_ = &zdb::TZDBDatabaseDataRegistry::Instance().Connect(fileName, connection_);
  // A file that can only be read opens single-user.
  session_.SetMultiUser(connection_.MultiUser);
  session_.SetSessionID(connection_.SessionID);
}

TZdbConnection::~TZdbConnection() {
  try {
    zdb::TZDBDatabaseDataRegistry::Instance().Disconnect(*data_, connection_);
  } catch (...) {  // the slot goes with the process
  }
}

}  // namespace zdbtool
