// zdb create: a new, empty database file. An existing file is left alone unless the user
// asks for it to be replaced.
#pragma once

#include <cstdint>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

// Creates an empty database file: the prologue and the system files, with maxConnections
// session slots; encrypted when the password is not empty. A name that is taken is
// refused ("F already exists; use --force to replace it"), also when it is taken while
// the file is being made; with replace the file there is replaced, and the new one gets
// its permissions. A directory is never replaced.
void CreateCommand(const std::string& fileName, uint16_t pageSize, uint16_t pagesPerExtent, int32_t maxConnections,
                   const zdb::TZDBPassword& password, bool replace);

}  // namespace zdbtool
