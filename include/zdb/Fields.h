// The public API of the ZDB engine: the field types a table definition declares (the
// logical types), the storage each is kept as, and their names in the type-name table,
// found without regard to letter case.
#pragma once

#include "engine/table/ZDBFieldTypes.h"
