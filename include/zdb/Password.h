// The public API of the ZDB engine: what an encrypted database file is created and opened
// with. TZDBPassword holds the password (empty for a plain file) and the cipher code chosen
// at creation; the cipher table names each code (FindCipher) and finds a code by its name,
// letter case ignored (FindCipherCode).
#pragma once

#include "engine/base/ZDBCipherCodes.h"
#include "engine/base/ZDBPassword.h"
