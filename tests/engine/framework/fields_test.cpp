// Field objects: finding them by name, converting their values, their errors, display
// formats, persistent fields and validation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/base/ZDBLocale.h"
#include "engine/framework/BlobFields.h"
#include "engine/framework/BooleanField.h"
#include "engine/framework/DateTimeFields.h"
#include "engine/framework/FormatFloat.h"
#include "engine/framework/NumericFields.h"
#include "engine/framework/StringFields.h"
#include "tests/engine/framework/support/MemoryDataSet.h"

namespace data::testing {
namespace {

using zdb::PlatformVariant;
using zdb::TVarType;

// Spanish notation unless a test says otherwise.
class Fields : public ::testing::Test {
 protected:
  void SetUp() override { zdb::SetDefaultLocale("es_ES"); }
  void TearDown() override { zdb::SetDefaultLocale("es_ES"); }
};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

// One field "F" of the type, inserting a row so that it can be written.
struct OneField {
  TMemoryDataSet dataSet;
  OneField(TFieldType type, int size = 0) {
    dataSet.DefineField("F", type, size);
    dataSet.Open();
    dataSet.Insert();
  }
  TField& F() { return dataSet.FieldByName("F"); }
};

TEST_F(Fields, FieldByNameIgnoresLetterCase) {
  TMemoryDataSet years;
  years.DefineField("any", TFieldType::ftInteger);
  years.DefineField("PenMax", TFieldType::ftFloat);
  years.DefineField("a\xF1o", TFieldType::ftInteger);  // "año" in Windows-1252
  years.Open();
  for (const char* name : {"PenMax", "PENMAX", "penmax", "pEnMaX"})
    EXPECT_EQ(&years.FieldByName(name), &years.Fields(1)) << name;
  EXPECT_EQ(&years.FieldByName("A\xD1O"), &years.Fields(2));
  EXPECT_EQ(years.FindField("Nope"), nullptr);
  EXPECT_EQ(years.FindField("PenMa"), nullptr);
  EXPECT_EQ(ErrorOf([&] { years.FieldByName("Nope"); }), "Field 'Nope' not found");
  years.SetName("Maximo");
  EXPECT_EQ(ErrorOf([&] { years.FieldByName("Nope"); }), "Maximo: Field 'Nope' not found");
  EXPECT_EQ(ErrorOf([&] { years.Fields(3); }), "Maximo: Field index out of range");
  EXPECT_EQ(years.Fields(1).FieldNo(), 2);
  EXPECT_EQ(years.Fields(1).Index(), 1);
}

TEST_F(Fields, ValueConversions) {
  struct Case {
    const char* name;
    TFieldType type;
    int size;
    std::function<void(TField&)> assign;
    std::string text;  // AsString afterwards
    TVarType variant;
  };
  const Case cases[] = {
      {"integer from text", TFieldType::ftInteger, 0, [](TField& f) { f.SetAsString(" 42 "); }, "42", TVarType::Integer},
      {"integer from float, ties to even", TFieldType::ftInteger, 0, [](TField& f) { f.SetAsFloat(2.5); }, "2",
       TVarType::Integer},
      {"integer from text variant", TFieldType::ftInteger, 0,
       [](TField& f) { f.SetAsVariant(PlatformVariant::AnsiText("7")); }, "7", TVarType::Integer},
      {"smallint lowest", TFieldType::ftSmallint, 0, [](TField& f) { f.SetAsInteger(-32768); }, "-32768",
       TVarType::SmallInt},
      {"word highest", TFieldType::ftWord, 0, [](TField& f) { f.SetAsInteger(65535); }, "65535", TVarType::Word},
      {"largeint beyond doubles", TFieldType::ftLargeint, 0, [](TField& f) { f.SetAsString("9007199254740993"); },
       "9007199254740993", TVarType::Int64},
      {"float from Spanish text", TFieldType::ftFloat, 0, [](TField& f) { f.SetAsString("1234,5"); }, "1234,5",
       TVarType::Double},
      {"float from integer variant", TFieldType::ftFloat, 0,
       [](TField& f) { f.SetAsVariant(PlatformVariant::Integral(TVarType::Integer, 3)); }, "3", TVarType::Double},
      {"currency", TFieldType::ftCurrency, 0, [](TField& f) { f.SetAsFloat(1234.5); }, "1234,5", TVarType::Currency},
      {"boolean from a leading part", TFieldType::ftBoolean, 0, [](TField& f) { f.SetAsString("f"); }, "False",
       TVarType::Boolean},
      {"boolean from integer variant", TFieldType::ftBoolean, 0,
       [](TField& f) { f.SetAsVariant(PlatformVariant::Integral(TVarType::Integer, 1)); }, "True", TVarType::Boolean},
      {"string from float", TFieldType::ftString, 5, [](TField& f) { f.SetAsFloat(2.5); }, "2,5", TVarType::String},
      {"string empty is a value", TFieldType::ftString, 5, [](TField& f) { f.SetAsString(""); }, "",
       TVarType::String},
      {"wide string from single-byte text", TFieldType::ftWideString, 3, [](TField& f) { f.SetAsString("a\xF1o"); },
       "a\xF1o", TVarType::OleStr},
      {"date keeps the day", TFieldType::ftDate, 0, [](TField& f) { f.SetAsDateTime(45296.75); }, "5/1/2024",
       TVarType::Date},
      {"time keeps the time of day", TFieldType::ftTime, 0, [](TField& f) { f.SetAsDateTime(45296.75); },
       "18:00:00", TVarType::Date},
      {"date-time from text", TFieldType::ftDateTime, 0, [](TField& f) { f.SetAsString("5/1/2024 18:00:00"); },
       "5/1/2024 18:00:00", TVarType::Date},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneField one(c.type, c.size);
    c.assign(one.F());
    EXPECT_FALSE(one.F().IsNull());
    EXPECT_EQ(one.F().AsString(), c.text);
    EXPECT_EQ(one.F().AsVariant().Type(), c.variant);
    one.F().Clear();
    EXPECT_TRUE(one.F().IsNull());
  }

  OneField number(TFieldType::ftFloat);
  number.F().SetAsString("1234,5");
  EXPECT_EQ(number.F().AsInteger(), 1234);  // ties to even
  EXPECT_EQ(number.F().AsLargeInt(), 1234);
  OneField text(TFieldType::ftString, 5);
  text.F().SetAsBoolean(true);
  EXPECT_EQ(text.F().AsString(), "T");
  EXPECT_TRUE(text.F().AsBoolean());
  text.F().SetAsString("-17");
  EXPECT_EQ(text.F().AsInteger(), -17);
  OneField wide(TFieldType::ftWideString, 3);
  wide.F().SetAsString("a\xF1o");
  EXPECT_EQ(dynamic_cast<TWideStringField&>(wide.F()).AsWideString(), u"a\u00F1o");
  OneField date(TFieldType::ftDate);
  date.F().SetAsString("5/1/2024");
  EXPECT_DOUBLE_EQ(date.F().AsDateTime(), 45296);
  OneField time(TFieldType::ftTime);
  time.F().SetAsFloat(45296.75);
  EXPECT_DOUBLE_EQ(time.F().AsFloat(), 0.75);
}

TEST_F(Fields, NullReadsAsNothing) {
  for (TFieldType type : {TFieldType::ftInteger, TFieldType::ftSmallint, TFieldType::ftLargeint, TFieldType::ftFloat,
                          TFieldType::ftCurrency, TFieldType::ftBoolean, TFieldType::ftString, TFieldType::ftDate}) {
    SCOPED_TRACE(FieldTypeName(type));
    OneField one(type, 4);
    EXPECT_TRUE(one.F().IsNull());
    EXPECT_EQ(one.F().AsString(), "");
    EXPECT_EQ(one.F().DisplayText(), "");
    EXPECT_EQ(one.F().AsVariant().Type(), TVarType::Null);
  }
  OneField number(TFieldType::ftFloat);
  EXPECT_EQ(number.F().AsFloat(), 0);
  EXPECT_EQ(number.F().AsInteger(), 0);
  number.F().SetAsFloat(1);
  number.F().SetAsString("");  // empty text clears a number
  EXPECT_TRUE(number.F().IsNull());
  number.F().SetAsFloat(1);
  number.F().SetAsVariant(PlatformVariant::Null());
  EXPECT_TRUE(number.F().IsNull());
}

TEST_F(Fields, ConversionErrors) {
  constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    TFieldType type;
    int size;
    std::function<void(TField&)> action;
    std::string error;
  };
  const Case cases[] = {
      {TFieldType::ftInteger, 0, [](TField& f) { f.SetAsString("abc"); },
       "'abc' is not a valid integer value for field 'F'"},
      {TFieldType::ftInteger, 0, [](TField& f) { f.SetAsString("99999999999"); },
       "99999999999 is not a valid value for field 'F'. The allowed range is -2147483648 to 2147483647"},
      {TFieldType::ftSmallint, 0, [](TField& f) { f.SetAsInteger(40000); },
       "40000 is not a valid value for field 'F'. The allowed range is -32768 to 32767"},
      {TFieldType::ftWord, 0, [](TField& f) { f.SetAsInteger(-1); },
       "-1 is not a valid value for field 'F'. The allowed range is 0 to 65535"},
      {TFieldType::ftInteger, 0, [](TField& f) { f.SetAsFloat(NaN); },
       "NAN is not a valid value for field 'F'. The allowed range is -2147483648 to 2147483647"},
      {TFieldType::ftInteger, 0, [](TField& f) { f.AsBoolean(); }, "Cannot access field 'F' as type Boolean"},
      {TFieldType::ftFloat, 0, [](TField& f) { f.SetAsString("1.5"); },
       "'1.5' is not a valid floating point value for field 'F'"},
      {TFieldType::ftFloat, 0, [](TField& f) { f.SetAsString("1.234,5"); },
       "'1.234,5' is not a valid floating point value for field 'F'"},
      {TFieldType::ftFloat, 0,
       [](TField& f) {
         f.SetAsFloat(3e10);
         f.AsInteger();
       },
       "Value of field 'F' is out of range"},
      {TFieldType::ftLargeint, 0,
       [](TField& f) {
         f.SetAsLargeInt(5000000000);
         f.AsInteger();
       },
       "Value of field 'F' is out of range"},
      {TFieldType::ftBoolean, 0, [](TField& f) { f.SetAsString("maybe"); },
       "'maybe' is not a valid boolean value for field 'F'"},
      {TFieldType::ftString, 3, [](TField& f) { f.SetAsString("abcd"); },
       "Value of field 'F' is longer than its 3 characters"},
      {TFieldType::ftWideString, 2, [](TField& f) { f.SetAsString("abc"); },
       "Value of field 'F' is longer than its 2 characters"},
      {TFieldType::ftString, 5,
       [](TField& f) {
         f.SetAsString("x1");
         f.AsInteger();
       },
       "'x1' is not a valid integer value for field 'F'"},
      {TFieldType::ftDate, 0, [](TField& f) { f.SetAsString("31/02/2024"); }, "'31/02/2024' is not a valid date"},
      {TFieldType::ftTime, 0, [](TField& f) { f.SetAsString("25:00"); }, "'25:00' is not a valid time"},
      {TFieldType::ftDateTime, 0, [](TField& f) { f.SetAsDateTime(NaN); }, "'NAN' is not a valid date and time"},
      {TFieldType::ftDate, 0, [](TField& f) { f.AsInteger(); }, "Cannot access field 'F' as type Integer"},
      {TFieldType::ftInteger, 0, [](TField& f) { f.SetAsVariant(PlatformVariant(TVarType::Dispatch)); },
       "Invalid variant type conversion"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    OneField one(c.type, c.size);
    EXPECT_EQ(ErrorOf([&] { c.action(one.F()); }), c.error);
  }
  // A refused value leaves the field as it was.
  OneField year(TFieldType::ftInteger);
  year.F().SetAsInteger(2024);
  EXPECT_NE(ErrorOf([&] { year.F().SetAsString("2O25"); }), "(no error)");
  EXPECT_EQ(year.F().AsInteger(), 2024);
}

TEST_F(Fields, OwnRangesNarrowTheType) {
  OneField one(TFieldType::ftInteger);
  auto& year = dynamic_cast<TIntegerField&>(one.F());
  year.SetMinValue(2022);
  year.SetMaxValue(2060);
  EXPECT_EQ(ErrorOf([&] { year.SetAsInteger(2061); }),
            "2061 is not a valid value for field 'F'. The allowed range is 2022 to 2060");
  year.SetAsInteger(2060);
  OneField amount(TFieldType::ftFloat);
  auto& pension = dynamic_cast<TFloatField&>(amount.F());
  pension.SetMinValue(0);
  pension.SetMaxValue(1e5);
  EXPECT_EQ(ErrorOf([&] { pension.SetAsFloat(-0.5); }),
            "-0,5 is not a valid value for field 'F'. The allowed range is 0 to 100000");
}

TEST_F(Fields, DisplayFormatShapesTheDisplayText) {
  struct Case {
    double value;
    const char* text;
  };
  OneField one(TFieldType::ftFloat);
  auto& amount = dynamic_cast<TFloatField&>(one.F());
  amount.SetDisplayFormat("#,##0.00");
  for (const Case& c : {Case{1234.5, "1.234,50"}, Case{-1234.5, "-1.234,50"}, Case{0.004, "0,00"},
                        Case{2.675, "2,68"}, Case{1e6, "1.000.000,00"}, Case{-0.001, "0,00"}}) {
    amount.SetAsFloat(c.value);
    EXPECT_EQ(amount.DisplayText(), c.text) << c.value;
  }
  zdb::SetDefaultLocale("en_US");
  amount.SetAsFloat(1234.5);
  EXPECT_EQ(amount.DisplayText(), "1,234.50");
  EXPECT_EQ(amount.AsString(), "1234.5");

  OneField count(TFieldType::ftInteger);
  dynamic_cast<TIntegerField&>(count.F()).SetDisplayFormat("000");
  count.F().SetAsInteger(7);
  EXPECT_EQ(count.F().DisplayText(), "007");
  EXPECT_EQ(count.F().AsString(), "7");

  OneField money(TFieldType::ftCurrency);
  money.F().SetAsFloat(1234.5);
  EXPECT_EQ(money.F().DisplayText(), "1,234.50");
}

TEST_F(Fields, FormatFloatMasks) {
  constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* format;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {"#,##0.00", 1234567.891, "1.234.567,89"},
      {"0.###", 2.5, "2,5"},
      {"0.###", 2, "2"},
      {"#.00", 0.5, ",50"},
      {"0", 999.5, "1000"},
      {"#", 0, ""},
      {"000-000", 123456, "123-456"},
      {"00", 12345, "12345"},
      {"0.00E+00", 1234, "1,23E+03"},
      {"0.0e-0", 0.00012, "1,2e-4"},
      {"0.00E+00", 0, "0,00E+00"},
      {"#,##0.00;(#,##0.00)", -5, "(5,00)"},
      {"0.00;-0.00;\"cero\"", 0.001, "cero"},
      {"\"EUR \"0.00", 3, "EUR 3,00"},
      {"'x;y' 0", 4, "x;y 4"},
      {"", 1.5, "1,5"},
      {"0.00", NaN, "NAN"},
      {"0.00", -std::numeric_limits<double>::infinity(), "-INF"},
  };
  const TFormatSettings spanish = FormatSettingsForLocale("es_ES");
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value, spanish), c.text) << c.format;
}

TEST_F(Fields, TextToFloatFollowsTheLocale) {
  const TFormatSettings spanish = FormatSettingsForLocale("es_ES");
  const TFormatSettings english = FormatSettingsForLocale("en_US");
  EXPECT_EQ(spanish.DecimalSeparator, ',');
  EXPECT_EQ(spanish.ThousandSeparator, '.');
  EXPECT_EQ(english.ThousandSeparator, ',');
  struct Case {
    const char* text;
    bool spanishReads;
    double value;
  };
  for (const Case& c : {Case{"1,5", true, 1.5}, Case{" -2,5E3 ", true, -2500}, Case{"1.5", false, 0},
                        Case{"1.234", false, 0}, Case{"", false, 0}, Case{"abc", false, 0}}) {
    double value = 0;
    EXPECT_EQ(TryTextToFloat(c.text, spanish, value), c.spanishReads) << c.text;
    if (c.spanishReads) {
      EXPECT_DOUBLE_EQ(value, c.value);
    }
  }
  double value = 0;
  EXPECT_TRUE(TryTextToFloat("1.5", english, value));
  EXPECT_FALSE(TryTextToFloat("1,500.5", english, value));
}

TEST_F(Fields, PersistentFieldsAreBoundByNameAndKept) {
  TMemoryDataSet years;
  years.DefineField("any", TFieldType::ftInteger);
  years.DefineField("PenMax", TFieldType::ftFloat);
  years.AddRow({PlatformVariant::Integral(TVarType::Integer, 2022), PlatformVariant::Real(TVarType::Double, 1234.5)});
  auto owned = std::make_unique<TFloatField>();
  owned->SetFieldName("PENMAX");
  owned->SetDisplayFormat("#,##0.00");
  TField& amount = years.AddField(std::move(owned));
  years.Open();
  EXPECT_FALSE(years.DefaultFields());
  EXPECT_EQ(years.FieldCount(), 1);  // only the persistent field is visible
  EXPECT_EQ(amount.FieldNo(), 2);
  EXPECT_EQ(amount.DisplayText(), "1.234,50");
  EXPECT_EQ(ErrorOf([&] { years.AddField(std::make_unique<TIntegerField>()); }),
            "Cannot perform this operation on an open dataset");
  EXPECT_EQ(ErrorOf([&] { amount.SetFieldName("Other"); }), "Cannot perform this operation on an open dataset");
  years.Close();
  EXPECT_EQ(amount.FieldNo(), 0);
  years.Open();
  EXPECT_EQ(&years.FieldByName("PenMax"), &amount);

  TMemoryDataSet wrong;
  wrong.DefineField("PenMax", TFieldType::ftFloat);
  auto year = std::make_unique<TIntegerField>();
  year->SetFieldName("PenMax");
  wrong.AddField(std::move(year));
  EXPECT_EQ(ErrorOf([&] { wrong.Open(); }), "Type mismatch for field 'PenMax', expecting: Integer actual: Float");
  EXPECT_FALSE(wrong.Active());
  auto twin = std::make_unique<TFloatField>();
  twin->SetFieldName("penmax");
  EXPECT_EQ(ErrorOf([&] { wrong.AddField(std::move(twin)); }), "Duplicate field name 'penmax'");

  TMemoryDataSet missing;
  missing.DefineField("any", TFieldType::ftInteger);
  auto ghost = std::make_unique<TIntegerField>();
  ghost->SetFieldName("Nope");
  missing.AddField(std::move(ghost));
  EXPECT_EQ(ErrorOf([&] { missing.Open(); }), "Field 'Nope' not found");
  EXPECT_FALSE(missing.Active());
  EXPECT_EQ(missing.LiveBuffers(), 0);
}

TEST_F(Fields, DefinitionsWithoutAFieldClassAreRefusedAtOpen) {
  TMemoryDataSet photos;
  photos.DefineField("Foto", TFieldType::ftGraphic);
  EXPECT_EQ(ErrorOf([&] { photos.Open(); }), "Field 'Foto' is of an unsupported type");
  EXPECT_FALSE(photos.Active());
  EXPECT_EQ(photos.FieldCount(), 0);

  TMemoryDataSet names;
  names.DefineField("Nombre", TFieldType::ftString, 0);
  EXPECT_EQ(ErrorOf([&] { names.Open(); }), "Invalid field size");
}

TEST_F(Fields, LargeValuesNeedADatasetThatKeepsThem) {
  // A dataset without BLOB streams refuses the field's value both ways.
  TMemoryDataSet docs;
  docs.DefineField("Doc", TFieldType::ftBlob);
  docs.Open();
  auto& doc = dynamic_cast<TBlobField&>(docs.FieldByName("Doc"));
  EXPECT_TRUE(doc.IsNull());
  docs.Insert();
  EXPECT_EQ(ErrorOf([&] { doc.SetAsString("x"); }), "Field 'Doc' is of an unsupported type");
  EXPECT_EQ(doc.DisplayText(), "");
}

TEST_F(Fields, ValidationSeesTheNewValueAndMayRefuseIt) {
  OneField one(TFieldType::ftInteger);
  std::vector<int> seen;
  one.F().OnValidate = [&](TField& f) {
    seen.push_back(f.AsInteger());
    if (f.AsInteger() > 2060) throw EDatabaseError("too late");
  };
  one.F().SetAsInteger(2050);
  EXPECT_EQ(ErrorOf([&] { one.F().SetAsInteger(2061); }), "too late");
  EXPECT_EQ(one.F().AsInteger(), 2050);
  EXPECT_EQ(seen, (std::vector<int>{2050, 2061}));

  one.F().SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { one.F().SetAsInteger(1); }), "Field 'F' cannot be modified");
  one.F().SetDisplayLabel("A\xF1o");
  EXPECT_EQ(ErrorOf([&] { one.F().SetAsInteger(1); }), "Field 'A\xF1o' cannot be modified");
}

}  // namespace
}  // namespace data::testing
