// The plain-text errors of the session and database components: misuse of their
// properties and missing names or files. They are the platform's database errors (no
// native code), unlike the engine's own EZDBException.
#pragma once

#include <initializer_list>
#include <string>

#include "engine/base/ZDBException.h"

namespace zdb {

inline constexpr const char* DatabaseNameMissingText = "Database name missing";
inline constexpr const char* DatabaseFileMissingFormat = "Database file '%s' does not exist";
inline constexpr const char* OpenDatabaseText = "Cannot perform this operation on an open database";
inline constexpr const char* ClosedDatabaseText = "Cannot perform this operation on a closed database";
inline constexpr const char* AlreadyInTransactionText = "Database is already within a transaction";
inline constexpr const char* DuplicateDatabaseNameFormat = "Duplicate database name '%s'";
inline constexpr const char* SessionNameMissingText = "Session name missing";
inline constexpr const char* DuplicateSessionNameFormat = "Duplicate session name '%s'";
inline constexpr const char* ActiveSessionText = "Cannot perform this operation on an active session";
inline constexpr const char* AutoSessionNameSetText = "Cannot modify SessionName while AutoSessionName is enabled";
inline constexpr const char* AutoSessionNameManyText =
    "Cannot enable AutoSessionName property with more than one session on a form or data-module";
inline constexpr const char* AutoSessionNameOwnerFormat =
    "Cannot add a session to the form or data-module while session '%s' has AutoSessionName enabled";
inline constexpr const char* DeleteDatabaseFormat = "Cannot delete database file '%s'";

[[noreturn]] void RaiseDatabaseError(const std::string& text);
// The format filled as the engine fills its messages.
[[noreturn]] void RaiseDatabaseError(const std::string& format, std::initializer_list<FormatArg> args);

}  // namespace zdb
