// Copying a value into new bytes, and converting a value from one storage type to
// another.
//
// A source size of -1 means the value is in row form (text up to its terminating zero,
// fixed-width values at full width); MEMO and WIDEMEMO values carry no terminator, so
// their size must be known. Text results always end with their terminator: a CHAR or
// STRING result is the text and one zero byte, a wide result the units and one zero
// unit; a BLOB made from text keeps the terminator as its last byte(s).
//
// ConvertValue raises 30052 "Cannot cast from '%s' to '%s'" for a pair of types that
// has no conversion, and 30051 with the same text when the conversion exists but fails
// for this value (text that does not parse, a number that does not fit). Conversions to
// and from text use the default locale's settings (ZDBLocale.h).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/ZDBStorageType.h"

namespace zdb {

using TZDBValueBytes = std::vector<uint8_t>;

// The value's bytes in new memory of the type's own size: a fixed-width type its width,
// a string its length plus the terminator, the other types sourceSize bytes.
// Raises 30054 "Cannot copy data into new memory" when that memory cannot be had or the
// size of a variable-length value is unknown.
TZDBValueBytes CopyValue(TZDBStorageType type, const void* source, int32_t sourceSize = -1);

TZDBValueBytes ConvertValue(const void* source, int32_t sourceSize, TZDBStorageType sourceType,
                            TZDBStorageType targetType);

}  // namespace zdb
