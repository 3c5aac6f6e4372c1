// The zdb commands for large values as their users run them: create-table with BLOB,
// MEMO and WIDEMEMO fields and their compression, set-blob and get-blob round trips byte
// for byte, the dump's prefixes, a clean check, and the refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::RunTool;
using zdbtool::test::ToolRun;
using zdbtool::test::WriteBytes;

// Bytes of every value, in an order no compressor shrinks much.
std::string Noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 7u;
  for (char& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

class ZdbBlob : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Run({"create", path_}).exitCode, 0);
    const ToolRun created =
        Run({"create-table", path_, "Docs", "--field", "id:INTEGER", "--field", "kind:STRING:10", "--field",
             "Plain:BLOB", "--field", "Zipped:BLOB:zlib:6", "--field", "Packed:BLOB:bzip2:9", "--field",
             "Modelled:BLOB:ppm:4", "--field", "Notes:MEMO:zlib", "--field", "Wide:WIDEMEMO"});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    WriteBytes(folder_.File("rows.csv"), "id,kind\r\n1,a\r\n2,b\r\n3,b\r\n");
    ASSERT_EQ(Run({"load", path_, "Docs", folder_.File("rows.csv")}).exitCode, 0);
  }

  // The tool with stdin from a file (or /dev/null), stdout and stderr into files.
  ToolRun Run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
    return RunTool(arguments, folder_.File("run"), input);
  }
  ToolRun Set(const std::string& field, const std::string& where, const std::string& value) {
    const std::string input = folder_.File("value.in");
    WriteBytes(input, value);
    return Run({"set-blob", path_, "Docs", field, "--where", where}, input);
  }
  ToolRun Get(const std::string& field, const std::string& where) {
    return Run({"get-blob", path_, "Docs", field, "--where", where});
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("docs.zdb");
};

TEST_F(ZdbBlob, ValuesGoInAndComeOutByteForByteAndTheFileChecksClean) {
  // Sizes around the shared-page limit and over many pages for the plain field (the table
  // data's tests go through every size with every algorithm), one value per algorithm.
  struct Value {
    const char* field;
    size_t size;
  };
  const std::vector<Value> values = {{"Plain", 0},       {"Plain", 4032},  {"Plain", 300000},
                                     {"Zipped", 20000}, {"Packed", 20000}, {"Modelled", 20000}};
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(std::string(values[i].field) + " " + std::to_string(values[i].size));
    const std::string value = Noise(values[i].size, static_cast<uint32_t>(i + 1));
    const ToolRun stored = Set(values[i].field, "id=1", value);
    ASSERT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_EQ(stored.out, "stored " + std::to_string(values[i].size) + " bytes\n");
    const ToolRun read = Get(values[i].field, "id=1");
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_TRUE(read.out == value) << "the value read back differs";
  }
  const ToolRun check = Run({"check", path_});
  EXPECT_EQ(check.exitCode, 0) << check.out;
  EXPECT_EQ(check.out.rfind("clean:", 0), 0u) << check.out;
}

TEST_F(ZdbBlob, DumpShowsSizesAndPrefixes) {
  ASSERT_EQ(Set("Zipped", "id=1", std::string("\x01\x02\xab", 3) + std::string(40, 'z')).exitCode, 0);
  ASSERT_EQ(Set("Notes", "id=2", "una nota \"larga\" que el volcado corta a los treinta y dos").exitCode, 0);
  ASSERT_EQ(Set("Wide", "id=3", std::string("h\0o\0l\0a\0", 8)).exitCode, 0);
  ASSERT_EQ(Set("Plain", "id=3", "x").exitCode, 0);
  const ToolRun dump = Run({"dump", path_, "Docs"});
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(dump.out,
            "id,kind,Plain,Zipped,Packed,Modelled,Notes,Wide\r\n"
            "1,a,,43 bytes: 0102ab7a7a7a7a7a7a7a7a7a7a7a7a7a...,,,,\r\n"
            "2,b,,,,,\"57 bytes: \"\"una nota \"\"larga\"\" que el volcado ...\"\"\",\r\n"
            "3,b,1 byte: 78,,,,,\"8 bytes: \"\"hola\"\"\"\r\n");
}

TEST_F(ZdbBlob, RowsAndFieldsThatNameNoSingleValueAreRefused) {
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"get-blob", path_, "Docs", "Plain", "--where", "id=9"}, 1, "No row of table 'Docs' has id=9\n"},
      {{"get-blob", path_, "Docs", "Plain", "--where", "kind=b"},
       1,
       "2 rows of table 'Docs' have kind=b; name one row\n"},
      {{"get-blob", path_, "Docs", "kind", "--where", "id=1"},
       1,
       "Field 'kind' of table 'Docs' (STRING) is not a BLOB, MEMO or WIDEMEMO field\n"},
      {{"set-blob", path_, "Docs", "Nothing", "--where", "id=1"}, 1, "'Nothing' is not a field of table 'Docs'\n"},
      {{"get-blob", path_, "Docs", "Plain", "--where", "Plain=1"}, 1, "Field 'Plain' of type BLOB cannot name a row\n"},
      {{"get-blob", path_, "Docs", "Plain", "--where", "id"}, 2, ""},
      {{"get-blob", path_, "Docs", "Plain"}, 2, ""},
      {{"create-table", path_, "Bad", "--field", "D:BLOB:lzma"}, 2, ""},
      {{"create-table", path_, "Bad", "--field", "D:BLOB:zlib:0"}, 2, ""},
      {{"create-table", path_, "Bad", "--field", "D:BLOB:none:3"}, 2, ""},
      {{"create-table", path_, "Bad", "--field", "D:MEMO:zlib:10"}, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0] + " " + c.arguments.back());
    const ToolRun run = Run(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    if (!c.error.empty()) {
      EXPECT_EQ(run.err, c.error);
    }
  }
  // Nothing was written by the refusals.
  EXPECT_TRUE(Get("Plain", "id=1").out.empty());
}

}  // namespace
