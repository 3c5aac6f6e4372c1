// The zdb table commands as their users run them: create-table, schema, load and dump,
// the "Maximo" table of the program filled with 10,000 rows, lines that cannot be loaded,
// values of every kind through CSV, and two loads into one table at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::ToolProcess;
using zdbtool::test::ToolRun;
using zdbtool::test::WriteBytes;

class ZdbTable : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Run({"create", path_}).exitCode, 0); }

  ToolRun Run(const std::vector<std::string>& arguments, const std::string& name = "run") {
    return Start(arguments, name).Finish();
  }
  ToolProcess Start(const std::vector<std::string>& arguments, const std::string& name) {
    return ToolProcess(arguments, folder_.File(name + ".out"), folder_.File(name + ".err"));
  }
  std::string Csv(const std::string& name, const std::string& text) {
    const std::string path = folder_.File(name);
    WriteBytes(path, text);
    return path;
  }
  void CreateMaximo(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> arguments{"create-table", path_,     "Maximo",        "--field", "any:INTEGER", "--field",
                                       "PenMax:FLOAT", "--field", "TopeCot:FLOAT", "--index", "ANY:any"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const ToolRun created = Run(arguments);
    ASSERT_EQ(created.exitCode, 0) << created.err;
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("tables.zdb");
};

// A "Maximo" line for the year: amounts with cents, as the program keeps them.
std::string MaximoLine(int32_t year) {
  return std::to_string(year) + "," + std::to_string(year) + ".34," + std::to_string(year * 2) + ".05\r\n";
}

TEST_F(ZdbTable, MaximoWith10000RowsLoadsDumpsInYearOrderAndChecksClean) {
  CreateMaximo();
  const ToolRun schema = Run({"schema", path_, "MAXIMO"});
  EXPECT_EQ(schema.exitCode, 0) << schema.err;
  EXPECT_EQ(schema.out,
            "table: Maximo\n"
            "field: any INTEGER\n"
            "field: PenMax FLOAT\n"
            "field: TopeCot FLOAT\n"
            "index: ANY (any)\n"
            "rows: 0\n");

  std::vector<int32_t> years(10000);
  std::iota(years.begin(), years.end(), 1900);
  std::shuffle(years.begin(), years.end(), std::mt19937(5));
  std::string csv = "any,PenMax,TopeCot\n";
  for (int32_t year : years) csv += MaximoLine(year);
  const ToolRun loaded = Run({"load", path_, "Maximo", Csv("maximo.csv", csv)});
  EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
  EXPECT_EQ(loaded.out, "loaded 10000 rows\n");

  std::sort(years.begin(), years.end());
  std::string expected = "any,PenMax,TopeCot\r\n";
  for (int32_t year : years) expected += MaximoLine(year);
  const ToolRun dumped = Run({"dump", path_, "Maximo", "--index", "any"});
  EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
  EXPECT_TRUE(dumped.out == expected) << dumped.out.substr(0, 200);

  const ToolRun checked = Run({"check", path_});
  EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
  EXPECT_EQ(checked.out.rfind("clean: ", 0), 0u) << checked.out;
}

TEST_F(ZdbTable, ALineThatCannotBeStoredStopsTheLoadWithItsNumberAndNothingStays) {
  struct Case {
    const char* name;
    std::string badLine;
    const char* error;  // the start of the message after "line 4: "
  };
  const Case cases[] = {
      {"too few fields", "2003,1.5\n", "2 fields, the header names 3"},
      {"not a number", "2003,abc,1\n", "field 'PenMax': 'abc' is not a number"},
      {"number too large", "3000000000,1,1\n", "field 'any': '3000000000' is not a whole number"},
      {"not null", "2003,,1\n", "Constraint '$C_NotNull$Maximo3$PenMax' violated"},
      {"duplicate key", "2001,1,1\n", "Constraint unique 'C_Unique$any' violated. Duplicate found."},
      {"open quote", "2003,\"1.5,1\n", "a quoted field is not closed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string table = "Maximo" + std::to_string(&c - cases);
    const ToolRun created = Run({"create-table", path_, table, "--field", "any:INTEGER", "--field", "PenMax:FLOAT",
                                 "--field", "TopeCot:FLOAT", "--index", "ANY:any:unique", "--not-null", "PenMax"});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    // Line 2 is blank, lines 3 and 4 are good, line 5 is not.
    const std::string csv =
        Csv("bad.csv", std::string("any,PenMax,TopeCot\n\n2001,1,2\n2002,3,4\n") + c.badLine + "2004,5,6\n");
    const ToolRun loaded = Run({"load", path_, table, csv});
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_EQ(loaded.err.rfind(std::string("line 5: ") + c.error, 0), 0u) << loaded.err;
    EXPECT_NE(loaded.err.find("; no row was loaded\n"), std::string::npos) << loaded.err;
    // The load is one transaction: the good lines before the bad one go with it.
    EXPECT_EQ(Run({"dump", path_, table, "--index", "ANY"}).out, "any,PenMax,TopeCot\r\n");
  }
  // No failed load left pages behind.
  const ToolRun checked = Run({"check", path_});
  EXPECT_EQ(checked.exitCode, 0) << checked.out;
}

TEST_F(ZdbTable, ValuesOfEveryKindGoThroughCsvAndBack) {
  const ToolRun created = Run({"create-table",      path_,     "Mixed",          "--field", "name:STRING:12", "--field",
                               "wide:WIDESTRING:5", "--field", "n:SMALLINT",     "--field", "big:LARGEINT",   "--field",
                               "day:DATE",          "--field", "at:TIME",        "--field", "stamp:DATETIME", "--field",
                               "ok:BOOLEAN",        "--field", "money:CURRENCY", "--field", "ratio:SINGLE",   "--index",
                               "BYN:n:desc"});
  ASSERT_EQ(created.exitCode, 0) << created.err;
  const std::string header = "name,wide,n,big,day,at,stamp,ok,money,ratio\r\n";
  const std::string rows =
      "\"Año, \"\"dos\"\"\",€uro,-32768,-9223372036854775808,2024-02-29,23:59:59.5,2023-05-25 10:20:30,true,"
      "2683.34,0.5\r\n"
      "\"two\nlines\",abc,32767,9223372036854775807,0001-01-01,00:00:00,2023-05-25 00:00:00,false,-0.01,1e-05\r\n"
      "\" padded \",ñ,,,,,,,,\r\n";
  const ToolRun loaded = Run({"load", path_, "Mixed", Csv("mixed.csv", header + rows)});
  ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
  const ToolRun dumped = Run({"dump", path_, "Mixed", "--index", "BYN"});
  EXPECT_EQ(dumped.exitCode, 0) << dumped.err;
  // In the index's order: n descending, NULL last.
  EXPECT_EQ(dumped.out, header +
                            "\"two\nlines\",abc,32767,9223372036854775807,0001-01-01,00:00:00,2023-05-25 00:00:00,false,"
                            "-0.01,0.00001\r\n"
                            "\"Año, \"\"dos\"\"\",€uro,-32768,-9223372036854775808,2024-02-29,23:59:59.500,"
                            "2023-05-25 10:20:30,true,2683.34,0.5\r\n"
                            "\" padded \",ñ,,,,,,,,\r\n");

  // A text that does not fit the field, and a character that a single-byte field lacks.
  EXPECT_NE(Run({"load", path_, "Mixed", Csv("long.csv", "name\n1234567890123\n")})
                .err.find("field 'name': the text has 13 characters, the field holds 12"),
            std::string::npos);
  EXPECT_NE(Run({"load", path_, "Mixed", Csv("greek.csv", "name\nλ\n")}).err.find("field 'name'"), std::string::npos);
}

TEST_F(ZdbTable, CommandLinesThatMakeNoSenseAreUsageErrors) {
  const std::vector<std::vector<std::string>> misuses = {
      {"create-table", path_, "T", "--field", "a:NOSUCHTYPE"},
      {"create-table", path_, "T", "--field", "a:STRING"},
      {"create-table", path_, "T", "--field", "a:INTEGER:4"},
      {"create-table", path_, "T", "--field", "a:INTEGER", "--index", "I:a:sideways"},
      {"create-table", path_, "T", "--field", "a:INTEGER", "--index", "I:a:unique:primary"},
      {"create-table", path_, "T"},
      {"dump", path_},
  };
  for (const auto& misuse : misuses) {
    const ToolRun run = Run(misuse);
    EXPECT_EQ(run.exitCode, 2) << misuse.back() << ": " << run.err;
  }
  // The file was not touched: the table does not exist.
  const ToolRun schema = Run({"schema", path_, "T"});
  EXPECT_EQ(schema.exitCode, 1);
  EXPECT_NE(schema.err.find("30396"), std::string::npos) << schema.err;
}

TEST_F(ZdbTable, HeaderLinesNamingWrongFieldsAreRefused) {
  CreateMaximo();
  const struct {
    const char* header;
    const char* error;
  } cases[] = {
      {"any,Nope\n", "line 1: 'Nope' is not a field of table 'Maximo'"},
      {"any,ANY\n", "line 1: field 'ANY' is named twice"},
      {"", "line 1: the file has no header line naming the fields"},
  };
  for (const auto& c : cases) {
    const ToolRun loaded = Run({"load", path_, "Maximo", Csv("header.csv", c.header)});
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_EQ(loaded.err.rfind(c.error, 0), 0u) << loaded.err;
  }
  // Fields the header leaves out stay NULL.
  ASSERT_EQ(Run({"load", path_, "Maximo", Csv("some.csv", "TOPECOT,any\n7.5,2020\n")}).exitCode, 0);
  EXPECT_EQ(Run({"dump", path_, "Maximo"}).out, "any,PenMax,TopeCot\r\n2020,,7.5\r\n");
}

TEST_F(ZdbTable, TwoLoadsAtOnceStoreEveryRowAndCheckClean) {
  CreateMaximo({"--index", "PK:any:primary"});
  std::string first = "any,PenMax,TopeCot\n";
  std::string second = first;
  for (int32_t year = 0; year < 3000; ++year) {
    first += MaximoLine(year);
    second += MaximoLine(10000 + year);
  }
  ToolProcess one = Start({"load", path_, "Maximo", Csv("one.csv", first)}, "one");
  ToolProcess two = Start({"load", path_, "Maximo", Csv("two.csv", second)}, "two");
  const ToolRun oneRun = one.Finish();
  const ToolRun twoRun = two.Finish();
  EXPECT_EQ(oneRun.exitCode, 0) << oneRun.err;
  EXPECT_EQ(twoRun.exitCode, 0) << twoRun.err;
  EXPECT_NE(Run({"schema", path_, "Maximo"}).out.find("rows: 6000\n"), std::string::npos);
  const ToolRun checked = Run({"check", path_});
  EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
}

}  // namespace

namespace {

// The operations on a table as a whole, one after the other on one file: each says what it
// did, leaves a file that checks clean, and a table that is not there is the engine's error.
TEST_F(ZdbTable, TheTableOperationsChangeATableAsAWholeAndLeaveAFileThatChecksClean) {
  CreateMaximo();
  ASSERT_EQ(Run({"load", path_, "Maximo", Csv("maximo.csv", "any,PenMax,TopeCot\n2022,1,2\n2023,3,4\n")}).exitCode, 0);
  struct Step {
    std::vector<std::string> arguments;
    std::string said;
  };
  const std::vector<Step> steps = {
      {{"add-index", path_, "Maximo", "PEN:PenMax"}, "added index PEN\n"},
      {{"rename-field", path_, "Maximo", "PenMax", "Pension"}, "renamed field PenMax to Pension\n"},
      {{"drop-index", path_, "Maximo", "PEN"}, "dropped index PEN\n"},
      {{"rename-table", path_, "Maximo", "Tope"}, "renamed table Maximo to Tope\n"},
      {{"empty", path_, "Tope"}, "emptied table Tope\n"},
      {{"drop-table", path_, "Tope"}, "dropped table Tope\n"},
  };
  for (const Step& step : steps) {
    const ToolRun run = Run(step.arguments);
    EXPECT_EQ(run.exitCode, 0) << step.arguments[0] << ": " << run.err;
    EXPECT_EQ(run.out, step.said);
    const ToolRun check = Run({"check", path_}, "check");
    EXPECT_EQ(check.exitCode, 0) << step.arguments[0] << ": " << check.out;
    if (step.arguments[0] == "rename-field") {
      const ToolRun schema = Run({"schema", path_, "Maximo"}, "schema");
      EXPECT_NE(schema.out.find("field: Pension FLOAT\n"), std::string::npos) << schema.out;
      EXPECT_NE(schema.out.find("index: PEN (Pension)\n"), std::string::npos) << schema.out;
    } else if (step.arguments[0] == "empty") {
      EXPECT_EQ(Run({"dump", path_, "Tope"}, "dump").out, "any,Pension,TopeCot\r\n");  // the header, no rows
    }
  }
  const ToolRun missing = Run({"drop-table", path_, "Tope"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("Table 'Tope' not found - Native error: 20132"), std::string::npos) << missing.err;
}

}  // namespace
