// Field values as the text of the tool's CSV files, both ways:
//   integers          decimal ("-12")
//   floating types    plain notation with a point ("2683.34"), and NAN, INF, -INF
//   DATE              2024-05-25          TIME     10:20:30 or 10:20:30.125
//   DATETIME          2024-05-25 10:20:30 (the time may be left out, or carry .125)
//   LOGICAL           true, false (also 1 and 0 when read)
//   text types        the characters, in UTF-8
// Empty text is NULL. BLOB, MEMO, BYTES and VARBYTES fields have no text form here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/table/ZDBFieldDef.h"

namespace zdbtool {

// Names and text kept in single-byte form (Windows-1252) and the UTF-8 of the command
// line and the CSV files. A character without a single-byte form: std::runtime_error.
std::string Utf8ToAnsi(std::string_view text);
std::string AnsiToUtf8(std::string_view text);

// Whether the field's values can be moved as text.
bool HasTextForm(const zdb::TZDBFieldDef& field);

// Writes the value into the record buffer (or marks it NULL). std::runtime_error with the
// reason when the text is not a value of the field: "field 'any': ..." .
void SetFieldFromText(const zdb::TZDBFieldDefs& fields, int32_t fieldNo, std::string_view text, uint8_t* recordBuffer);
// The value's text; empty for NULL.
std::string FieldAsText(const zdb::TZDBFieldDefs& fields, int32_t fieldNo, const uint8_t* recordBuffer);

}  // namespace zdbtool
