// Field values through the table component: each kind of field is written, posted and
// read back from the file in the dataset's own form (texts, integers of each width,
// booleans, dates and times as date-time numbers), and an unset field reads as null.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "engine/dataset/ZDBTable.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

struct TypeCase {
  const char* name;
  TZDBLogicalType type;
  int32_t size;
  std::function<void(data::TField&)> write;
  std::function<void(const data::TField&)> check;
};

constexpr int CaseCount = 9;

const TypeCase& CaseOf(int i) {
  static const TypeCase cases[CaseCount] = {
      {"texto", TZDBLogicalType::String, 12, [](data::TField& f) { f.SetAsString("Tope 2024"); },
       [](const data::TField& f) { EXPECT_EQ(f.AsString(), "Tope 2024"); }},
      {"corto", TZDBLogicalType::SmallInt, 0, [](data::TField& f) { f.SetAsInteger(-1234); },
       [](const data::TField& f) { EXPECT_EQ(f.AsInteger(), -1234); }},
      {"largo", TZDBLogicalType::LargeInt, 0, [](data::TField& f) { f.SetAsLargeInt(-5000000000LL); },
       [](const data::TField& f) { EXPECT_EQ(f.AsLargeInt(), -5000000000LL); }},
      {"logico", TZDBLogicalType::Logical, 0, [](data::TField& f) { f.SetAsBoolean(true); },
       [](const data::TField& f) { EXPECT_TRUE(f.AsBoolean()); }},
      {"moneda", TZDBLogicalType::Currency, 0, [](data::TField& f) { f.SetAsFloat(1234.5); },
       [](const data::TField& f) { EXPECT_DOUBLE_EQ(f.AsFloat(), 1234.5); }},
      // 2024-03-01 is day 45352 of the date-time numbers.
      {"dia", TZDBLogicalType::Date, 0, [](data::TField& f) { f.SetAsDateTime(45352); },
       [](const data::TField& f) { EXPECT_DOUBLE_EQ(f.AsDateTime(), 45352); }},
      {"hora", TZDBLogicalType::Time, 0, [](data::TField& f) { f.SetAsDateTime(0.75); },
       [](const data::TField& f) { EXPECT_DOUBLE_EQ(f.AsDateTime(), 0.75); }},
      {"momento", TZDBLogicalType::DateTime, 0, [](data::TField& f) { f.SetAsDateTime(45352.5); },
       [](const data::TField& f) { EXPECT_DOUBLE_EQ(f.AsDateTime(), 45352.5); }},
      // Before 1899-12-30 the fraction still counts forward from midnight.
      {"antiguo", TZDBLogicalType::DateTime, 0, [](data::TField& f) { f.SetAsDateTime(-1.25); },
       [](const data::TField& f) { EXPECT_DOUBLE_EQ(f.AsDateTime(), -1.25); }},
  };
  return cases[i];
}

TEST(TableFieldTypes, ValuesSurviveThePostAndAReopen) {
  ScratchFolder folder;
  const std::string path = folder.File("tipos.zdb");
  CreateDatabaseFile(path);
  {
    Connection connection(path, false);
    TZDBFieldDefs fields;
    for (int i = 0; i < CaseCount; ++i) fields.Add(Field(CaseOf(i).name, CaseOf(i).type, CaseOf(i).size));
    fields.Add(Field("vacio", TZDBLogicalType::Integer));
    CreateDiskTable(connection.Data(), connection.session, "Tipos", fields, {}, {});
  }
  TZDBDatabase database;
  database.SetDatabaseName("Tipos");
  database.SetDatabaseFileName(path);
  TZDBTable table;
  table.SetDatabaseName("Tipos");
  table.SetTableName("Tipos");
  table.Open();
  table.Insert();
  for (int i = 0; i < CaseCount; ++i) CaseOf(i).write(table.FieldByName(CaseOf(i).name));
  table.Post();
  table.Close();

  table.Open();
  ASSERT_EQ(table.RecordCount(), 1);
  for (int i = 0; i < CaseCount; ++i) {
    SCOPED_TRACE(CaseOf(i).name);
    const data::TField& field = table.FieldByName(CaseOf(i).name);
    EXPECT_FALSE(field.IsNull());
    CaseOf(i).check(field);
  }
  EXPECT_TRUE(table.FieldByName("vacio").IsNull());
  EXPECT_EQ(table.FieldByName("vacio").AsString(), "");
}

}  // namespace
}  // namespace zdb::testing
