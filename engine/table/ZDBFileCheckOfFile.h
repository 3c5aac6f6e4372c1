// The integrity check of a database file named by its path (ZDBFileCheck.h says what is
// checked): the file is opened read-only and shared, as the file inspector opens it
// (ZDBFileInspector.h), checked under the database lock byte (waiting for a writer to end
// its transaction; 20230 when it does not) and closed again. The failures of the open pass
// on; a file that needs repair has that as its first problem.
#pragma once

#include <string>

#include "engine/base/ZDBPassword.h"
#include "engine/table/ZDBFileCheck.h"

namespace zdb {

TZDBFileCheckReport CheckDatabaseFile(const std::string& fileName, const TZDBPassword& password);

}  // namespace zdb
