// Constraint definitions and the constraint list of a table.
//
// A constraint names its table and its target: the field of a not-null or check
// constraint, the index that enforces a primary-key or unique constraint. A check
// constraint adds the bounds of the field's value, a key constraint the key's fields. A
// reserved name and two reserved IDs are carried along unchanged.
//
// Stored form: the definition prefix, then the reserved ID, the table's reserved ID and
// TargetObjectID (4 bytes each), then the reserved name, TableName and TargetName, each
//   not null, check:          1 byte n + 1, then the length byte n and n characters
//   primary key, unique:      4 bytes n + 1, then the same n + 1 bytes
// A check constraint continues with MinValue and MaxValue (TZDBVariant stream form); a
// key constraint with 4 bytes k and per column 4 bytes field ObjectID, 4 bytes m + 1 and
// the length byte m with the m characters of the field name.
// In a list every definition is preceded by its 1-byte ConstraintType.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBVariant.h"
#include "engine/table/ZDBMetaObjectDef.h"

namespace zdb {

class TZDBFieldDefs;
class TZDBIndexDefs;

enum class TZDBConstraintType : uint8_t { PrimaryKey = 0, Unique = 2, NotNull = 3, Check = 4 };

inline constexpr uint8_t ConstraintTypeCode(TZDBConstraintType type) { return static_cast<uint8_t>(type); }
// Whether the code is one of the four kinds the engine implements.
bool IsImplementedConstraintType(uint8_t code);

class TZDBConstraintDef : public TZDBMetaObjectDef {
 public:
  // A constraint of a bare type code; the kinds the engine implements are the subclasses.
  explicit TZDBConstraintDef(uint8_t constraintType) : constraintType_(constraintType) {}

  uint8_t ConstraintType() const { return constraintType_; }

  const std::string& ReservedName() const { return reservedName_; }
  void SetReservedName(std::string_view name);
  int32_t ReservedObjectID() const { return reservedObjectID_; }
  void SetReservedObjectID(int32_t objectID) { reservedObjectID_ = objectID; }
  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string_view name);
  int32_t TableObjectID() const { return tableObjectID_; }  // reserved
  void SetTableObjectID(int32_t objectID) { tableObjectID_ = objectID; }
  const std::string& TargetName() const { return targetName_; }
  void SetTargetName(std::string_view name);
  int32_t TargetObjectID() const { return targetObjectID_; }
  void SetTargetObjectID(int32_t objectID) { targetObjectID_ = objectID; }

  void Assign(const TZDBMetaObjectDef& source) override;

 protected:
  // The error codes of the three IDs, then of the prefix and the body of each of the
  // three names.
  using ReferenceCodes = const TZDBError* const[9];
  enum class NameFraming : uint8_t { Prefix8, Prefix32 };
  void LoadReferences(TStream& stream, const ReferenceCodes& codes, NameFraming framing);
  void SaveReferences(TStream& stream, const ReferenceCodes& codes, NameFraming framing) const;

 private:
  uint8_t constraintType_;
  std::string reservedName_;
  int32_t reservedObjectID_ = 0;
  std::string tableName_;
  int32_t tableObjectID_ = 0;
  std::string targetName_;
  int32_t targetObjectID_ = UnassignedObjectID;
};

// The field must not be NULL.
class TZDBConstraintDefNotNull : public TZDBConstraintDef {
 public:
  TZDBConstraintDefNotNull() : TZDBConstraintDef(ConstraintTypeCode(TZDBConstraintType::NotNull)) {}
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
};

// The field's value must lie within MinValue .. MaxValue; a NULL bound is not checked.
class TZDBConstraintDefCheck : public TZDBConstraintDef {
 public:
  TZDBConstraintDefCheck() : TZDBConstraintDef(ConstraintTypeCode(TZDBConstraintType::Check)) {}

  const TZDBVariant& MinValue() const { return minValue_; }
  void SetMinValue(const TZDBVariant& value) { minValue_.Assign(value, true); }
  const TZDBVariant& MaxValue() const { return maxValue_; }
  void SetMaxValue(const TZDBVariant& value) { maxValue_.Assign(value, true); }

  void Assign(const TZDBMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

 private:
  TZDBVariant minValue_;
  TZDBVariant maxValue_;
};

// One field of a key constraint.
struct TZDBConstraintColumn {
  std::string FieldName;  // at most 255 characters
  int32_t FieldObjectID = UnassignedObjectID;
  bool operator==(const TZDBConstraintColumn&) const = default;
};

// What primary-key and unique constraints share: the key's fields.
class TZDBKeyConstraintDef : public TZDBConstraintDef {
 public:
  const std::vector<TZDBConstraintColumn>& Columns() const { return columns_; }
  // Field names are cut to 255 characters.
  void SetColumns(std::vector<TZDBConstraintColumn> columns);
  std::vector<TZDBConstraintColumn>& MutableColumns() { return columns_; }

  void Assign(const TZDBMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

 protected:
  using TZDBConstraintDef::TZDBConstraintDef;

 private:
  std::vector<TZDBConstraintColumn> columns_;
};

class TZDBConstraintDefPrimary : public TZDBKeyConstraintDef {
 public:
  TZDBConstraintDefPrimary() : TZDBKeyConstraintDef(ConstraintTypeCode(TZDBConstraintType::PrimaryKey)) {}
};

class TZDBConstraintDefUnique : public TZDBKeyConstraintDef {
 public:
  TZDBConstraintDefUnique() : TZDBKeyConstraintDef(ConstraintTypeCode(TZDBConstraintType::Unique)) {}
};

class TZDBConstraintDefs : public TZDBMetaObjectDefsOf<TZDBConstraintDef> {
 public:
  using RandomSource = std::function<int32_t(int32_t range)>;
  static constexpr int32_t NameSuffixRange = 65535;

  TZDBConstraintDefNotNull& AddNotNull();
  TZDBConstraintDefCheck& AddCheck();
  TZDBConstraintDefPrimary& AddPrimary();
  TZDBConstraintDefUnique& AddUnique();

  // Reads the type byte in front of each definition and makes that kind; any other type
  // raises 30316 "Unknown Constraint Type: '%d'".
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

  // What happens when constraints are given to a table, in this order:
  // every constraint names the table;
  void SetTableName(std::string_view tableName);
  // each unnamed not-null or check constraint is named "$C_NotNull$<table>$<field>" or
  // "$C_Check$<table>$<field>", with a random number below 65535 appended while that
  // name is taken;
  void GenerateNames(const RandomSource& random = {});
  // references are resolved: a not-null or check target must name a field (30027
  // "Field '%s' not found"), a primary-key or unique target an index (30325, 30326
  // "Index '%s' not found") and each of its columns a field (30331, 30332); their
  // ObjectIDs are taken over. Other types raise 30037 "Not implemented yet".
  void Resolve(const TZDBFieldDefs& fields, const TZDBIndexDefs& indexes);

 protected:
  const char* ClassName() const override { return "TZDBConstraintDefs"; }
  // Copies by type; 30035 "Not implemented yet" for a type the engine does not implement.
  std::unique_ptr<TZDBMetaObjectDef> CreateLike(const TZDBMetaObjectDef& source) const override;

 private:
  template <typename Def>
  Def& AddNew();
  // An empty definition of the type; 30035 for a type the engine does not implement.
  static std::unique_ptr<TZDBConstraintDef> CreateOfType(uint8_t type);
};

}  // namespace zdb
