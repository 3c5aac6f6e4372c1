#include "tools/zdb/ZdbOpen.h"

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBUserPrompts.h"
#include "engine/file/ZDBDiskPageManager.h"

namespace zdbtool {
namespace {

constexpr int32_t IncorrectPasswordError = 30445;

}  // namespace

bool OpenForReading(zdb::TZDBDiskPageManager& manager, const std::string& fileName, const zdb::TZDBPassword& password) {
  zdb::TZDBPassword tried = password;
  for (;;) {
    bool multiUser = true;
    bool readOnly = true;
    try {
      return manager.OpenDatabaseFile(fileName, tried, multiUser, false, readOnly);
    } catch (const zdb::EZDBException& error) {
      // A failed open leaves the manager closed, ready for another try.
      if (error.NativeError() != IncorrectPasswordError || !password.Empty()) throw;
      std::string typed;
      if (!zdb::UserPrompts()->AskPassword(typed)) throw;
      tried.Password = typed;
    }
  }
}

}  // namespace zdbtool
