// The public API of the ZDB engine: what a repair of a database file did
// (TZDBDatabase::Repair, then LastRepairReport): one line per table copied or lost, the
// backup's name, whether the repair was aborted, and the warning the user is shown.
#pragma once

#include "engine/dataset/ZDBRepairReport.h"
