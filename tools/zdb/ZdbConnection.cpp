#include "tools/zdb/ZdbConnection.h"

namespace zdbtool {

TZdbConnection::TZdbConnection(const std::string& fileName, const zdb::TZDBPassword& password) {
  database_.SetDatabaseName(DatabaseName);
  database_.SetDatabaseFileName(fileName);
  database_.SetPassword(password.Password);
  database_.SetEncryptionAlgorithm(password.CipherCode);
  database_.SetMultiUser(true);
  // A password given on the command line that does not open the file is the answer: the
  // user is asked only when none was given.
  if (!password.Empty()) database_.OnPassword = [](zdb::TZDBDatabase&) { return false; };
  database_.Open();
}

}  // namespace zdbtool
