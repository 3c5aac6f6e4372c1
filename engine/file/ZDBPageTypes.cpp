#include "engine/file/ZDBPageTypes.h"

#include <array>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr std::array<const char*, MaxPageTypeCode + 1> PageTypeNames = {
    "Unknown Page",
    "Empty Page",
    "EAM Page",
    "PFS Page",
    "FileSystemDirectory Page",
    "ActiveSessionList Page",
    "TableList Page",
    "TableLocks Page",
    "TableMetaData Page",
    "TableMostUpdated Page",
    "TableRecord Page",
    "TableBlob Page",
    "TableIndex Page",
};

}  // namespace

std::string PageTypeName(uint16_t code) {
  if (code > MaxPageTypeCode) RaiseError(errors::UnknownPageType, {code});
  return PageTypeNames[code];
}

std::string WrongPageTypeMessage(const TZDBError& error, uint16_t found, uint16_t expected) {
  // A corrupt page may carry any code; describe it instead of failing on its name, so the
  // caller's error code survives.
  auto describe = [](uint16_t code) {
    return code > MaxPageTypeCode ? FormatMessage(errors::UnknownPageType.Text, {code}) : PageTypeName(code);
  };
  return FormatMessage(error.Text, {describe(found), describe(expected)});
}

void RaiseWrongPageType(const TZDBError& error, uint16_t found, uint16_t expected) {
  RaiseErrorMessage(error, WrongPageTypeMessage(error, found, expected));
}

}  // namespace zdb
