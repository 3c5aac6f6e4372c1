// The public API of the ZDB engine: what the engine asks the user while it connects and
// repairs (a password, whether to repair, progress of a long task), answered by whatever
// the program installs (a window, a terminal, a script).
#pragma once

#include "engine/dataset/ZDBUserPrompts.h"
