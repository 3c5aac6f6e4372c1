// The public API of the ZDB engine: the integrity check of a database file
// (CheckDatabaseFile), answered as one line per problem found and the counts of what was
// walked. The file is opened read-only and shared; only a file that cannot be opened at
// all raises (EZDBException).
#pragma once

#include "engine/table/ZDBFileCheckOfFile.h"
