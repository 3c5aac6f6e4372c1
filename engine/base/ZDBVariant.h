// TZDBVariant: the engine's typed, nullable single value (field defaults, expression
// values, search keys of the dataset layer).
//
// A value has a storage type (None until one is set), a size, its bytes in the
// encoding of ZDBStorageType.h, and a null flag. It owns its bytes unless it borrows
// them (Assign or SetBuffer without copying): borrowed bytes are never written nor
// freed, and must outlive the value. It is NULL when flagged so or when it has no bytes.
//
// Setting a value through a typed setter keeps a typed value's own type (setting
// INTEGER 5 into a FLOAT value stores 5.0); an untyped value takes the setter's type.
// Empty text leaves the value NULL. A setter whose conversion fails leaves the value as
// it was. A typed getter reads the value converted to its type: NULL raises 30016
// "Value is Null", except that text getters give "".
//
// Not for sharing between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBDateTime.h"
#include "engine/base/ZDBExtended.h"
#include "engine/base/ZDBPlatformVariant.h"
#include "engine/base/ZDBStorageType.h"

namespace zdb {

class TStream;

class TZDBVariant {
 public:
  static constexpr uint8_t NullFlagNull = 0xFF;
  static constexpr uint8_t NullFlagValue = 0;

  explicit TZDBVariant(TZDBStorageType type = TZDBStorageType::None) : type_(type) {}
  // Copies own their bytes, also when the original borrows them.
  TZDBVariant(const TZDBVariant& other);
  TZDBVariant& operator=(const TZDBVariant& other);
  TZDBVariant(TZDBVariant&& other) noexcept;
  TZDBVariant& operator=(TZDBVariant&& other) noexcept;
  ~TZDBVariant() = default;

  TZDBStorageType DataType() const { return type_; }
  int32_t DataSize() const { return size_; }
  const uint8_t* Data() const { return data_; }
  bool Borrowed() const { return borrowed_; }
  bool IsNull() const { return nullFlag_ != NullFlagValue || data_ == nullptr; }

  // Releases owned bytes and becomes a NULL of the type, size 0.
  void SetNull(TZDBStorageType type);
  // Sets the null flag only: bytes, size and type stay.
  void MarkNull() { nullFlag_ = NullFlagNull; }
  // Takes the source's type, size and null flag; its bytes are copied, or borrowed when
  // copy is false.
  void Assign(const TZDBVariant& source, bool copy);
  // Takes size raw bytes of the type, copied or borrowed; the value is then not NULL
  // (unless size is 0).
  void SetBuffer(const void* bytes, int32_t size, bool copy, TZDBStorageType type);
  // Copies the bytes into destination; false for NULL and for a string of size <= 1.
  // capacity -1 is unbounded; a smaller capacity than the size raises 20056.
  bool GetBuffer(void* destination, int32_t capacity) const;

  int8_t AsShortInt() const;
  void SetAsShortInt(int8_t value);
  int16_t AsSmallInt() const;
  void SetAsSmallInt(int16_t value);
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);
  uint8_t AsByte() const;
  void SetAsByte(uint8_t value);
  uint16_t AsWord() const;
  void SetAsWord(uint16_t value);
  uint32_t AsCardinal() const;
  void SetAsCardinal(uint32_t value);
  // Windows-1252 text (STRING).
  std::string AsString() const;
  void SetAsString(std::string_view value);
  // UTF-16 text (WIDESTRING).
  std::u16string AsWideString() const;
  void SetAsWideString(std::u16string_view value);
  float AsSingle() const;
  void SetAsSingle(float value);
  double AsDouble() const;
  void SetAsDouble(double value);
  TZDBExtended AsExtended() const;
  void SetAsExtended(const TZDBExtended& value);
  // DATE as a date-time number, or as its DayNumber.
  double AsDate() const;
  void SetAsDate(double dateTime);
  int32_t AsDateDayNumber() const;
  void SetAsDateDayNumber(int32_t dayNumber);
  // TIME as a date-time number (the fraction), or as its milliseconds.
  double AsTime() const;
  void SetAsTime(double dateTime);
  int32_t AsTimeMilliseconds() const;
  void SetAsTimeMilliseconds(int32_t milliseconds);
  // DATETIME as a date-time number, or as its DayNumber and milliseconds.
  double AsDateTime() const;
  void SetAsDateTime(double dateTime);
  TZDBTimeStamp AsDateTimeStamp() const;
  void SetAsDateTimeStamp(const TZDBTimeStamp& stamp);
  // LOGICAL; true is written as -1.
  bool AsLogical() const;
  void SetAsLogical(bool value);
  double AsCurrency() const;
  void SetAsCurrency(double value);
  // A BLOB value's bytes but the last (a BLOB cast from text ends with its terminator).
  std::string AsBlob() const;

  // Exchange with the platform's variant. Setting: Empty and Null mark the value NULL,
  // each other supported kind goes through its typed setter; others raise 30113.
  // Getting: NULL gives Null; text, integers, floats (as Double), dates (as Date) and
  // LOGICAL (as Boolean) their kind; BLOB its AsBlob text; others raise 30114.
  PlatformVariant AsVariant() const;
  void SetAsVariant(const PlatformVariant& value);

  // Converts the value to the type in place (a NULL value is retyped); raises what the
  // conversion raises and then stays as it was.
  void CastTo(TZDBStorageType type);
  // CastTo, but a failing conversion leaves a NULL of the new type.
  void ChangeType(TZDBStorageType type);
  // Characters of a string value (size - 1, or size / 2 - 1 for wide); -1 for NULL and
  // for other types.
  int32_t StringLength() const;

  // Arithmetic in place, in CommonType(self, other) without date preference; self is
  // cast to that type first. Add concatenates text, adds numbers and the stored
  // integers of DATE and TIME, adds DATETIME days and milliseconds separately (a
  // millisecond sum beyond a day carries into the days) and ORs LOGICAL values;
  // Multiply and Divide do the same with products and quotients (integer division for
  // integer types) but refuse text. NULL: Add with a NULL other makes self NULL unless
  // self is text; a NULL self stays NULL, except that a NULL text self takes a copy of
  // the other value; Multiply and Divide with a NULL other make self NULL.
  // Errors: 30124, 30126, 30127 for operands without arithmetic, 30128 for a division
  // by zero or an overflowing integer division. Negate negates numbers and DATE in
  // their own type (narrow unsigned and signed types wrap; a nonzero CARDINAL or the
  // smallest INTEGER, LARGEINT or DATE overflows with std::overflow_error), inverts
  // LOGICAL, and raises 30123 for other types.
  void Negate();
  void Add(const TZDBVariant& other);
  void Multiply(const TZDBVariant& other);
  void Divide(const TZDBVariant& other);

  // CompareValues of the two values in the default locale. With prefix, the other
  // value's StringLength limits the comparison. rawNullCodes gives the result code
  // itself; otherwise 0 equal, 1 less, 2 greater, with NULL before any value.
  int Compare(const TZDBVariant& other, bool rawNullCodes, bool prefix, bool ignoreCase) const;

  // The stream form: type (1 byte), null flag (1 byte, 0xFF NULL), then for a value its
  // size (int32) and bytes. Loading starts from SetNull(None).
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

 private:
  void ReleaseBytes();
  void TakeBytes(std::vector<uint8_t> bytes);
  // The setter rule for a value given as `type`.
  void SetValue(TZDBStorageType type, const void* bytes, int32_t size);
  // The getter rule for a non-text type: the value's bytes as that type.
  std::vector<uint8_t> ValueAs(TZDBStorageType type) const;
  // Add, Multiply, Divide by their operator character '+', '*', '/'.
  void ApplyOperator(const TZDBVariant& other, char symbol);

  TZDBStorageType type_ = TZDBStorageType::None;
  int32_t size_ = 0;
  const uint8_t* data_ = nullptr;  // owned_.data() or borrowed bytes
  bool borrowed_ = false;
  uint8_t nullFlag_ = NullFlagNull;
  std::vector<uint8_t> owned_;
};

}  // namespace zdb
