// The database every mutant starts from: made by the engine the way the program makes its
// file, with the structures a damaged file can break, so that every reader of the file
// has something of its own to trip over.
//   "Maximo"  the program's yearly limits: INTEGER key with the unique index "ANY", two
//             FLOAT amounts; enough rows for several record pages and a B-tree of more
//             than one level; some rows deleted again, so pages have free slots.
//   "Varios"  an automatic increment under the primary index "PK", a text under the
//             case-insensitive secondary index "PorNombre", a FLOAT, a LOGICAL, a
//             compressed BLOB (a few values of several pages each) and a MEMO.
//   "Control" the two growth percentages, one row, no index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdbfuzz {

using Bytes = std::vector<uint8_t>;

// Makes the seed database in a new file at path and answers its bytes. Page versions
// (random when pages are allocated) are set to fixed values, so that the bytes, and
// with them every mutant, depend on nothing but the code.
Bytes BuildSeedDatabase(const std::string& path);

}  // namespace zdbfuzz
