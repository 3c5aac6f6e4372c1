// The copy of one table of a damaged database file into the new file a repair makes: the
// table's definitions (fields with all their settings, indexes, constraints) and every row
// that can still be read (ZDBTableSalvage.h says which), each with its large values
// (BLOB, MEMO, WIDEMEMO) as their stored bytes and stream parameters.
//
// The rows are inserted as they were read: automatic increment values and NULLs stay as
// they are, no default is filled in and no constraint checked (the row was accepted
// once); the copy's indexes are built from the rows it receives. The copy's automatic
// increment counters are the source's, raised to the highest value a copied row holds
// (counters that cannot be read start from the fields' initial values). A row the new
// table refuses (its unique key already taken by another copied row) leaves nothing
// behind and counts as not copied.
//
// Contract: the source's file open (read, never written) and the target connected, its
// file not having the table yet (30395), and no other connection writing to it. The
// definitions that cannot be read raise (the table is lost); rows that cannot be read are
// counted in the report, never dropped without a word.
#pragma once

#include <string>

#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBRepairReport.h"
#include "engine/file/ZDBTableListFile.h"

namespace zdb {

class TZDBDiskPageManager;

// The repair's copier of one table unless another is installed (TZDBDatabase::SetTableCopier).
TZDBTableRepairReport CopyTable(TZDBDiskPageManager& source, const TZDBTableListEntry& table, TZDBDatabase& target);

}  // namespace zdb
