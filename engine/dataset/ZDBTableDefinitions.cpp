// A new table from plain definitions, and an open table's definitions as plain data.
#include "engine/dataset/ZDBTableDefinitions.h"

#include <memory>

#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBTableRowsState.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBConstraintManager.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBIndexManager.h"
#include "engine/table/ZDBTableAccess.h"

namespace zdb {
namespace {

TZDBConstraintDefinition ConstraintDefinition(const TZDBConstraintDef& constraint) {
  TZDBConstraintDefinition definition;
  definition.Name = constraint.Name();
  definition.TypeCode = constraint.ConstraintType();
  definition.TargetName = constraint.TargetName();
  switch (static_cast<TZDBConstraintType>(constraint.ConstraintType())) {
    case TZDBConstraintType::NotNull:
      definition.Kind = TZDBConstraintKind::NotNull;
      break;
    case TZDBConstraintType::Check: {
      const auto& check = static_cast<const TZDBConstraintDefCheck&>(constraint);
      definition.Kind = TZDBConstraintKind::Check;
      definition.HasMinValue = !check.MinValue().IsNull();
      definition.HasMaxValue = !check.MaxValue().IsNull();
      if (definition.HasMinValue) definition.MinValue = check.MinValue().AsString();
      if (definition.HasMaxValue) definition.MaxValue = check.MaxValue().AsString();
      break;
    }
    case TZDBConstraintType::PrimaryKey:
    case TZDBConstraintType::Unique: {
      const auto& key = static_cast<const TZDBKeyConstraintDef&>(constraint);
      definition.Kind = constraint.ConstraintType() == ConstraintTypeCode(TZDBConstraintType::PrimaryKey)
                            ? TZDBConstraintKind::PrimaryKey
                            : TZDBConstraintKind::Unique;
      for (const TZDBConstraintColumn& column : key.Columns()) definition.KeyFields.push_back(column.FieldName);
      break;
    }
  }
  return definition;
}

}  // namespace

void CreateTable(TZDBDatabase& database, const std::string& tableName, const std::vector<TZDBFieldDefinition>& fields,
                 const std::vector<TZDBIndexDefinition>& indexes, const std::vector<std::string>& notNullFields) {
  TZDBFieldDefs fieldDefs;
  for (const TZDBFieldDefinition& field : fields) {
    auto definition = std::make_unique<TZDBFieldDef>(field.Name, field.Type, field.Size);
    definition->SetBlobCompressionAlgorithm(field.BlobAlgorithm);
    definition->SetBlobCompressionMode(field.BlobLevel);
    fieldDefs.Add(std::move(definition));
  }
  TZDBIndexDefs indexDefs;
  TZDBConstraintDefs constraintDefs;
  for (const TZDBIndexDefinition& index : indexes) {
    auto definition = std::make_unique<TZDBIndexDef>();
    definition->SetName(index.Name);
    std::vector<TZDBIndexColumn> columns;
    for (const TZDBIndexColumnDefinition& column : index.Columns)
      columns.push_back({column.FieldName, column.Descending, column.CaseInsensitive});
    definition->SetColumns(std::move(columns));
    definition->SetUnique(index.Unique);
    definition->SetPrimary(index.Primary);
    indexDefs.Add(std::move(definition));
    if (!index.Unique && !index.Primary) continue;
    // The constraint an added index would get, so that keys are checked by name.
    TZDBKeyConstraintDef& key = index.Primary ? static_cast<TZDBKeyConstraintDef&>(constraintDefs.AddPrimary())
                                              : constraintDefs.AddUnique();
    std::string name = index.Primary ? "C_PK" : "C_Unique";
    std::vector<TZDBConstraintColumn> keyColumns;
    for (const TZDBIndexColumnDefinition& column : index.Columns) {
      name += "$" + column.FieldName;
      keyColumns.push_back({column.FieldName, UnassignedObjectID});
    }
    key.SetName(name);
    key.SetTargetName(index.Name);
    key.SetColumns(std::move(keyColumns));
  }
  for (const std::string& field : notNullFields) constraintDefs.AddNotNull().SetTargetName(field);

  CreateDiskTable(*database.DatabaseData(), *database.Handle(), tableName, fieldDefs, indexDefs, constraintDefs);
}

TZDBTableDefinitions TZDBTableRows::Definitions() const {
  TZDBDiskTableData& data = state_->Data();
  TZDBTableDefinitions definitions;
  definitions.TableName = data.TableName();
  const TZDBFieldDefs& fields = data.FieldManager()->FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TZDBFieldDef& field = fields.Items(i);
    definitions.Fields.push_back({field.Name(), field.LogicalType(), field.FieldSize(),
                                  field.BlobCompressionAlgorithm(), field.BlobCompressionMode(), field.IsBlob()});
  }
  const TZDBIndexDefs& indexes = data.IndexManager()->IndexDefs();
  for (int32_t i = 0; i < indexes.Count(); ++i) {
    const TZDBIndexDef& index = indexes.Items(i);
    if (index.Temporary()) continue;
    TZDBIndexDefinition definition{index.Name(), {}, index.Unique(), index.Primary()};
    for (const TZDBIndexColumn& column : index.Columns())
      definition.Columns.push_back({column.FieldName, column.Descending, column.CaseInsensitive});
    definitions.Indexes.push_back(std::move(definition));
  }
  const TZDBConstraintDefs& constraints = data.ConstraintManager()->ConstraintDefs();
  for (int32_t i = 0; i < constraints.Count(); ++i)
    definitions.Constraints.push_back(ConstraintDefinition(constraints.Items(i)));
  return definitions;
}

}  // namespace zdb
