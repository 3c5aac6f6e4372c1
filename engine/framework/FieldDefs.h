// TFieldDefs: the columns a dataset's rows have, as its subclass describes them (name,
// type, size, required), numbered from 1 in definition order. Field objects are created
// from them and bound to them by name, letter case ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/base/DataSetTypes.h"

namespace data {

struct TFieldDef {
  std::string Name;
  TFieldType DataType = TFieldType::ftUnknown;
  int Size = 0;  // characters of a text field, else 0
  bool Required = false;
  int FieldNo = 0;  // 1-based
};

class TFieldDefs {
 public:
  // Appends a definition; "Duplicate field name '%s'" when the name is taken, "Field
  // name missing" for an empty name.
  const TFieldDef& Add(std::string name, TFieldType type, int size = 0, bool required = false);
  void Clear();

  int Count() const { return static_cast<int>(defs_.size()); }
  const TFieldDef& operator[](int index) const { return defs_.at(static_cast<size_t>(index)); }
  // -1 when no definition has the name.
  int IndexOf(std::string_view name) const;
  // Raises "Field '%s' not found".
  const TFieldDef& Find(std::string_view name) const;

  // False when the definitions must be read again from the dataset's source.
  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }

 private:
  std::vector<TFieldDef> defs_;
  bool updated_ = false;
};

}  // namespace data
