#include "engine/table/ZDBMetaObjectDef.h"

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBTableListFile.h"
#include "engine/table/ZDBMetaStream.h"

namespace zdb {

bool SameObjectName(std::string_view a, std::string_view b) { return TZDBTableListFile::SameName(a, b); }

void TZDBMetaObjectDef::SetName(std::string_view name) { name_ = ToShortName(name); }

void TZDBMetaObjectDef::Assign(const TZDBMetaObjectDef& source) {
  name_ = source.name_;
  objectID_ = source.objectID_;
}

void TZDBMetaObjectDef::LoadFromStream(TStream& stream) {
  name_ = ReadShortName(stream, errors::MetaObjectReadNameLengthFailed, errors::MetaObjectReadNameFailed);
  objectID_ = ReadI32(stream, errors::MetaObjectReadObjectIDFailed);
}

void TZDBMetaObjectDef::SaveToStream(TStream& stream) const {
  WriteShortName(stream, name_, errors::MetaObjectWriteNameLengthFailed, errors::MetaObjectWriteNameFailed);
  WriteI32(stream, objectID_, errors::MetaObjectWriteObjectIDFailed);
}

TZDBMetaObjectDef& TZDBMetaObjectDefs::InternalAddCreated() { RaiseNotOverridden("InternalAddCreated"); }

std::unique_ptr<TZDBMetaObjectDef> TZDBMetaObjectDefs::CreateLike(const TZDBMetaObjectDef&) const {
  RaiseNotOverridden("InternalAddCreated");
}

void TZDBMetaObjectDefs::RaiseNotOverridden(const char* method) const {
  RaiseError(errors::NotOverridden, {method, ClassName()});
}

void TZDBMetaObjectDefs::LoadFromStream(TStream& stream) {
  Clear();
  const int32_t count = ReadCount(stream, errors::ListCountReadFailed);
  for (int32_t i = 0; i < count; ++i) InternalAddCreated().LoadFromStream(stream);
}

void TZDBMetaObjectDefs::SaveToStream(TStream& stream) const {
  WriteI32(stream, Count(), errors::ListCountWriteFailed);
  for (const auto& definition : items_) definition->SaveToStream(stream);
}

void TZDBMetaObjectDefs::Assign(const TZDBMetaObjectDefs& source) {
  if (&source == this) return;
  Clear();
  for (const auto& definition : source.items_) {
    const std::string& name = definition->Name();
    if (!name.empty() && IndexOfName(name) >= 0) RaiseError(errors::DuplicateFieldName, {name});
    std::unique_ptr<TZDBMetaObjectDef> copy = CreateLike(*definition);
    copy->Assign(*definition);
    items_.push_back(std::move(copy));
  }
}

void TZDBMetaObjectDefs::Delete(int32_t position) {
  CheckPosition(position, Count());
  items_.erase(items_.begin() + position);
}

void TZDBMetaObjectDefs::Move(int32_t from, int32_t to) {
  CheckPosition(from, Count());
  CheckPosition(to, Count());
  std::unique_ptr<TZDBMetaObjectDef> moved = std::move(items_[static_cast<size_t>(from)]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(moved));
}

int32_t TZDBMetaObjectDefs::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameObjectName(items_[i]->Name(), name)) return static_cast<int32_t>(i);
  return -1;
}

TZDBMetaObjectDef* TZDBMetaObjectDefs::FindByName(std::string_view name) const {
  const int32_t position = IndexOfName(name);
  return position < 0 ? nullptr : items_[static_cast<size_t>(position)].get();
}

int32_t TZDBMetaObjectDefs::IndexOfObjectID(int32_t objectID) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->ObjectID() == objectID) return static_cast<int32_t>(i);
  return -1;
}

TZDBMetaObjectDef* TZDBMetaObjectDefs::FindByObjectID(int32_t objectID) const {
  const int32_t position = IndexOfObjectID(objectID);
  return position < 0 ? nullptr : items_[static_cast<size_t>(position)].get();
}

void TZDBMetaObjectDefs::AssignObjectIDs(const std::function<int32_t()>& nextObjectID) {
  for (const auto& definition : items_) definition->SetObjectID(nextObjectID());
}

int32_t TZDBMetaObjectDefs::AddItem(std::unique_ptr<TZDBMetaObjectDef> definition) {
  items_.push_back(std::move(definition));
  return Count() - 1;
}

void TZDBMetaObjectDefs::InsertItem(int32_t position, std::unique_ptr<TZDBMetaObjectDef> definition) {
  CheckPosition(position, Count() + 1);  // inserting at the end appends
  items_.insert(items_.begin() + position, std::move(definition));
}

void TZDBMetaObjectDefs::ReplaceItem(int32_t position, std::unique_ptr<TZDBMetaObjectDef> definition) {
  CheckPosition(position, Count());
  items_[static_cast<size_t>(position)] = std::move(definition);
}

void TZDBMetaObjectDefs::CheckPosition(int32_t position, int32_t limit) const {
  if (position < 0 || position >= limit)
    RaiseError(errors::InvalidItemNumber, {position, Count()});
}

}  // namespace zdb
