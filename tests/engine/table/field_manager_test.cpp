#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBLocale.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBTableMetaData.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using L = TZDBLogicalType;

class MultiUserSession : public TZDBBaseSession {
 public:
  bool MultiUser() const override { return true; }
};

// One counting field "id" of the given type between two plain fields, with the counter
// settings applied before the definitions are handed over.
class Counter : public ::testing::Test {
 protected:
  void Make(L type, const std::function<void(TZDBFieldDef&)>& configure = {}) {
    TZDBFieldDefs fields;
    fields.Add(Field("name", L::String, 10));
    auto id = Field("id", type);
    id->SetObjectID(42);
    if (configure) configure(*id);
    fields.Add(std::move(id));
    fields.Add(Field("amount", L::Float));
    manager.SetFieldDefs(fields);
  }
  Bytes NewRow() const {
    Bytes row(static_cast<size_t>(manager.RecordBufferSize()));
    manager.InitRecordBuffer(row.data());
    return row;
  }
  int64_t Insert(Bytes row) {
    manager.AssignAutoincValues(session, row.data());
    EXPECT_FALSE(IsFieldNull(row.data(), 1));
    const TZDBFieldDef& id = manager.FieldDefs().Items(1);
    const uint8_t* value = row.data() + id.MemoryOffset();
    switch (id.StorageType()) {
      case TZDBStorageType::ShortInt: return static_cast<int8_t>(value[0]);
      case TZDBStorageType::Byte: return value[0];
      case TZDBStorageType::Integer: return le::GetI32(value);
      default: return le::GetI64(value);
    }
  }
  Bytes RowWithId(int32_t value) {
    Bytes row = NewRow();
    le::PutI32(row.data() + manager.FieldDefs().Items(1).MemoryOffset(), value);
    SetFieldNull(row.data(), 1, false);
    return row;
  }

  TZDBBaseFieldManager manager;
  TZDBBaseSession session;
};

TEST_F(Counter, CountsFromTheInitialValueByTheIncrementWhereZeroMeansOne) {
  struct Case {
    int64_t initial;
    int64_t increment;
    std::vector<int64_t> values;
  };
  const Case cases[] = {{0, 1, {1, 2, 3}}, {0, 0, {1, 2, 3}}, {10, 5, {15, 20, 25}}, {0, -2, {-2, -4, -6}}};
  for (const Case& c : cases) {
    Make(L::AutoInc, [&](TZDBFieldDef& f) {
      f.SetAutoincInitialValue(c.initial);
      f.SetAutoincIncrement(c.increment);
    });
    std::vector<int64_t> values;
    for (int i = 0; i < 3; ++i) values.push_back(Insert(NewRow()));
    EXPECT_EQ(values, c.values) << c.increment;
  }
}

TEST_F(Counter, StopsAtTheMaximumOrCyclesToTheMinimum) {
  Make(L::AutoInc, [](TZDBFieldDef& f) { f.SetAutoincMaxValue(3); });
  for (int64_t expected = 1; expected <= 3; ++expected) EXPECT_EQ(Insert(NewRow()), expected);
  Bytes fourth = NewRow();
  const RaisedError error = ErrorOf([&] { manager.AssignAutoincValues(session, fourth.data()); });
  EXPECT_EQ(error.code, 20160);
  EXPECT_EQ(error.message, "Autoinc max value exceeded for field 'id'");
  EXPECT_TRUE(IsFieldNull(fourth.data(), 1));
  EXPECT_EQ(manager.AutoincValues()[1], 4);  // the counter keeps the exceeded value

  Make(L::AutoInc, [](TZDBFieldDef& f) {
    f.SetAutoincMaxValue(3);
    f.SetAutoincMinValue(1);
    f.SetAutoincCycled(true);
  });
  std::vector<int64_t> values;
  for (int i = 0; i < 5; ++i) values.push_back(Insert(NewRow()));
  EXPECT_EQ(values, (std::vector<int64_t>{1, 2, 3, 1, 2}));
}

TEST_F(Counter, NeverWritesAValueTheFieldCannotHold) {
  // Without a maximum the field's own range limits the counter, so a SHORTINT sequence
  // does not wrap to -128 and a LARGEINT one does not overflow.
  Make(L::AutoIncShortInt, [](TZDBFieldDef& f) { f.SetAutoincInitialValue(126); });
  EXPECT_EQ(Insert(NewRow()), 127);
  EXPECT_EQ(ErrorOf([&] { Insert(NewRow()); }).code, 20160);

  Make(L::AutoIncByte, [](TZDBFieldDef& f) {
    f.SetAutoincInitialValue(254);
    f.SetAutoincMinValue(1);
    f.SetAutoincCycled(true);
  });
  EXPECT_EQ(Insert(NewRow()), 255);
  EXPECT_EQ(Insert(NewRow()), 1);

  Make(L::AutoIncLargeInt, [](TZDBFieldDef& f) {
    f.SetAutoincInitialValue(std::numeric_limits<int64_t>::max() - 1);
    f.SetAutoincMaxValue(TZDBFieldDef::NoAutoincLimit);
  });
  EXPECT_EQ(Insert(NewRow()), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(ErrorOf([&] { Insert(NewRow()); }).code, 20160);
  EXPECT_EQ(manager.AutoincValues()[1], std::numeric_limits<int64_t>::max());
}

TEST_F(Counter, GivenValuesOnlyEverMoveTheCounterUp) {
  Make(L::AutoInc, [](TZDBFieldDef& f) { f.SetAutoincInitialValue(5); });
  EXPECT_EQ(Insert(RowWithId(100)), 100);
  EXPECT_EQ(manager.AutoincValues()[1], 100);
  EXPECT_EQ(manager.GetLastAutoincValue(session, 1), 100);
  EXPECT_EQ(Insert(NewRow()), 101);
  EXPECT_EQ(Insert(RowWithId(50)), 50);  // no duplicate check here
  EXPECT_EQ(Insert(RowWithId(-1)), -1);  // negative: below the counter, not 4294967295
  EXPECT_EQ(manager.AutoincValues()[1], 101);
  EXPECT_EQ(Insert(NewRow()), 102);
}

TEST_F(Counter, LastValueComesFromTheSessionOrTheTableOrFailsInMultiUserMode) {
  Make(L::AutoInc, [](TZDBFieldDef& f) { f.SetAutoincInitialValue(7); });
  EXPECT_EQ(manager.GetLastAutoincValue(session, 1), 7);
  EXPECT_EQ(manager.GetLastAutoincValue(session, 0), 0);  // not a counting field

  MultiUserSession shared;
  const RaisedError error = ErrorOf([&] { manager.GetLastAutoincValue(shared, 1); });
  EXPECT_EQ(error.code, 30012);
  EXPECT_EQ(error.message, "No SequenceLastValue in session for sequence 'id'. Call GetNextVal first");

  EXPECT_EQ(manager.GenerateAutoincValue(shared, 1), 8);
  EXPECT_EQ(manager.GenerateAutoincValue(session, 1), 9);
  EXPECT_EQ(manager.GetLastAutoincValue(shared, 1), 8);  // each session its own
  EXPECT_EQ(manager.GetLastAutoincValue(session, 1), 9);
  EXPECT_EQ(shared.FindSequenceValue(42)->Name, "id");
}

TEST_F(Counter, RefusesFieldNumbersWithoutACounter) {
  Make(L::AutoInc);
  EXPECT_EQ(ErrorOf([&] { manager.NextAutoincValue(3); }).message, "Field #3 not found");
  EXPECT_EQ(ErrorOf([&] { manager.NextAutoincValue(3); }).code, 30402);
  EXPECT_EQ(ErrorOf([&] { manager.GetLastAutoincValue(session, -1); }).code, 30402);
}

TEST_F(Counter, CountersTravelInTheFrequentlyUpdatedData) {
  Make(L::AutoInc);
  Insert(RowWithId(199));
  const Bytes data = SaveMostUpdatedData(manager, {12, 200});
  EXPECT_EQ(data, Concat({BytesOf({3, 0, 0, 0}), Repeat(0, 8), BytesOf({199, 0, 0, 0, 0, 0, 0, 0}), Repeat(0, 8),
                          BytesOf({12, 0, 0, 0, 0xC8, 0, 0, 0})}));

  manager.ResetAutoincValues();
  const TZDBMostUpdatedCounts counts = LoadMostUpdatedData(data, manager);
  EXPECT_EQ(counts.ChangeCount, 12);
  EXPECT_EQ(counts.RecordCount, 200);
  EXPECT_EQ(manager.AutoincValues(), (std::vector<int64_t>{0, 199, 0}));

  // The record count is kept as its low 32 bits and read back sign-extended.
  EXPECT_EQ(LoadMostUpdatedData(SaveMostUpdatedData(manager, {0, 0xFFFFFFFF}), manager).RecordCount, -1);
}

TEST_F(Counter, DamagedFrequentlyUpdatedDataIsRefusedAndChangesNothing) {
  Make(L::AutoInc);
  Insert(NewRow());
  const Bytes good = SaveMostUpdatedData(manager, {1, 1});
  Bytes otherFieldCount = good;
  otherFieldCount[0] = 2;
  const Bytes cases[] = {Bytes(good.begin(), good.end() - 1), Bytes(good.begin(), good.begin() + 3), otherFieldCount,
                         BytesOf({0xFF, 0xFF, 0xFF, 0xFF})};
  for (const Bytes& damaged : cases) {
    const RaisedError error = ErrorOf([&] { LoadMostUpdatedData(damaged, manager); });
    EXPECT_EQ(error.code, 20164);
    EXPECT_EQ(error.message, "Invalid table header data");
    EXPECT_EQ(manager.AutoincValues()[1], 1);
  }
}

class Defaults : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = DefaultLocaleName();
    SetDefaultLocale("es_ES");
  }
  void TearDown() override { SetDefaultLocale(previous_); }

  std::string previous_;
};

TEST_F(Defaults, NewRowsGetPlainDefaultsInTheFieldsOwnType) {
  TZDBFieldDefs fields;
  auto add = [&](std::unique_ptr<TZDBFieldDef> field, const TZDBVariant& value) {
    field->SetDefaultValue(value);
    fields.Add(std::move(field));
  };
  add(Field("year", L::Integer), IntegerValue(2024));
  add(Field("rate", L::Float), StringValue("42"));  // a number kept as text
  add(Field("code", L::String, 3), StringValue("ABCDEF"));
  add(Field("none", L::Integer), TZDBVariant());
  add(Field("notes", L::Memo), StringValue("ignored"));
  TZDBBaseFieldManager manager;
  manager.SetFieldDefs(fields);
  Bytes row(static_cast<size_t>(manager.RecordBufferSize()));
  manager.InitRecordBuffer(row.data());
  manager.ApplyDefaults(row.data());

  EXPECT_EQ(row[0], 0xF8);  // "none" and "notes" stay NULL, as do the unused bits
  EXPECT_EQ(le::GetI32(row.data() + 1), 2024);
  EXPECT_EQ(le::GetDouble(row.data() + 5), 42.0);
  EXPECT_EQ(Bytes(row.begin() + 13, row.begin() + 17), BytesOf({'A', 'B', 'C', 0}));  // cut, terminator kept
  EXPECT_EQ(Bytes(row.begin() + 21, row.end()), Repeat(0, 10));
}

TEST_F(Defaults, ExpressionsAreEvaluatedWhenARowIsMade) {
  TZDBFieldDefs fields;
  auto stamp = Field("created", L::DateTime);
  stamp->SetDefaultValue(StringValue("CURRENT_TIMESTAMP"));
  ASSERT_NE(stamp->DefaultExpression(), nullptr);
  fields.Add(std::move(stamp));
  TZDBBaseFieldManager manager;
  manager.SetFieldDefs(fields);
  Bytes row(static_cast<size_t>(manager.RecordBufferSize()));
  manager.InitRecordBuffer(row.data());

  const TZDBTimeStamp before = CurrentLocalTimeStamp();
  manager.ApplyDefaults(row.data());
  const TZDBTimeStamp after = CurrentLocalTimeStamp();
  const TZDBTimeStamp written{le::GetI32(row.data() + 1), le::GetI32(row.data() + 5)};
  const auto order = [](const TZDBTimeStamp& s) { return static_cast<int64_t>(s.Date) * MillisecondsPerDay + s.Time; };
  EXPECT_EQ(row[0], 0xFE);
  EXPECT_LE(order(before), order(written));
  EXPECT_LE(order(written), order(after));
}

TEST_F(Defaults, OnlyTextThatEvaluatesToSomethingElseIsAnExpression) {
  struct Case {
    TZDBVariant value;
    bool expression;
  };
  TZDBVariant wide;
  wide.SetAsWideString(u"now()");
  const Case cases[] = {
      {StringValue("CURRENT_TIMESTAMP"), true},
      {StringValue(" current_date "), true},
      {StringValue("Current_Time"), true},
      {wide, true},
      {StringValue("'it''s'"), true},   // evaluates to it's
      {StringValue("1.50"), true},      // evaluates to 1,5
      {StringValue("42"), false},       // evaluates to itself
      {StringValue("-7"), false},
      {StringValue("ABC"), false},      // a field reference
      {StringValue("NOW(1)"), false},
      {StringValue("CURRENT_DATE + 1"), false},
      {StringValue("''"), false},       // no value
      {StringValue("1.2.3"), false},
      {IntegerValue(5), false},         // not text
      {TZDBVariant(TZDBStorageType::String), false},
  };
  for (const Case& c : cases) {
    TZDBFieldDef field("f", L::String, 40);
    field.SetDefaultValue(c.value);
    EXPECT_EQ(field.DefaultExpression() != nullptr, c.expression) << (c.value.IsNull() ? "NULL" : c.value.AsString());
  }

  const TZDBTimeStamp noon{738890, MillisecondsPerDay / 2};
  EXPECT_EQ(TZDBDefaultExpression::FromDefault(StringValue("CURRENT_DATE"))->Evaluate(noon).AsDateDayNumber(), 738890);
  EXPECT_EQ(TZDBDefaultExpression::FromDefault(StringValue("CURRENT_TIME"))->Evaluate(noon).AsTimeMilliseconds(),
            MillisecondsPerDay / 2);
  EXPECT_EQ(TZDBDefaultExpression::FromDefault(StringValue("NOW"))->Evaluate(noon).AsDateTimeStamp(), noon);
  EXPECT_EQ(TZDBDefaultExpression::FromDefault(StringValue("'it''s'"))->Evaluate(noon).AsString(), "it's");
}

}  // namespace
}  // namespace zdb
