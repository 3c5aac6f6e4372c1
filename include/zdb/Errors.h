// The public API of the ZDB engine: its errors. Every failure the engine reports is an
// EZDBException carrying the engine's code (NativeError) and its text (what); callers
// that act on one failure compare the code with the constants here.
#pragma once

#include <cstdint>

#include "engine/base/ZDBException.h"

namespace zdb {

// "Cannot open database - incorrect password": an encrypted file opened without its
// password or with a wrong one.
inline constexpr int32_t IncorrectPasswordError = 30445;

}  // namespace zdb
