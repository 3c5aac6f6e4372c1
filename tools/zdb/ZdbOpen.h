// How the zdb commands open a database file to look at it.
#pragma once

#include <string>

#include "engine/base/ZDBPassword.h"

namespace zdb {
class TZDBDiskPageManager;
}

namespace zdbtool {

// Opens the file read-only and shared with whoever uses it, so that looking never
// changes it (no session slot is taken either). An encrypted file needs its password:
// without one the user is asked for it, as a connection asks; a wrong one, or no answer,
// gives 30445. Answers NeedsRepair.
bool OpenForReading(zdb::TZDBDiskPageManager& manager, const std::string& fileName, const zdb::TZDBPassword& password);

}  // namespace zdbtool
