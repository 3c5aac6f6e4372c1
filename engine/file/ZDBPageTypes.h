// Page type codes (the uint16 PageType of every page header) and their names, which the
// engine quotes in its messages.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/ZDBErrors.h"

namespace zdb {

enum class TZDBPageType : uint16_t {
  Unknown = 0,
  Empty = 1,
  EAM = 2,                   // extent allocation map (free-space bitmap)
  PFS = 3,                   // page free-space bitmap
  FileSystemDirectory = 4,   // system directory, always starting at page 2
  ActiveSessionList = 5,     // session slots
  TableList = 6,
  TableLocks = 7,
  TableMetaData = 8,
  TableMostUpdated = 9,
  TableRecord = 10,
  TableBlob = 11,
  TableIndex = 12,
};

inline constexpr uint16_t MaxPageTypeCode = 12;
// In a page request: accept a page of any type.
inline constexpr uint16_t AnyPageType = 255;

inline constexpr uint16_t PageTypeCode(TZDBPageType type) { return static_cast<uint16_t>(type); }

// "EAM Page", "TableRecord Page" ...; codes above 12 raise 30382 "Unknown Page Type: (%d)".
std::string PageTypeName(uint16_t code);

// The error's text ("Wrong page type. Found '%s', but expecting: '%s'") for the two type codes.
std::string WrongPageTypeMessage(const TZDBError& error, uint16_t found, uint16_t expected);
// Raises that text with the error's code.
[[noreturn]] void RaiseWrongPageType(const TZDBError& error, uint16_t found, uint16_t expected);

}  // namespace zdb
