// The public API of the ZDB engine: a new, empty database file (CreateDatabaseFile) from
// its page size, pages per extent, session slots and password, within the limits of the
// file layout (layout::MinPageSize ...) and MaxNewFileSlotCount. An existing file of that
// name is replaced. Failures are EZDBException.
#pragma once

#include "engine/file/ZDBFileCreation.h"
