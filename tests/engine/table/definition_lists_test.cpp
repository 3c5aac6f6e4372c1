#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using L = TZDBLogicalType;

std::vector<std::string> NamesOf(const TZDBMetaObjectDefs& list) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.Items(i).Name());
  return names;
}

TEST(DefinitionLists, FindByNameIgnoringCaseAndByObjectID) {
  TZDBFieldDefs fields;
  AddMaximoFields(fields);
  int32_t next = 20;
  fields.AssignObjectIDs([&] { return next++; });
  EXPECT_EQ(fields.IndexOfName("PENMAX"), 1);
  EXPECT_EQ(fields.FindByName("topecot")->ObjectID(), 22);
  EXPECT_EQ(fields.IndexOfName("Pen"), -1);
  EXPECT_EQ(fields.FindByName("missing"), nullptr);
  EXPECT_EQ(fields.IndexOfObjectID(21), 1);
  EXPECT_EQ(fields.FindByObjectID(20)->Name(), "any");
  EXPECT_EQ(fields.FindByObjectID(-1), nullptr);
}

TEST(DefinitionLists, InsertMoveAndDeleteKeepTheOrderAndCheckPositions) {
  TZDBFieldDefs fields;
  AddMaximoFields(fields);
  fields.Insert(0, Field("first", L::Byte));
  fields.Insert(4, Field("last", L::Byte));
  fields.Move(0, 2);
  fields.Delete(1);
  EXPECT_EQ(NamesOf(fields), (std::vector<std::string>{"any", "first", "TopeCot", "last"}));

  TZDBIndexDefs indexes;
  indexes.Add(std::make_unique<TZDBIndexDef>());
  auto replacement = std::make_unique<TZDBIndexDef>();
  replacement->SetName("new");
  indexes.SetItem(0, std::move(replacement));
  EXPECT_EQ(indexes.Items(0).Name(), "new");

  const RaisedError error = ErrorOf([&] { fields.Items(4); });
  EXPECT_EQ(error.code, 10413);
  EXPECT_EQ(error.message, "Invalid item number - ItemNo = 4, ItemCount = 4");
  EXPECT_EQ(ErrorOf([&] { fields.Delete(-1); }).code, 10413);
  EXPECT_EQ(ErrorOf([&] { fields.Move(0, 4); }).code, 10413);
  EXPECT_EQ(ErrorOf([&] { fields.Insert(6, Field("x", L::Byte)); }).code, 10413);
}

TEST(DefinitionLists, AssignCopiesDeeplyAndRefusesDuplicateNames) {
  TZDBFieldDefs source;
  AddMaximoFields(source);
  source.RecomputeOffsets();
  TZDBFieldDefs copy;
  copy.Add(Field("old", L::Byte));
  copy.Assign(source);
  EXPECT_EQ(NamesOf(copy), NamesOf(source));
  EXPECT_EQ(copy.Items(2).MemoryOffset(), 13);  // computed attributes come along
  source.Items(0).SetName("changed");
  EXPECT_EQ(copy.Items(0).Name(), "any");

  TZDBFieldDefs clashing;
  clashing.Add(Field("Any", L::Integer));
  clashing.Add(Field("ANY", L::Float));
  const RaisedError error = ErrorOf([&] { copy.Assign(clashing); });
  EXPECT_EQ(error.code, 10424);
  EXPECT_EQ(error.message, "Duplicate field name ANY");
  TZDBBaseFieldManager manager;  // a table refusing the list keeps its own
  manager.SetFieldDefs(source);
  EXPECT_EQ(ErrorOf([&] { manager.SetFieldDefs(clashing); }).code, 10424);
  EXPECT_EQ(manager.FieldCount(), 3);
  EXPECT_EQ(manager.RecordBufferSize(), 21);

  TZDBIndexDefs indexes;
  indexes.Add(std::make_unique<TZDBIndexDef>());
  indexes.Items(0).SetName("I");
  TZDBIndexDefs twice;
  twice.Assign(indexes);
  twice.Add(std::make_unique<TZDBIndexDef>());
  twice.Items(1).SetName("i");
  EXPECT_EQ(ErrorOf([&] { indexes.Assign(twice); }).code, 10424);
}

TEST(DefinitionLists, AListWithoutAKindCannotMakeDefinitions) {
  TZDBMetaObjectDefs bare;
  RaisedError error = ErrorOf([&] { bare.InternalAddCreated(); });
  EXPECT_EQ(error.code, 30339);
  EXPECT_EQ(error.message, "The method 'InternalAddCreated' not overrided in class 'TZDBMetaObjectDefs'");
  TZDBConstraintDefs constraints;  // constraints are made by type
  error = ErrorOf([&] { constraints.InternalAddCreated(); });
  EXPECT_EQ(error.message, "The method 'InternalAddCreated' not overrided in class 'TZDBConstraintDefs'");
  TZDBFieldDefs fields;
  fields.InternalAddCreated().SetName("made");
  EXPECT_EQ(fields.Count(), 1);
}

TEST(IndexDef, ColumnsFromParallelListsMustMatchInLength) {
  TZDBIndexDef index;
  index.SetColumns({"any", "PenMax", "TopeCot"}, {"DESC", "ASC", "desc"}, {"", "NO_CASE", "CASE"});
  const std::vector<TZDBIndexColumn> expected = {
      {"any", true, false, 20}, {"PenMax", false, true, 20}, {"TopeCot", true, false, 20}};
  EXPECT_EQ(index.Columns(), expected);

  RaisedError error = ErrorOf([&] { index.SetColumns({"a", "b"}, {"DESC"}, {"", ""}); });
  EXPECT_EQ(error.code, 10278);
  EXPECT_EQ(error.message, "Error - different list lengths. L1 = 2, L2 = 1");
  error = ErrorOf([&] { index.SetColumns({"a"}, {"DESC"}, {}); });
  EXPECT_EQ(error.code, 10279);
  EXPECT_EQ(index.Columns(), expected);

  index.RenameColumnField("PENMAX", "Pension");
  EXPECT_EQ(index.Columns()[1].FieldName, "Pension");
}

// The constraints of the yearly-limits table, given to it the way a table takes them.
class GivenConstraints : public ::testing::Test {
 protected:
  GivenConstraints() {
    AddMaximoFields(fields);
    int32_t next = 1;
    fields.AssignObjectIDs([&] { return next++; });
    auto index = std::make_unique<TZDBIndexDef>();
    index->SetName("ANY");
    index->SetObjectID(10);
    indexes.Add(std::move(index));
  }
  void Give(TZDBConstraintDefs& constraints, const TZDBConstraintDefs::RandomSource& random = {}) {
    constraints.SetTableName("Maximo");
    constraints.GenerateNames(random);
    constraints.Resolve(fields, indexes);
  }

  TZDBFieldDefs fields;
  TZDBIndexDefs indexes;
};

TEST_F(GivenConstraints, UnnamedConstraintsGetJoinedNamesMadeUniqueByARandomNumber) {
  TZDBConstraintDefs constraints;
  constraints.AddNotNull().SetTargetName("PenMax");
  constraints.AddNotNull().SetTargetName("PenMax");
  constraints.AddCheck().SetTargetName("any");
  TZDBConstraintDefCheck& named = constraints.AddCheck();
  named.SetName("mine");
  named.SetTargetName("any");
  std::vector<int32_t> draws = {7, 6553};  // the first draw is taken too
  constraints.Items(1).SetName("");
  auto random = [&](int32_t range) {
    EXPECT_EQ(range, 65535);
    const int32_t value = draws.front();
    draws.erase(draws.begin());
    return value;
  };
  // "$C_NotNull$Maximo$PenMax7" is taken by a constraint named so beforehand.
  TZDBConstraintDefNotNull& squatter = constraints.AddNotNull();
  squatter.SetName("$C_NotNull$Maximo$PenMax7");
  squatter.SetTargetName("TopeCot");
  Give(constraints, random);

  EXPECT_EQ(NamesOf(constraints), (std::vector<std::string>{"$C_NotNull$Maximo$PenMax", "$C_NotNull$Maximo$PenMax6553",
                                                             "$C_Check$Maximo$any", "mine",
                                                             "$C_NotNull$Maximo$PenMax7"}));
  EXPECT_EQ(constraints.Items(0).TableName(), "Maximo");
  EXPECT_EQ(constraints.Items(1).TargetObjectID(), 2);
  EXPECT_EQ(constraints.Items(2).TargetObjectID(), 1);
}

TEST_F(GivenConstraints, GeneratedNamesStayDistinctWhenTheJoinedNameIsTooLong) {
  TZDBConstraintDefs constraints;
  const std::string longTarget(250, 'f');
  fields.Add(Field(longTarget, L::Integer));
  constraints.AddNotNull().SetTargetName(longTarget);
  constraints.AddNotNull().SetTargetName(longTarget);
  Give(constraints);
  EXPECT_EQ(constraints.Items(0).Name().size(), 255u);
  EXPECT_FALSE(SameObjectName(constraints.Items(0).Name(), constraints.Items(1).Name()));
}

TEST_F(GivenConstraints, KeyConstraintsResolveTheirIndexAndColumns) {
  TZDBConstraintDefs constraints;
  TZDBConstraintDefPrimary& primary = constraints.AddPrimary();
  primary.SetName("C_PK$any");
  primary.SetTargetName("any");
  primary.SetColumns({{"ANY", UnassignedObjectID}, {"TopeCot", UnassignedObjectID}});
  Give(constraints);
  EXPECT_EQ(primary.TargetObjectID(), 10);
  EXPECT_EQ(primary.Columns(), (std::vector<TZDBConstraintColumn>{{"ANY", 1}, {"TopeCot", 3}}));
  EXPECT_EQ(primary.Name(), "C_PK$any");
}

TEST_F(GivenConstraints, UnresolvableReferencesAndUnknownTypesFail) {
  struct Case {
    std::function<void(TZDBConstraintDefs&)> add;
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {[](TZDBConstraintDefs& c) { c.AddNotNull().SetTargetName("Pension"); }, 30027, "Field 'Pension' not found"},
      {[](TZDBConstraintDefs& c) { c.AddCheck().SetTargetName(""); }, 30027, "Field '' not found"},
      {[](TZDBConstraintDefs& c) { c.AddPrimary().SetTargetName("PK"); }, 30325, "Index 'PK' not found"},
      {[](TZDBConstraintDefs& c) { c.AddUnique().SetTargetName("PK"); }, 30326, "Index 'PK' not found"},
      {[](TZDBConstraintDefs& c) {
         TZDBConstraintDefPrimary& p = c.AddPrimary();
         p.SetTargetName("ANY");
         p.SetColumns({{"year", UnassignedObjectID}});
       },
       30331, "Field 'year' not found"},
      {[](TZDBConstraintDefs& c) {
         TZDBConstraintDefUnique& u = c.AddUnique();
         u.SetTargetName("ANY");
         u.SetColumns({{"year", UnassignedObjectID}});
       },
       30332, "Field 'year' not found"},
      {[](TZDBConstraintDefs& c) { c.Add(std::make_unique<TZDBConstraintDef>(1)); }, 30037, "Not implemented yet"},
  };
  for (const Case& c : cases) {
    TZDBConstraintDefs constraints;
    c.add(constraints);
    const RaisedError error = ErrorOf([&] { Give(constraints); });
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
  }
}

TEST(ConstraintDefs, CopyByTypeAndRefuseTypesTheEngineDoesNotImplement) {
  TZDBConstraintDefs source;
  TZDBConstraintDefCheck& check = source.AddCheck();
  check.SetName("range");
  check.SetMaxValue(IntegerValue(2100));
  source.AddUnique().SetColumns({{"any", 4}});
  TZDBConstraintDefs copy;
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(dynamic_cast<const TZDBConstraintDefCheck&>(copy.Items(0)).MaxValue().AsInteger(), 2100);
  EXPECT_EQ(dynamic_cast<const TZDBConstraintDefUnique&>(copy.Items(1)).Columns()[0].FieldObjectID, 4);

  for (const uint8_t type : {uint8_t{1}, uint8_t{5}}) {
    TZDBConstraintDefs odd;
    odd.Add(std::make_unique<TZDBConstraintDef>(type));
    const RaisedError error = ErrorOf([&] { copy.Assign(odd); });
    EXPECT_EQ(error.code, 30035);
    EXPECT_EQ(error.message, "Not implemented yet");
  }
}

}  // namespace
}  // namespace zdb
