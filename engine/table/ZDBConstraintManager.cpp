#include "engine/table/ZDBConstraintManager.h"

#include <string>

#include "engine/base/ZDBException.h"
#include "engine/base/ZDBVariant.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBIndexManager.h"

namespace zdb {
namespace {

constexpr const char* PrimaryKeyPrefix = "C_PK";
constexpr const char* UniquePrefix = "C_Unique";
constexpr const char* NameSeparator = "$";

constexpr int VariantLess = 1;
constexpr int VariantGreater = 2;

// The first violation raises or makes the answer false.
class Verdict {
 public:
  explicit Verdict(bool raiseErrors) : raiseErrors_(raiseErrors) {}
  bool Fail(const TZDBError& error, std::initializer_list<FormatArg> args) const {
    if (raiseErrors_) RaiseError(error, args);
    return false;
  }

 private:
  bool raiseErrors_;
};

TZDBVariant FieldValue(const TZDBFieldDef& field, const uint8_t* recordBuffer) {
  TZDBVariant value;
  value.SetBuffer(recordBuffer + field.MemoryOffset(), field.MemoryDataSize(), true, field.StorageType());
  return value;
}

}  // namespace

bool TZDBBaseConstraintManager::CheckConstraints(const TZDBConstraintContext& context, int32_t session,
                                                 const uint8_t* recordBuffer, bool checkUniqueness, bool raiseErrors,
                                                 const TZDBRecordID& /*recordID*/, bool isInsert,
                                                 const uint8_t* oldRecordBuffer) {
  const Verdict verdict(raiseErrors);
  const TZDBFieldDefs* fields = context.Fields != nullptr ? &context.Fields->FieldDefs() : nullptr;
  const auto findField = [&](int32_t objectID, int32_t& fieldNo) -> const TZDBFieldDef* {
    fieldNo = fields != nullptr ? fields->IndexOfObjectID(objectID) : -1;
    return fieldNo >= 0 ? &fields->Items(fieldNo) : nullptr;
  };
  // An update whose key did not change keeps its own entry, which is no duplicate.
  const uint8_t* keyBefore = isInsert ? nullptr : oldRecordBuffer;

  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) {
    const TZDBConstraintDef& constraint = constraintDefs_.Items(i);
    const int32_t target = constraint.TargetObjectID();
    switch (static_cast<TZDBConstraintType>(constraint.ConstraintType())) {
      case TZDBConstraintType::NotNull: {
        int32_t fieldNo = 0;
        const TZDBFieldDef* field = findField(target, fieldNo);
        if (field == nullptr) return verdict.Fail(errors::NotNullFieldMissing, {target});
        if (IsFieldNull(recordBuffer, fieldNo))
          return verdict.Fail(errors::NotNullViolated, {constraint.Name(), field->Name()});
        break;
      }
      case TZDBConstraintType::Check: {
        int32_t fieldNo = 0;
        const TZDBFieldDef* field = findField(target, fieldNo);
        if (field == nullptr) return verdict.Fail(errors::CheckFieldMissing, {target});
        if (IsFieldNull(recordBuffer, fieldNo)) break;
        const auto& check = static_cast<const TZDBConstraintDefCheck&>(constraint);
        const TZDBVariant value = FieldValue(*field, recordBuffer);
        if (!check.MinValue().IsNull() && value.Compare(check.MinValue(), false, false, false) == VariantLess)
          return verdict.Fail(errors::BelowMinimum, {constraint.Name(), field->Name(), check.MinValue().AsString()});
        if (!check.MaxValue().IsNull() && value.Compare(check.MaxValue(), false, false, false) == VariantGreater)
          return verdict.Fail(errors::AboveMaximum, {constraint.Name(), field->Name(), check.MaxValue().AsString()});
        break;
      }
      case TZDBConstraintType::Unique: {
        if (!checkUniqueness || context.RecordCount == 0 || context.Indexes == nullptr) break;
        if (!context.Indexes->IsKeyFree(session, target, recordBuffer, keyBefore))
          return verdict.Fail(errors::UniqueKeyDuplicate, {constraint.Name()});
        break;
      }
      case TZDBConstraintType::PrimaryKey: {
        if (!checkUniqueness) break;
        const auto& key = static_cast<const TZDBKeyConstraintDef&>(constraint);
        bool allNull = !key.Columns().empty();
        std::string names;
        for (const TZDBConstraintColumn& column : key.Columns()) {
          int32_t fieldNo = 0;
          const TZDBFieldDef* field = findField(column.FieldObjectID, fieldNo);
          if (field != nullptr && !IsFieldNull(recordBuffer, fieldNo)) allNull = false;
          names += (names.empty() ? "" : ",") + column.FieldName;
        }
        if (allNull)
          return verdict.Fail(errors::PrimaryKeyNull, {constraint.Name(), names});
        if (context.Indexes != nullptr && context.RecordCount > 0 &&
            !context.Indexes->IsKeyFree(session, target, recordBuffer, keyBefore))
          return verdict.Fail(errors::PrimaryKeyDuplicate, {constraint.Name()});
        break;
      }
      default:
        return verdict.Fail(errors::ConstraintTypeNotImplemented, {});
    }
  }
  return true;
}

int32_t TZDBBaseConstraintManager::AddConstraintForIndex(const TZDBIndexDef& index, std::string_view tableName,
                                                         int32_t objectID, const TZDBBaseFieldManager& fields) {
  TZDBKeyConstraintDef& constraint =
      index.Primary() ? static_cast<TZDBKeyConstraintDef&>(constraintDefs_.AddPrimary()) : constraintDefs_.AddUnique();
  std::string name = index.Primary() ? PrimaryKeyPrefix : UniquePrefix;
  std::vector<TZDBConstraintColumn> columns;
  for (const TZDBIndexColumn& column : index.Columns()) {
    name += NameSeparator + column.FieldName;
    const TZDBFieldDef* field = fields.FieldDefs().FindByName(column.FieldName);
    columns.push_back({column.FieldName, field != nullptr ? field->ObjectID() : UnassignedObjectID});
  }
  constraint.SetName(name);
  constraint.SetObjectID(objectID);
  constraint.SetTableName(tableName);
  constraint.SetTargetName(index.Name());
  constraint.SetTargetObjectID(index.ObjectID());
  constraint.SetColumns(std::move(columns));
  return objectID;
}

bool TZDBBaseConstraintManager::DropConstraintForIndex(int32_t indexObjectID) {
  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) {
    const TZDBConstraintDef& constraint = constraintDefs_.Items(i);
    const auto type = static_cast<TZDBConstraintType>(constraint.ConstraintType());
    if ((type == TZDBConstraintType::PrimaryKey || type == TZDBConstraintType::Unique) &&
        constraint.TargetObjectID() == indexObjectID) {
      constraintDefs_.Delete(i);
      return true;
    }
  }
  return false;
}

void TZDBBaseConstraintManager::RenameField(std::string_view oldName, std::string_view newName) {
  for (int32_t i = 0; i < constraintDefs_.Count(); ++i) {
    TZDBConstraintDef& constraint = constraintDefs_.Items(i);
    const auto type = static_cast<TZDBConstraintType>(constraint.ConstraintType());
    if (type == TZDBConstraintType::NotNull || type == TZDBConstraintType::Check) {
      if (SameObjectName(constraint.TargetName(), oldName)) constraint.SetTargetName(newName);
      continue;
    }
    if (type != TZDBConstraintType::PrimaryKey && type != TZDBConstraintType::Unique) continue;
    for (TZDBConstraintColumn& column : static_cast<TZDBKeyConstraintDef&>(constraint).MutableColumns())
      if (SameObjectName(column.FieldName, oldName)) column.FieldName = std::string(newName.substr(0, 255));
  }
}

}  // namespace zdb
