// The common ground of table definitions: every field, index and constraint definition
// has a name and an engine-wide object identifier, and lives in an ordered list that
// owns it.
//
// Stored form of every definition begins with the prefix
//   1 byte name length n, n name characters, 4 bytes ObjectID
// and every list with a 4-byte count followed by its definitions.
//
// Names are compared without regard to letter case (as table names are); lookups scan
// the list and take the first match. A list copied with Assign must not meet a name
// twice (10424); unnamed definitions (constraints before they are named) do not count.
// Positions outside the list raise 10413.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBStream.h"

namespace zdb {

inline constexpr int32_t UnassignedObjectID = -1;

// Whether two definition names are the same name.
bool SameObjectName(std::string_view a, std::string_view b);

class TZDBMetaObjectDef {
 public:
  TZDBMetaObjectDef() = default;
  TZDBMetaObjectDef(const TZDBMetaObjectDef&) = delete;
  TZDBMetaObjectDef& operator=(const TZDBMetaObjectDef&) = delete;
  virtual ~TZDBMetaObjectDef() = default;

  const std::string& Name() const { return name_; }
  // Names longer than 255 characters are cut, as their length byte demands.
  void SetName(std::string_view name);
  int32_t ObjectID() const { return objectID_; }
  void SetObjectID(int32_t objectID) { objectID_ = objectID; }

  // Deep copy of every attribute the source shares with this definition (a constraint
  // keeps its own type: the class is the type).
  virtual void Assign(const TZDBMetaObjectDef& source);
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;

 private:
  std::string name_;
  int32_t objectID_ = UnassignedObjectID;
};

class TZDBMetaObjectDefs {
 public:
  TZDBMetaObjectDefs() = default;
  TZDBMetaObjectDefs(const TZDBMetaObjectDefs&) = delete;
  TZDBMetaObjectDefs& operator=(const TZDBMetaObjectDefs&) = delete;
  virtual ~TZDBMetaObjectDefs() = default;

  virtual int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // A new definition of the list's own kind, appended. The base list has no kind and
  // raises 30339 "The method '%s' not overrided in class '%s'".
  virtual TZDBMetaObjectDef& InternalAddCreated();
  // Clears the list, then reads the count and the definitions.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  // Clears the list, then copies the source's definitions in order.
  virtual void Assign(const TZDBMetaObjectDefs& source);
  virtual void Delete(int32_t position);
  virtual void Move(int32_t from, int32_t to);
  virtual void Clear() { items_.clear(); }

  // Asked per field of every row read or written: inline, the range check out of line.
  TZDBMetaObjectDef& Items(int32_t position) const {
    if (position < 0 || static_cast<size_t>(position) >= items_.size()) CheckPosition(position, Count());
    return *items_[static_cast<size_t>(position)];
  }
  int32_t IndexOfName(std::string_view name) const;
  TZDBMetaObjectDef* FindByName(std::string_view name) const;
  int32_t IndexOfObjectID(int32_t objectID) const;
  TZDBMetaObjectDef* FindByObjectID(int32_t objectID) const;

  // Gives every definition, in list order, a fresh ID from nextObjectID (the file's
  // object-ID counter when a list is given to a table).
  void AssignObjectIDs(const std::function<int32_t()>& nextObjectID);

 protected:
  // The list's class name in messages.
  virtual const char* ClassName() const { return "TZDBMetaObjectDefs"; }
  // An empty definition able to take a copy of source; the base list has none (30339).
  virtual std::unique_ptr<TZDBMetaObjectDef> CreateLike(const TZDBMetaObjectDef& source) const;
  [[noreturn]] void RaiseNotOverridden(const char* method) const;

  int32_t AddItem(std::unique_ptr<TZDBMetaObjectDef> definition);
  void InsertItem(int32_t position, std::unique_ptr<TZDBMetaObjectDef> definition);
  void ReplaceItem(int32_t position, std::unique_ptr<TZDBMetaObjectDef> definition);
  void CheckPosition(int32_t position, int32_t limit) const;
  const std::vector<std::unique_ptr<TZDBMetaObjectDef>>& Definitions() const { return items_; }

 private:
  std::vector<std::unique_ptr<TZDBMetaObjectDef>> items_;
};

// A list of one kind of definition, with its typed accessors.
template <typename Def>
class TZDBMetaObjectDefsOf : public TZDBMetaObjectDefs {
 public:
  int32_t Add(std::unique_ptr<Def> definition) { return AddItem(std::move(definition)); }
  void Insert(int32_t position, std::unique_ptr<Def> definition) { InsertItem(position, std::move(definition)); }
  Def& Items(int32_t position) const { return static_cast<Def&>(TZDBMetaObjectDefs::Items(position)); }
  Def* FindByName(std::string_view name) const {
    return static_cast<Def*>(TZDBMetaObjectDefs::FindByName(name));
  }
  Def* FindByObjectID(int32_t objectID) const {
    return static_cast<Def*>(TZDBMetaObjectDefs::FindByObjectID(objectID));
  }
};

}  // namespace zdb
