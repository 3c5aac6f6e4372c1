#include "engine/base/ZDBErrors.h"

#include <algorithm>

namespace zdb {
namespace {

constexpr TZDBError Table[] = {
#define ZDB_ERROR(name, code, kind, text) errors::name,
#include "engine/base/ZDBErrorTable.inc"
#undef ZDB_ERROR
};

constexpr bool SameText(const char* a, const char* b) {
  for (; *a != '\0' && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

// Each name once, and each pair of code and text once.
constexpr bool EachEntryOnce() {
  for (size_t i = 0; i < std::size(Table); ++i)
    for (size_t j = i + 1; j < std::size(Table); ++j) {
      if (SameText(Table[i].Name, Table[j].Name)) return false;
      if (Table[i].Code == Table[j].Code && SameText(Table[i].Text, Table[j].Text)) return false;
    }
  return true;
}
static_assert(EachEntryOnce(), "each error is in the table once, under a name of its own");

}  // namespace

const char* ErrorKindName(TZDBErrorKind kind) {
  switch (kind) {
    case TZDBErrorKind::Internal: return "internal";
    case TZDBErrorKind::BadArgument: return "bad argument";
    case TZDBErrorKind::NotFound: return "not found";
    case TZDBErrorKind::Exists: return "exists";
    case TZDBErrorKind::Locked: return "locked";
    case TZDBErrorKind::Damaged: return "damaged";
    case TZDBErrorKind::WrongPassword: return "wrong password";
    case TZDBErrorKind::IO: return "I/O";
    case TZDBErrorKind::Limit: return "limit";
    case TZDBErrorKind::Constraint: return "constraint";
    case TZDBErrorKind::Unsupported: return "unsupported";
    case TZDBErrorKind::Conflict: return "conflict";
    case TZDBErrorKind::Refused: return "refused";
  }
  return "unknown";
}

std::span<const TZDBError> AllErrors() { return Table; }

const TZDBError* FindError(int32_t code) {
  for (const TZDBError& error : Table)
    if (error.Code == code) return &error;
  return nullptr;
}

std::vector<const TZDBError*> FindErrors(int32_t code) {
  std::vector<const TZDBError*> found;
  for (const TZDBError& error : Table)
    if (error.Code == code) found.push_back(&error);
  return found;
}

}  // namespace zdb
