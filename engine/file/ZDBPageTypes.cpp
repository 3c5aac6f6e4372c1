#include "engine/file/ZDBPageTypes.h"

#include <array>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

constexpr int32_t UnknownPageTypeError = 30382;
constexpr const char* UnknownPageTypeText = "Unknown Page Type: (%d)";

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
  if (code > MaxPageTypeCode) RaiseError(UnknownPageTypeError, UnknownPageTypeText, {code});
  return PageTypeNames[code];
}

std::string WrongPageTypeMessage(uint16_t found, uint16_t expected) {
  // A corrupt page may carry any code; describe it instead of failing on its name, so the
  // caller's error code survives.
  auto describe = [](uint16_t code) {
    return code > MaxPageTypeCode ? FormatMessage(UnknownPageTypeText, {code}) : PageTypeName(code);
  };
  return FormatMessage("Wrong page type. Found '%s', but expecting: '%s'",
                       {describe(found), describe(expected)});
}

void RaiseWrongPageType(int32_t errorCode, uint16_t found, uint16_t expected) {
  RaiseError(errorCode, WrongPageTypeMessage(found, expected));
}

}  // namespace zdb
