// TField: one column of a dataset as the application reads and writes it.
//
// A field object belongs to one dataset, which owns it. It holds no value of its own:
// every read asks the dataset for the field's data in the row that the dataset's state
// selects (GetFieldData), every write hands new data to the dataset (SetFieldData). The
// data travels in the field's native form (NativeDataSize, FieldClasses.h).
//
// The typed accessors convert: a subclass implements the conversions its type allows,
// the others raise "Cannot access field '%s' as type %s". A null value reads as 0,
// false or empty text; AsVariant gives Null. A Null variant clears the field, and so
// does empty text assigned to a field that is not a text field. Texts are Windows-1252.
//
// A field is bound while its dataset is open: FieldNo is then the 1-based number of
// its field definition, 0 otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "engine/base/DataSetTypes.h"
#include "engine/base/ZDBPlatformVariant.h"

namespace data {

class TDataSet;

class TField {
 public:
  using TFieldNotifyEvent = std::function<void(TField&)>;

  virtual ~TField() = default;
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  const std::string& FieldName() const { return fieldName_; }
  // Refused while the owning dataset is open.
  void SetFieldName(std::string name);
  TFieldType DataType() const { return dataType_; }
  // Characters of a text field; 0 for the others.
  int Size() const { return size_; }
  void SetSize(int size);
  // Bytes of the native data GetData and SetData exchange.
  int DataSize() const;
  int FieldNo() const { return fieldNo_; }
  // Position among the dataset's fields; -1 without a dataset.
  int Index() const;

  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  const std::string& DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
  // The name messages use: the display label, else the field name.
  const std::string& DisplayName() const { return DisplayLabel(); }

  bool IsNull() const;
  void Clear();

  virtual int32_t AsInteger() const;
  virtual void SetAsInteger(int32_t value);
  virtual int64_t AsLargeInt() const;
  virtual void SetAsLargeInt(int64_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  // Date-time number: days since 1899-12-30, the time of day as the fraction.
  virtual double AsDateTime() const;
  virtual void SetAsDateTime(double value);
  virtual std::string AsString() const;
  virtual void SetAsString(std::string_view value);
  virtual zdb::PlatformVariant AsVariant() const;
  // Null and Empty clear; the other kinds go through the accessor of their kind.
  virtual void SetAsVariant(const zdb::PlatformVariant& value);

  // The value in the row an edit started from (the dataset's old-value state).
  zdb::PlatformVariant OldValue() const;

  // The text a grid shows: "" for null, else the value in the field's display format.
  std::string DisplayText() const;

  // The native data of the current row into buffer (which may be null to ask only
  // whether there is a value); false when the field is null or there is no row.
  bool GetData(void* buffer) const;
  // New native data, or null to clear; refused for a read-only field.
  void SetData(const void* buffer);
  // Runs OnValidate with the new data visible through the accessors. The dataset's
  // set-field-data hook calls it before storing.
  void Validate(const void* buffer);

  TFieldNotifyEvent OnValidate;

 protected:
  TField(TFieldType dataType, int size);

  [[noreturn]] void AccessError(const char* typeName) const;
  [[noreturn]] void Error(std::string_view pattern, std::initializer_list<std::string_view> args) const;
  virtual std::string GetDisplayText() const { return AsString(); }
  // Settings subclasses may change (string sizes) before binding.
  void SetDataType(TFieldType type) { dataType_ = type; }

 private:
  friend class TDataSet;

  TDataSet* dataSet_ = nullptr;
  std::string fieldName_;
  TFieldType dataType_;
  int size_;
  int fieldNo_ = 0;
  bool required_ = false;
  bool readOnly_ = false;
  bool visible_ = true;
  std::string displayLabel_;
  // The data being validated, read instead of the dataset's while OnValidate runs.
  const void* validating_ = nullptr;
  bool validatingNull_ = false;
};

}  // namespace data
