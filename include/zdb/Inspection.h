// The public API of the ZDB engine: a read-only look at a database file for tools that
// show its structures. TZDBFileInspector opens the file read-only and shared (no session
// slot taken, nothing changed) and answers plain data: the header and state, the system
// files, the header of each page, the session slots taken, the table list. An encrypted
// file needs its password (errors::IncorrectPassword otherwise, zdb/Errors.h).
#pragma once

#include "engine/file/ZDBFileInspector.h"
