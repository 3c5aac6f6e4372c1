// The value exchange between a record buffer and the dataset layer's field buffers.
//
// The dataset layer keeps each value in its own field buffer format. For most logical
// types that is the record-buffer format, MemoryDataSize bytes copied unchanged; four
// types differ:
//   SHORTINT   signed 16-bit   read sign-extended, written as the low byte
//   CARDINAL   signed 64-bit   read zero-extended, written as the low 4 bytes
//   SINGLE     double          read widened, written rounded to single
//   EXTENDED   double          read rounded to double, written widened to 80 bits
// A BLOB field only reports whether it is NULL; its content goes through BLOB streams.
#pragma once

#include <cstdint>

#include "engine/table/ZDBFieldDef.h"

namespace zdb {

// Bytes the dataset buffer of the field holds.
int32_t DatasetDataSize(const TZDBFieldDef& field);

// False when the field is NULL. With a dataset buffer the value is copied out and true
// answered; without one only the test is made. 10000 "Invalid field number - FieldNo =
// %d, FieldCount = %d" for a field number outside the list, 10003 "Nil pointer occured"
// without a record buffer, 10002 "Error getting field data - FieldNo = %d, MemoryOffset
// = %d, MemoryDataSize = %d" when the value cannot be copied out. recordBufferSize is the
// row's size where the caller knows it (-1: worked out from the list).
bool ReadFieldData(int32_t fieldNo, const TZDBFieldDefs& fieldDefs, uint8_t* datasetBuffer,
                   const uint8_t* recordBuffer, int32_t recordBufferSize = -1);

// Stores the value, or NULL: no dataset buffer, or empty text for the CHAR, STRING, GUID,
// WIDECHAR and WIDESTRING types, sets the null bit and leaves the field's bytes as they
// are. 10004 for a field number outside the list, 10001 without a record buffer.
void WriteFieldData(int32_t fieldNo, const TZDBFieldDefs& fieldDefs, const uint8_t* datasetBuffer,
                    uint8_t* recordBuffer);

}  // namespace zdb
