// The kinds of table lock and which of them may be held side by side.
//
// Compatible(held, requested): whether a session may take `requested` while another
// session holds `held` on the same table. Covers(a, b): everything compatible with a held
// lock of kind a is also compatible with a held lock of kind b, so a session that holds a
// needs nothing more in the file to hold b as well. TableLockExclusive covers every kind.
#pragma once

#include <array>
#include <cstdint>

namespace zdb {

enum TZDBTableLockKind : uint8_t {
  TableLockOpen = 0,         // a cursor has the table open, shared
  TableLockRead = 1,         // reading or navigating
  TableLockEdit = 2,         // from Edit to Post or Cancel outside a transaction
  TableLockTransaction = 3,  // edits inside a transaction, until commit or rollback
  TableLockWrite = 4,        // Post or Delete outside a transaction; every modified table at commit
  TableLockRecord = 5,       // a record of the table is locked
  TableLockExclusive = 6,    // the table is open exclusively
};

inline constexpr int TableLockKindCount = 7;

inline constexpr bool IsTableLockKind(int kind) { return kind >= 0 && kind < TableLockKindCount; }

namespace detail {
// Rows: the kind held by another session; columns: the kind requested.
inline constexpr std::array<std::array<bool, TableLockKindCount>, TableLockKindCount> Compatibility{{
    {1, 1, 1, 1, 1, 1, 0},
    {1, 1, 1, 1, 0, 1, 0},
    {1, 1, 1, 0, 1, 1, 0},
    {1, 1, 0, 0, 0, 1, 0},
    {1, 0, 1, 0, 0, 1, 0},
    {1, 1, 1, 1, 1, 1, 0},
    {0, 0, 0, 0, 0, 0, 0},
}};
}  // namespace detail

inline constexpr bool Compatible(TZDBTableLockKind held, TZDBTableLockKind requested) {
  return detail::Compatibility[held][requested];
}

inline constexpr bool Covers(TZDBTableLockKind a, TZDBTableLockKind b) {
  for (int requested = 0; requested < TableLockKindCount; ++requested) {
    if (detail::Compatibility[a][requested] && !detail::Compatibility[b][requested]) return false;
  }
  return true;
}

}  // namespace zdb
