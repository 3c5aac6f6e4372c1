// The field classes a dataset creates for its field definitions, and the native data
// form of each field type: what GetFieldData and SetFieldData exchange.
//
//   ftString, ftFixedChar, ftGuid   Size characters and a terminating zero (Windows-1252)
//   ftWideString                    Size UTF-16 units and a terminating zero unit
//   ftSmallint / ftWord             int16 / uint16
//   ftInteger, ftAutoInc            int32
//   ftLargeint                      int64
//   ftBoolean                       uint16, 0 false, anything else true
//   ftFloat, ftCurrency             double
//   ftDate, ftTime, ftDateTime, ftTimeStamp
//                                   double date-time number (days since 1899-12-30,
//                                   time of day as the fraction; a date has no
//                                   fraction, a time no whole days)
// Integers and doubles are in the machine's own byte order: the data never leaves memory.
//   ftBlob, ftMemo                  none: the value goes through BLOB streams
//                                   (BlobFields.h); the data only tells NULL
// The other types (the binary ones) have no field class here.
#pragma once

#include <memory>

#include "engine/base/DataSetTypes.h"

namespace data {

class TField;

// Bytes of a field's native data; 0 for a type without a field class.
int NativeDataSize(TFieldType type, int size);

// A new field object of the class that shows the type; null for a type without one.
std::unique_ptr<TField> CreateFieldOfType(TFieldType type);

}  // namespace data
