// Field values of a record buffer as text, both ways, for tools that exchange rows as
// text (the CSV files of the zdb tool):
//   integers          decimal ("-12")
//   floating types    plain notation with a point ("2683.34"), and NAN, INF, -INF
//   DATE              2024-05-25          TIME     10:20:30 or 10:20:30.125
//   DATETIME          2024-05-25 10:20:30 (the time may be left out, or carry .125)
//   LOGICAL           true, false (also 1 and 0 when read)
//   text types        the characters, in UTF-8
// Empty text is NULL. BLOB, MEMO, BYTES and VARBYTES fields have no text form here; a
// dump shows a large value (BLOB, MEMO, WIDEMEMO) by its size and its first bytes:
//   BLOB              5000 bytes: 0a1b2c3d4e5f60718293a4b5c6d7e8f9...
//   MEMO, WIDEMEMO    12 bytes: "hola mundo" (the first characters, "..." when cut)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBFieldDef.h"

namespace zdb {

// Whether the field's values can be moved as text.
bool HasTextForm(const TZDBFieldDef& field);

// Writes the value into the record buffer (or marks it NULL). std::runtime_error with the
// reason when the text is not a value of the field: "field 'any': ..." .
void SetFieldFromText(const TZDBFieldDefs& fields, int32_t fieldNo, std::string_view text, uint8_t* recordBuffer);
// The value's text; empty for NULL.
std::string FieldAsText(const TZDBFieldDefs& fields, int32_t fieldNo, const uint8_t* recordBuffer);

// Whether a dump can show the field: a text form or a large value.
bool HasDumpForm(const TZDBFieldDef& field);
// A large value as a dump shows it, from its size and its first bytes (the whole value or
// more than LargeValuePrefixBytes of it).
inline constexpr int64_t LargeValuePrefixBytes = 64;
std::string LargeValueText(const TZDBFieldDef& field, int64_t size, const std::vector<uint8_t>& prefix);
// The field of the row in the cursor's buffer as a dump shows it; empty for NULL.
std::string FieldDumpText(TZDBDiskTableData& table, TZDBTableCursor& cursor, int32_t fieldNo);

}  // namespace zdb
