#include "engine/base/ZDBVariant.h"

#include <bit>
#include <cstring>
#include <string>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBValueCompare.h"
#include "engine/base/ZDBValueConvert.h"
#include "engine/base/ZDBValueView.h"

namespace zdb {
namespace {

using T = TZDBStorageType;

template <typename Put, typename V>
std::vector<uint8_t> Encoded(int32_t width, Put put, V value) {
  std::vector<uint8_t> bytes(static_cast<size_t>(width));
  put(bytes.data(), value);
  return bytes;
}

[[noreturn]] void RaiseNotRepresentable(T from, T to) {
  RaiseError(errors::CastFailed, {StorageTypeName(from), StorageTypeName(to)});
}

}  // namespace

TZDBVariant::TZDBVariant(const TZDBVariant& other) : type_(other.type_) { Assign(other, true); }

TZDBVariant& TZDBVariant::operator=(const TZDBVariant& other) {
  if (this != &other) Assign(other, true);
  return *this;
}

TZDBVariant::TZDBVariant(TZDBVariant&& other) noexcept { *this = std::move(other); }

TZDBVariant& TZDBVariant::operator=(TZDBVariant&& other) noexcept {
  if (this == &other) return *this;
  type_ = other.type_;
  size_ = other.size_;
  borrowed_ = other.borrowed_;
  nullFlag_ = other.nullFlag_;
  const bool ownsBytes = other.data_ != nullptr && !other.borrowed_;
  owned_ = std::move(other.owned_);
  data_ = ownsBytes ? owned_.data() : other.data_;
  other.owned_.clear();
  other.data_ = nullptr;
  other.size_ = 0;
  other.borrowed_ = false;
  other.nullFlag_ = NullFlagNull;
  return *this;
}

void TZDBVariant::ReleaseBytes() {
  owned_.clear();
  owned_.shrink_to_fit();
  data_ = nullptr;
  size_ = 0;
  borrowed_ = false;
}

void TZDBVariant::TakeBytes(std::vector<uint8_t> bytes) {
  owned_ = std::move(bytes);
  size_ = static_cast<int32_t>(owned_.size());
  data_ = owned_.empty() ? nullptr : owned_.data();
  borrowed_ = false;
  nullFlag_ = NullFlagValue;
}

void TZDBVariant::SetNull(TZDBStorageType type) {
  ReleaseBytes();
  type_ = type;
  nullFlag_ = NullFlagNull;
}

void TZDBVariant::Assign(const TZDBVariant& source, bool copy) {
  if (&source == this) return;
  std::vector<uint8_t> bytes;
  if (!source.IsNull() && copy) bytes.assign(source.data_, source.data_ + source.size_);
  ReleaseBytes();
  type_ = source.type_;
  nullFlag_ = source.nullFlag_;
  if (source.IsNull()) {
    size_ = source.size_;
    return;
  }
  if (copy) {
    TakeBytes(std::move(bytes));
  } else {
    data_ = source.data_;
    size_ = source.size_;
    borrowed_ = true;
  }
}

void TZDBVariant::SetBuffer(const void* bytes, int32_t size, bool copy, TZDBStorageType type) {
  if (size < 0 || bytes == nullptr) size = 0;
  const auto* source = static_cast<const uint8_t*>(bytes);
  if (!copy) {
    ReleaseBytes();
    type_ = type;
    data_ = size > 0 ? source : nullptr;
    size_ = size;
    borrowed_ = true;
    nullFlag_ = NullFlagValue;
    return;
  }
  if (!borrowed_ && data_ != nullptr && size_ == size && source != data_) {
    std::memcpy(owned_.data(), source, static_cast<size_t>(size));  // same size: reuse
    type_ = type;
    nullFlag_ = NullFlagValue;
    return;
  }
  std::vector<uint8_t> copyOfBytes(source, source + size);
  type_ = type;
  TakeBytes(std::move(copyOfBytes));
}

bool TZDBVariant::GetBuffer(void* destination, int32_t capacity) const {
  if (IsNull()) return false;
  if (IsStringType(type_) && size_ <= 1) return false;
  if (capacity != -1 && capacity < size_) RaiseError(errors::BufferSizeExceeded);
  std::memcpy(destination, data_, static_cast<size_t>(size_));
  return true;
}

void TZDBVariant::SetValue(TZDBStorageType type, const void* bytes, int32_t size) {
  const int32_t width = FixedValueSize(type);
  if (type_ == type && width > 0 && !borrowed_ && data_ != nullptr && size_ == width) {
    std::memcpy(owned_.data(), bytes, static_cast<size_t>(width));  // overwrite in place
    nullFlag_ = NullFlagValue;
    return;
  }
  const TZDBStorageType target = type_ == T::None ? type : type_;
  const bool emptyText = IsTextType(type) && size <= (IsWideTextType(type) ? 2 : 1);
  std::vector<uint8_t> value;
  if (!emptyText) value = target == type ? CopyValue(type, bytes, size) : ConvertValue(bytes, size, type, target);
  ReleaseBytes();
  type_ = target;
  nullFlag_ = NullFlagNull;
  if (!emptyText) TakeBytes(std::move(value));
}

std::vector<uint8_t> TZDBVariant::ValueAs(TZDBStorageType type) const {
  if (IsNull()) RaiseError(errors::ValueIsNull);
  if (type_ == type) return std::vector<uint8_t>(data_, data_ + size_);
  return ConvertValue(data_, size_, type_, type);
}

int8_t TZDBVariant::AsShortInt() const { return TZDBValueView(ValueAs(T::ShortInt).data(), 1).ShortInt(); }
void TZDBVariant::SetAsShortInt(int8_t value) {
  const uint8_t byte = static_cast<uint8_t>(value);
  SetValue(T::ShortInt, &byte, 1);
}

int16_t TZDBVariant::AsSmallInt() const {
  const auto bytes = ValueAs(T::SmallInt);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).SmallInt();
}
void TZDBVariant::SetAsSmallInt(int16_t value) {
  const auto bytes = Encoded(2, le::PutI16, value);
  SetValue(T::SmallInt, bytes.data(), 2);
}

int32_t TZDBVariant::AsInteger() const {
  const auto bytes = ValueAs(T::Integer);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Integer();
}
void TZDBVariant::SetAsInteger(int32_t value) {
  const auto bytes = Encoded(4, le::PutI32, value);
  SetValue(T::Integer, bytes.data(), 4);
}

int64_t TZDBVariant::AsLargeInt() const {
  const auto bytes = ValueAs(T::LargeInt);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).LargeInt();
}
void TZDBVariant::SetAsLargeInt(int64_t value) {
  const auto bytes = Encoded(8, le::PutI64, value);
  SetValue(T::LargeInt, bytes.data(), 8);
}

uint8_t TZDBVariant::AsByte() const {
  const auto bytes = ValueAs(T::Byte);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Byte();
}
void TZDBVariant::SetAsByte(uint8_t value) { SetValue(T::Byte, &value, 1); }

uint16_t TZDBVariant::AsWord() const {
  const auto bytes = ValueAs(T::Word);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Word();
}
void TZDBVariant::SetAsWord(uint16_t value) {
  const auto bytes = Encoded(2, le::PutU16, value);
  SetValue(T::Word, bytes.data(), 2);
}

uint32_t TZDBVariant::AsCardinal() const {
  const auto bytes = ValueAs(T::Cardinal);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Cardinal();
}
void TZDBVariant::SetAsCardinal(uint32_t value) {
  const auto bytes = Encoded(4, le::PutU32, value);
  SetValue(T::Cardinal, bytes.data(), 4);
}

std::string TZDBVariant::AsString() const {
  if (IsNull()) return "";
  if (type_ == T::String) return std::string(TZDBValueView(data_, size_).AnsiText());
  const auto bytes = ConvertValue(data_, size_, type_, T::String);
  return std::string(TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).AnsiText());
}
void TZDBVariant::SetAsString(std::string_view value) {
  std::vector<uint8_t> bytes(value.begin(), value.end());
  bytes.push_back(0);
  SetValue(T::String, bytes.data(), static_cast<int32_t>(bytes.size()));
}

std::u16string TZDBVariant::AsWideString() const {
  if (IsNull()) return u"";
  if (type_ == T::WideString) return TZDBValueView(data_, size_).WideText();
  const auto bytes = ConvertValue(data_, size_, type_, T::WideString);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).WideText();
}
void TZDBVariant::SetAsWideString(std::u16string_view value) {
  std::vector<uint8_t> bytes((value.size() + 1) * 2, 0);
  for (size_t i = 0; i < value.size(); ++i) le::PutU16(bytes.data() + 2 * i, value[i]);
  SetValue(T::WideString, bytes.data(), static_cast<int32_t>(bytes.size()));
}

float TZDBVariant::AsSingle() const {
  const auto bytes = ValueAs(T::Single);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Single();
}
void TZDBVariant::SetAsSingle(float value) {
  const auto bytes = Encoded(4, le::PutU32, std::bit_cast<uint32_t>(value));
  SetValue(T::Single, bytes.data(), 4);
}

double TZDBVariant::AsDouble() const {
  const auto bytes = ValueAs(T::Float);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Float();
}
void TZDBVariant::SetAsDouble(double value) {
  const auto bytes = Encoded(8, le::PutDouble, value);
  SetValue(T::Float, bytes.data(), 8);
}

TZDBExtended TZDBVariant::AsExtended() const {
  const auto bytes = ValueAs(T::Extended);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Extended();
}
void TZDBVariant::SetAsExtended(const TZDBExtended& value) {
  uint8_t bytes[TZDBExtended::ByteSize];
  value.ToBytes(bytes);
  SetValue(T::Extended, bytes, TZDBExtended::ByteSize);
}

double TZDBVariant::AsDate() const { return DayNumberToDateTime(AsDateDayNumber()); }
void TZDBVariant::SetAsDate(double dateTime) {
  int32_t dayNumber = 0;
  if (!TryDateTimeToDayNumber(dateTime, dayNumber)) RaiseNotRepresentable(T::Float, T::Date);
  SetAsDateDayNumber(dayNumber);
}
int32_t TZDBVariant::AsDateDayNumber() const {
  const auto bytes = ValueAs(T::Date);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Integer();
}
void TZDBVariant::SetAsDateDayNumber(int32_t dayNumber) {
  const auto bytes = Encoded(4, le::PutI32, dayNumber);
  SetValue(T::Date, bytes.data(), 4);
}

double TZDBVariant::AsTime() const { return MillisecondsToDateTime(AsTimeMilliseconds()); }
void TZDBVariant::SetAsTime(double dateTime) {
  int32_t milliseconds = 0;
  if (!TryDateTimeToMilliseconds(dateTime, milliseconds)) RaiseNotRepresentable(T::Float, T::Time);
  SetAsTimeMilliseconds(milliseconds);
}
int32_t TZDBVariant::AsTimeMilliseconds() const {
  const auto bytes = ValueAs(T::Time);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Integer();
}
void TZDBVariant::SetAsTimeMilliseconds(int32_t milliseconds) {
  const auto bytes = Encoded(4, le::PutI32, milliseconds);
  SetValue(T::Time, bytes.data(), 4);
}

double TZDBVariant::AsDateTime() const { return TimeStampToDateTime(AsDateTimeStamp()); }
void TZDBVariant::SetAsDateTime(double dateTime) {
  TZDBTimeStamp stamp;
  if (!TryDateTimeToTimeStamp(dateTime, stamp)) RaiseNotRepresentable(T::Float, T::DateTime);
  SetAsDateTimeStamp(stamp);
}
TZDBTimeStamp TZDBVariant::AsDateTimeStamp() const {
  const auto bytes = ValueAs(T::DateTime);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).TimeStamp();
}
void TZDBVariant::SetAsDateTimeStamp(const TZDBTimeStamp& stamp) {
  uint8_t bytes[8];
  le::PutI32(bytes, stamp.Date);
  le::PutI32(bytes + 4, stamp.Time);
  SetValue(T::DateTime, bytes, 8);
}

bool TZDBVariant::AsLogical() const {
  const auto bytes = ValueAs(T::Logical);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Logical();
}
void TZDBVariant::SetAsLogical(bool value) {
  const auto bytes = Encoded(2, le::PutI16, static_cast<int16_t>(value ? -1 : 0));
  SetValue(T::Logical, bytes.data(), 2);
}

double TZDBVariant::AsCurrency() const {
  const auto bytes = ValueAs(T::Currency);
  return TZDBValueView(bytes.data(), static_cast<int32_t>(bytes.size())).Float();
}
void TZDBVariant::SetAsCurrency(double value) {
  const auto bytes = Encoded(8, le::PutDouble, value);
  SetValue(T::Currency, bytes.data(), 8);
}

std::string TZDBVariant::AsBlob() const {
  const auto bytes = ValueAs(T::Blob);
  if (bytes.size() <= 1) return "";
  return std::string(bytes.begin(), bytes.end() - 1);
}

PlatformVariant TZDBVariant::AsVariant() const {
  if (IsNull()) return PlatformVariant::Null();
  switch (type_) {
    case T::Char:
    case T::String:
      return PlatformVariant::AnsiText(AsString());
    case T::WideChar:
    case T::WideString:
      return PlatformVariant::WideText(AsWideString());
    case T::ShortInt:
      return PlatformVariant::Integral(TVarType::ShortInt, AsShortInt());
    case T::SmallInt:
      return PlatformVariant::Integral(TVarType::SmallInt, AsSmallInt());
    case T::Integer:
      return PlatformVariant::Integral(TVarType::Integer, AsInteger());
    case T::LargeInt:
      return PlatformVariant::Integral(TVarType::Int64, AsLargeInt());
    case T::Byte:
      return PlatformVariant::Integral(TVarType::Byte, AsByte());
    case T::Word:
      return PlatformVariant::Integral(TVarType::Word, AsWord());
    case T::Cardinal:
      return PlatformVariant::Integral(TVarType::LongWord, AsCardinal());
    case T::Single:
    case T::Float:
    case T::Currency:
      return PlatformVariant::Real(TVarType::Double, AsDouble());
    case T::Extended:
      return PlatformVariant::Real(TVarType::Double, AsExtended().ToDouble());
    case T::Date:
      return PlatformVariant::Real(TVarType::Date, AsDate());
    case T::Time:
      return PlatformVariant::Real(TVarType::Date, AsTime());
    case T::DateTime:
      return PlatformVariant::Real(TVarType::Date, AsDateTime());
    case T::Logical:
      return PlatformVariant::Boolean(AsLogical());
    case T::Blob:
      return PlatformVariant::AnsiText(AsBlob());
    default:
      RaiseError(errors::VariantTypeUnsupported, {StorageTypeName(type_)});
  }
}

void TZDBVariant::SetAsVariant(const PlatformVariant& value) {
  switch (value.Type()) {
    case TVarType::Empty:
    case TVarType::Null:
      MarkNull();
      return;
    case TVarType::SmallInt:
      return SetAsSmallInt(static_cast<int16_t>(value.AsInt64()));
    case TVarType::Integer:
      return SetAsInteger(static_cast<int32_t>(value.AsInt64()));
    case TVarType::Single:
      return SetAsSingle(static_cast<float>(value.AsDouble()));
    case TVarType::Double:
      return SetAsDouble(value.AsDouble());
    case TVarType::Currency:
      return SetAsCurrency(value.AsDouble());
    case TVarType::Date:
      return SetAsDateTime(value.AsDouble());
    case TVarType::OleStr:
      return SetAsWideString(value.AsWideText());
    case TVarType::Boolean:
      return SetAsLogical(value.AsBoolean());
    case TVarType::ShortInt:
      return SetAsShortInt(static_cast<int8_t>(value.AsInt64()));
    case TVarType::Byte:
      return SetAsByte(static_cast<uint8_t>(value.AsInt64()));
    case TVarType::Word:
      return SetAsWord(static_cast<uint16_t>(value.AsInt64()));
    case TVarType::LongWord:
      return SetAsCardinal(static_cast<uint32_t>(value.AsInt64()));
    case TVarType::Int64:
      return SetAsLargeInt(value.AsInt64());
    case TVarType::String:
      return SetAsString(value.AsAnsiText());
    default:
      RaiseError(errors::VariantKindUnsupported, {std::to_string(static_cast<uint16_t>(value.Type()))});
  }
}

void TZDBVariant::CastTo(TZDBStorageType type) {
  if (type_ == type) return;
  if (IsNull()) {
    SetNull(type);
    return;
  }
  std::vector<uint8_t> bytes;
  if (type_ == T::Memo && type == T::String) {
    bytes.assign(data_, data_ + size_);
    bytes.push_back(0);
  } else {
    bytes = ConvertValue(data_, size_, type_, type);
  }
  type_ = type;
  TakeBytes(std::move(bytes));
}

void TZDBVariant::ChangeType(TZDBStorageType type) {
  try {
    CastTo(type);
  } catch (const EZDBException&) {
    SetNull(type);
  }
}

int32_t TZDBVariant::StringLength() const {
  if (IsNull() || !IsStringType(type_)) return -1;
  return IsWideStringType(type_) ? size_ / 2 - 1 : size_ - 1;
}

int TZDBVariant::Compare(const TZDBVariant& other, bool rawNullCodes, bool prefix, bool ignoreCase) const {
  const int32_t prefixLength = prefix ? other.StringLength() : -1;
  const int code = CompareValues(data_, other.data_, type_, other.type_, ignoreCase, prefixLength, IsNull(),
                                 other.IsNull(), size_, other.size_);
  if (rawNullCodes) return code;
  switch (code) {
    case CompareFirstNull:
      return CompareLess;
    case CompareSecondNull:
      return CompareGreater;
    case CompareBothNull:
      return CompareEqual;
    default:
      return code;
  }
}

}  // namespace zdb
