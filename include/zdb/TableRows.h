// The public API of the ZDB engine: tables as plain data, for programs that move rows as
// text. CreateTable makes a table from field, index and not-null definitions;
// TZDBTableRows opens one table of a connected database component and reads its
// definitions and rows (fields as text), adds rows from text under the table's write lock,
// and reads and stores a row's large value whole. Names are the engine's single-byte text
// (zdb/Values.h converts from UTF-8). Failures are EZDBException with the engine's code and
// text; a text that is no value of its field is std::runtime_error.
#pragma once

#include "engine/dataset/ZDBTableDefinitions.h"
#include "engine/dataset/ZDBTableRows.h"
