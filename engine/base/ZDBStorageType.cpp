#include "engine/base/ZDBStorageType.h"

#include <array>

namespace zdb {
namespace {

constexpr std::array<const char*, MaxStorageTypeCode + 1> StorageTypeNames = {
    "Unknown", "CHAR",     "WIDECHAR", "STRING",   "WIDESTRING", "SHORTINT", "SMALLINT",
    "INTEGER", "LARGEINT", "BYTE",     "WORD",     "CARDINAL",   "SINGLE",   "FLOAT",
    "EXTENDED", "DATE",    "TIME",     "DATETIME", "BLOB",       "MEMO",     "WIDEMEMO",
    "LOGICAL", "CURRENCY", "BYTES",    "VARBYTES",
};

}  // namespace

std::string StorageTypeName(TZDBStorageType type) {
  return IsKnownStorageType(type) ? StorageTypeNames[StorageTypeCode(type)] : StorageTypeNames[0];
}

int32_t FixedValueSize(TZDBStorageType type) {
  switch (type) {
    case TZDBStorageType::ShortInt:
    case TZDBStorageType::Byte:
      return 1;
    case TZDBStorageType::SmallInt:
    case TZDBStorageType::Word:
    case TZDBStorageType::Logical:
      return 2;
    case TZDBStorageType::Integer:
    case TZDBStorageType::Cardinal:
    case TZDBStorageType::Single:
    case TZDBStorageType::Date:
    case TZDBStorageType::Time:
      return 4;
    case TZDBStorageType::LargeInt:
    case TZDBStorageType::Float:
    case TZDBStorageType::DateTime:
    case TZDBStorageType::Currency:
      return 8;
    case TZDBStorageType::Extended:
      return 10;
    default:
      return 0;
  }
}

}  // namespace zdb
