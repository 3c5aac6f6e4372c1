// The dataset framework's own message texts. Each %s or %d is filled, in order, by
// FormatMessage; the callers format numbers themselves.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace data {

inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SInvalidBookmark = "Invalid bookmark";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SInvalidBufferCount = "Invalid buffer count %d";
inline constexpr const char* SRecordIndexError = "Record index out of range";

inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* SFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldSizeMismatch = "Size mismatch for field '%s', expecting: %d actual: %d";
inline constexpr const char* SInvalidFieldSize = "Invalid field size";
inline constexpr const char* SUnsupportedFieldType = "Field '%s' is of an unsupported type";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldOutOfRange = "Value of field '%s' is out of range";
inline constexpr const char* SFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SFieldValueTooLong = "Value of field '%s' is longer than its %d characters";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SInvalidDate = "'%s' is not a valid date";
inline constexpr const char* SInvalidTime = "'%s' is not a valid time";
inline constexpr const char* SInvalidDateTime = "'%s' is not a valid date and time";
inline constexpr const char* SInvalidVarCast = "Invalid variant type conversion";

// Texts the engine's dataset raises for key searches; kept here so that every dataset
// words them alike.
inline constexpr const char* SNoFieldIndexes = "No index currently active";
inline constexpr const char* SIndexFieldMissing = "Cannot access index field '%s'";

// The pattern with each %s / %d replaced by the next argument ("%%" gives "%").
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace data
