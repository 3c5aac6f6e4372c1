// The copy of one table of a database file into another, as a repair makes it: the
// table's definitions (fields with all their settings, indexes, constraints) and every
// row as stored. Rows are read in physical order, so that a damaged index hides none of
// them, and the copy's indexes are built from the rows it receives. Automatic increment
// values and NULLs stay as they are (nothing is renumbered or filled with a default),
// the automatic increment counters are the source's, and large values (BLOB, MEMO,
// WIDEMEMO) are copied as their stored bytes with their stream parameters.
//
// Contract: both components connected, the target's file not having the table yet
// (30395), and no other connection writing to it. Errors of the definitions pass on
// unchanged. A row that cannot be read or written is left out and the others are still
// copied; so are rows that the table's row count or its record-page index lists but the
// walk never reaches (a damaged record page hides its rows without an error). Then the
// copy raises "%d of %d rows could not be copied", followed by ": " and the text of the
// first failure when there was one: a table is never copied short without saying so.
#pragma once

#include <string>

#include "engine/dataset/ZDBDatabase.h"

namespace zdb {

inline constexpr const char* RowsNotCopiedFormat = "%d of %d rows could not be copied";

// The repair's copier of one table unless another is installed (TZDBDatabase::SetTableCopier).
void CopyTable(TZDBDatabase& source, TZDBDatabase& target, const std::string& tableName);

}  // namespace zdb
