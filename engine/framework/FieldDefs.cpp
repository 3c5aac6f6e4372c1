#include "engine/framework/FieldDefs.h"

#include "engine/framework/DataConsts.h"
#include "engine/framework/DatabaseError.h"
#include "engine/framework/TextCase.h"

namespace data {

const TFieldDef& TFieldDefs::Add(std::string name, TFieldType type, int size, bool required) {
  if (name.empty()) DatabaseError(SFieldNameMissing);
  if (IndexOf(name) >= 0) DatabaseError(FormatMessage(SDuplicateFieldName, {name}));
  TFieldDef def;
  def.Name = std::move(name);
  def.DataType = type;
  def.Size = size;
  def.Required = required;
  def.FieldNo = Count() + 1;
  defs_.push_back(std::move(def));
  return defs_.back();
}

void TFieldDefs::Clear() {
  defs_.clear();
  updated_ = false;
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < defs_.size(); ++i)
    if (SameText(defs_[i].Name, name)) return static_cast<int>(i);
  return -1;
}

const TFieldDef& TFieldDefs::Find(std::string_view name) const {
  const int index = IndexOf(name);
  if (index < 0) DatabaseError(FormatMessage(SFieldNotFound, {name}));
  return defs_[static_cast<size_t>(index)];
}

}  // namespace data
