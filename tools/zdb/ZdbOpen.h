// How the zdb commands open a database file to look at it.
#pragma once

#include <string>

#include "engine/file/ZDBPassword.h"

namespace zdb {
class TZDBDiskPageManager;
}

namespace zdbtool {

// Opens the file read-only and shared with whoever uses it, so that looking never
// changes it; an encrypted file needs its password (30445 otherwise). Answers NeedsRepair.
bool OpenForReading(zdb::TZDBDiskPageManager& manager, const std::string& fileName, const zdb::TZDBPassword& password);

}  // namespace zdbtool
