// The engine's errors: every code with its name, its kind and its text, from the one table
// in ZDBErrorTable.inc.
//
// A raising place names its entry, RaiseError(errors::PageRead, {pageNo, type}), so a code
// always travels with its own text; a caller that reacts to a failure asks its kind
// (EZDBException::Kind) or whether it is one entry (EZDBException::Is), never a number.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zdb {

// What a failure means to whoever reacts to it.
enum class TZDBErrorKind : uint8_t {
  Internal,       // the engine's own fault: a broken invariant
  BadArgument,    // a call or a definition the engine refuses
  NotFound,       // a table, index, field or row that is not there
  Exists,         // something that is there already
  Locked,         // held by another session, process or mode
  Damaged,        // the file's structures are not what they must be
  WrongPassword,  // the file's password does not match
  IO,             // the operating system refused a file operation
  Limit,          // a size, count or memory limit is exceeded
  Constraint,     // a row breaks a constraint
  Unsupported,    // not built into this engine
  Conflict,       // another process changed or deleted the row being edited
  Refused,        // the editing cycle refused an insert, update or delete
};

const char* ErrorKindName(TZDBErrorKind kind);

struct TZDBError {
  int32_t Code;
  const char* Name;
  TZDBErrorKind Kind;
  const char* Text;  // with its %d / %s directives
};

namespace errors {
#define ZDB_ERROR(name, code, kind, text) inline constexpr TZDBError name{code, #name, TZDBErrorKind::kind, text};
#include "engine/base/ZDBErrorTable.inc"
#undef ZDB_ERROR
}  // namespace errors

// Every entry, in the table's order.
std::span<const TZDBError> AllErrors();
// The entry of a code, or nullptr; for a code with two entries, the first.
const TZDBError* FindError(int32_t code);
std::vector<const TZDBError*> FindErrors(int32_t code);

}  // namespace zdb
