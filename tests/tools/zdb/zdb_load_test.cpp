// zdb load is all or nothing: a bad line or an interruption (SIGINT, SIGTERM, from a pipe
// still open) leaves the table as it was and says so; --batch keeps the batches
// committed before the failure and says how many rows they hold. "-" reads standard
// input.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <regex>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::PipedInput;
using zdbtool::test::RunTool;
using zdbtool::test::ToolProcess;
using zdbtool::test::ToolRun;

constexpr const char* Header = "any,PenMax,Nota\n";
constexpr const char* RowsBefore = "any,PenMax,Nota\r\n1,1.5,uno\r\n2,2.5,dos\r\n";

// Rows first .. last, each line padded by its Nota.
std::string Rows(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i)
    text +=
        std::to_string(i) + "," + std::to_string(i) + ".5,fila " + std::to_string(i) + " ........................\n";
  return text;
}

std::string DumpRows(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i)
    text +=
        std::to_string(i) + "," + std::to_string(i) + ".5,fila " + std::to_string(i) + " ........................\r\n";
  return text;
}

class ZdbLoad : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Run({"create", path_}).exitCode, 0); }

  ToolRun Run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
    return RunTool(arguments, folder_.File("run"), input);
  }
  std::string Csv(const std::string& text) {
    const std::string path = folder_.File("rows.csv");
    zdbtool::test::WriteBytes(path, text);
    return path;
  }
  // The table with rows 1 and 2 in it.
  void CreateTable(const std::string& table) {
    ASSERT_EQ(Run({"create-table", path_, table, "--field", "any:INTEGER", "--field", "PenMax:FLOAT", "--field",
                   "Nota:STRING:40", "--index", "ANY:any:primary"})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"load", path_, table, Csv(std::string(Header) + "1,1.5,uno\n2,2.5,dos\n")}).exitCode, 0);
  }
  std::string Dump(const std::string& table) { return Run({"dump", path_, table, "--index", "ANY"}).out; }
  void ExpectChecksClean() {
    const ToolRun checked = Run({"check", path_});
    EXPECT_EQ(checked.exitCode, 0) << checked.out;
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("load.zdb");
};

TEST_F(ZdbLoad, ADuplicateKeyStopsTheLoadAndOnlyCommittedBatchesStay) {
  // Lines 2 to 9 hold the rows 10 to 17; line 10 repeats the key 1 already in the table.
  const std::string bad = std::string(Header) + Rows(10, 17) + "1,9,otra\n" + Rows(18, 19);
  const std::string duplicate =
      "line 10: Primary Key constraint 'C_PK$any' violated. Duplicate found. - Native error: 30319; ";
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::string stayed;     // what the message says stayed
    std::string dumpAfter;  // the table after the failed load
  };
  const Case cases[] = {
      {"one transaction", {}, "no row was loaded\n", RowsBefore},
      {"batches of 3",
       {"--batch", "3"},
       "6 rows were committed by the batches before it, no row after them\n",
       RowsBefore + DumpRows(10, 15)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string table = "T" + std::to_string(&c - cases);
    CreateTable(table);
    std::vector<std::string> arguments{"load", path_, table, Csv(bad)};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const ToolRun loaded = Run(arguments);
    EXPECT_EQ(loaded.exitCode, 1);
    EXPECT_EQ(loaded.out, "");
    EXPECT_EQ(loaded.err, duplicate + c.stayed);
    EXPECT_EQ(Dump(table), c.dumpAfter);
    ExpectChecksClean();
  }
  // Nothing of the failed load is in the way of the corrected file.
  const ToolRun corrected = Run({"load", path_, "T0", Csv(std::string(Header) + Rows(10, 19))});
  EXPECT_EQ(corrected.exitCode, 0) << corrected.err;
  EXPECT_EQ(corrected.out, "loaded 10 rows\n");
  EXPECT_EQ(Dump("T0"), RowsBefore + DumpRows(10, 19));
}

TEST_F(ZdbLoad, ADashReadsStandardInput) {
  CreateTable("Maximo");
  const ToolRun loaded = Run({"load", path_, "Maximo", "-"}, Csv(std::string(Header) + Rows(3, 5)));
  EXPECT_EQ(loaded.exitCode, 0) << loaded.err;
  EXPECT_EQ(loaded.out, "loaded 3 rows\n");
  EXPECT_EQ(Dump("Maximo"), RowsBefore + DumpRows(3, 5));
}

TEST_F(ZdbLoad, AnInterruptedLoadRollsBackAndSaysSo) {
  struct Case {
    const char* name;
    int signal;
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"Ctrl-C", SIGINT, {}},
      {"SIGTERM", SIGTERM, {}},
      {"Ctrl-C between batches", SIGINT, {"--batch", "100"}},
  };
  // Far more than a pipe holds: once the pipe took it all, the tool is reading and storing
  // rows, its handlers in place.
  const std::string rows = std::string(Header) + Rows(3, 6000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string table = "T" + std::to_string(&c - cases);
    CreateTable(table);
    std::vector<std::string> arguments{"load", path_, table, "-"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    ToolProcess load(arguments, folder_.File("load.out"), folder_.File("load.err"), PipedInput{});
    ASSERT_TRUE(load.WriteInput(rows));
    load.Signal(c.signal);
    const ToolRun stopped = load.Finish();

    EXPECT_EQ(stopped.exitCode, 128 + c.signal) << stopped.err;
    EXPECT_EQ(stopped.out, "");
    const std::string name = c.signal == SIGINT ? "SIGINT" : "SIGTERM";
    std::smatch said;
    ASSERT_TRUE(std::regex_match(stopped.err, said,
                                 std::regex("interrupted by " + name +
                                            " at line [0-9]+: (no row was loaded|([0-9]+) "
                                            "rows were committed by the batches before "
                                            "it, no row after them)\n")))
        << stopped.err;
    // Whole batches stay, and exactly the rows the message counts.
    const int committed = said[2].matched ? std::stoi(said[2].str()) : 0;
    EXPECT_EQ(committed % 100, 0);
    if (c.options.empty()) {
      EXPECT_EQ(committed, 0);
    }
    EXPECT_EQ(Dump(table), RowsBefore + DumpRows(3, 2 + committed));
    ExpectChecksClean();
  }
}

// A write that the file system refuses half way (here a file-size limit, refusing room as
// a full disk does) leaves the table as it was.
TEST_F(ZdbLoad, AWriteTheFileSystemRefusesLeavesTheTableAsItWas) {
  CreateTable("Limites");
  const std::string before = Dump("Limites");
  const std::string csv = Csv(std::string(Header) + Rows(10, 20000));
  const std::vector<uint8_t> fileBefore = zdb::test::ReadBytes(path_);
  // Room for the journal and a little growth, not for the rows.
  rlimit unlimited{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  rlimit limited = unlimited;
  limited.rlim_cur = fileBefore.size() + 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const ToolRun loaded = Run({"load", path_, "Limites", csv});
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);

  EXPECT_EQ(loaded.exitCode, 1) << loaded.err;
  EXPECT_NE(loaded.err.find("no row was loaded"), std::string::npos) << loaded.err;
  EXPECT_EQ(Dump("Limites"), before);
  ExpectChecksClean();
}

}  // namespace
