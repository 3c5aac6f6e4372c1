#include "engine/framework/Field.h"

#include <cstring>
#include <vector>

#include "engine/base/ZDBAnsiText.h"
#include "engine/framework/DataConsts.h"
#include "engine/framework/DataSet.h"
#include "engine/framework/DatabaseError.h"
#include "engine/framework/FieldClasses.h"

namespace data {

using zdb::PlatformVariant;
using zdb::TVarType;

TField::TField(TFieldType dataType, int size) : dataType_(dataType), size_(size) {}

void TField::SetFieldName(std::string name) {
  if (dataSet_ != nullptr) {
    dataSet_->CheckInactive();
    const TField* other = dataSet_->FindField(name);
    if (other != nullptr && other != this) Error(SDuplicateFieldName, {name});
  }
  fieldName_ = std::move(name);
}

void TField::SetSize(int size) {
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  size_ = size;
}

int TField::DataSize() const { return NativeDataSize(dataType_, size_); }

int TField::Index() const { return dataSet_ == nullptr ? -1 : dataSet_->IndexOfField(this); }

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

void TField::AccessError(const char* typeName) const { Error(SFieldAccessError, {DisplayName(), typeName}); }

void TField::Error(std::string_view pattern, std::initializer_list<std::string_view> args) const {
  DatabaseError(FormatMessage(pattern, args));
}

int32_t TField::AsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(int32_t) { AccessError("Integer"); }
int64_t TField::AsLargeInt() const { AccessError("LargeInt"); }
void TField::SetAsLargeInt(int64_t) { AccessError("LargeInt"); }
double TField::AsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
bool TField::AsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
double TField::AsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(double) { AccessError("DateTime"); }
std::string TField::AsString() const { AccessError("String"); }
void TField::SetAsString(std::string_view) { AccessError("String"); }
PlatformVariant TField::AsVariant() const { AccessError("Variant"); }

void TField::SetAsVariant(const PlatformVariant& value) {
  switch (value.Type()) {
    case TVarType::Empty:
    case TVarType::Null:
      Clear();
      return;
    case TVarType::SmallInt:
    case TVarType::Integer:
    case TVarType::ShortInt:
    case TVarType::Byte:
    case TVarType::Word:
    case TVarType::LongWord:
    case TVarType::Int64:
      SetAsLargeInt(value.AsInt64());
      return;
    case TVarType::Single:
    case TVarType::Double:
    case TVarType::Currency:
      SetAsFloat(value.AsDouble());
      return;
    case TVarType::Date:
      SetAsDateTime(value.AsDouble());
      return;
    case TVarType::Boolean:
      SetAsBoolean(value.AsBoolean());
      return;
    case TVarType::String:
      SetAsString(value.AsAnsiText());
      return;
    case TVarType::OleStr:
      SetAsString(zdb::WideToAnsi(value.AsWideText()));
      return;
    default:
      DatabaseError(SInvalidVarCast);
  }
}

PlatformVariant TField::OldValue() const {
  if (dataSet_ == nullptr) Error(SDataSetMissing, {DisplayName()});
  const TDataSetState saved = dataSet_->SetTempState(TDataSetState::dsOldValue);
  try {
    PlatformVariant value = AsVariant();
    dataSet_->RestoreState(saved);
    return value;
  } catch (...) {
    dataSet_->RestoreState(saved);
    throw;
  }
}

std::string TField::DisplayText() const { return IsNull() ? std::string() : GetDisplayText(); }

bool TField::GetData(void* buffer) const {
  if (validating_ != nullptr || validatingNull_) {
    if (validatingNull_) return false;
    if (buffer != nullptr) std::memcpy(buffer, validating_, static_cast<size_t>(DataSize()));
    return true;
  }
  if (dataSet_ == nullptr) Error(SDataSetMissing, {DisplayName()});
  return dataSet_->GetFieldData(*this, buffer);
}

void TField::SetData(const void* buffer) {
  if (dataSet_ == nullptr) Error(SDataSetMissing, {DisplayName()});
  if (readOnly_) Error(SFieldReadOnly, {DisplayName()});
  dataSet_->SetFieldData(*this, buffer);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  // A copy, so that a handler that writes the field cannot pull the data away.
  std::vector<uint8_t> copy;
  if (buffer != nullptr) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    copy.assign(bytes, bytes + DataSize());
  }
  validating_ = buffer != nullptr ? copy.data() : nullptr;
  validatingNull_ = buffer == nullptr;
  try {
    OnValidate(*this);
  } catch (...) {
    validating_ = nullptr;
    validatingNull_ = false;
    throw;
  }
  validating_ = nullptr;
  validatingNull_ = false;
}

}  // namespace data
