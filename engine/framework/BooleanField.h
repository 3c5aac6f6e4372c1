// Logical fields. Their text is one of the two DisplayValues ("True;False" unless set):
// reading gives the true or false text, writing accepts any leading part of either,
// letter case ignored (the false text is tried first).
#pragma once

#include <string>

#include "engine/framework/Field.h"

namespace data {

class TBooleanField : public TField {
 public:
  TBooleanField();

  // "true text;false text".
  const std::string& DisplayValues() const { return displayValues_; }
  void SetDisplayValues(std::string values);

  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  std::string AsString() const override;
  void SetAsString(std::string_view value) override;
  zdb::PlatformVariant AsVariant() const override;
  // Integers and numbers as false for 0 and true otherwise, text as by SetAsString.
  void SetAsVariant(const zdb::PlatformVariant& value) override;

 private:
  std::string displayValues_;
  std::string trueText_;
  std::string falseText_;
};

}  // namespace data
