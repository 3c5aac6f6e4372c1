// The zdb command line as users of command-line tools expect it: --version, help,
// unknown commands and types named with the valid ones, the exit codes in --help, empty
// names refused before the file is touched, names in UTF-8 both ways, and what lies at the
// file's name said in plain words before the engine's message.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::RunTool;
using zdbtool::test::ToolRun;

constexpr const char* CommandList =
    "the commands are: create, info, pages, sessions, tables, check, repair, create-table, schema, load, dump, "
    "get-blob, set-blob, empty, drop-table, rename-table, add-index, drop-index, rename-field, help\n";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ZdbCommandLine : public testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
    return RunTool(arguments, folder_.File("run"), input);
  }
  void CreateDatabase() {
    ASSERT_EQ(Run({"create", path_}).exitCode, 0);
    ASSERT_EQ(
        Run({"create-table", path_, "Maximo", "--field", "any:INTEGER", "--field", "Doc:BLOB", "--index", "ANY:any"})
            .exitCode,
        0);
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("names.zdb");
};

TEST_F(ZdbCommandLine, VersionHelpAndUnknownCommands) {
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string out;  // a part of stdout
    std::string err;  // all of stderr
  };
  const Case cases[] = {
      {{"--version"}, 0, "zdb " ZDB_TOOL_VERSION "\n", ""},
      {{"help"}, 0, "Exit codes:\n  0        success\n  1        a failure the engine or the data reported", ""},
      {{"--help"}, 0, "  2        a usage error", ""},
      {{"help", "load"}, 0, "--batch", ""},
      {{"help", "frobnicate"}, 2, "", "'frobnicate' is not a zdb command; " + std::string(CommandList)},
      {{"frobnicate", path_}, 2, "", "'frobnicate' is not a zdb command; " + std::string(CommandList)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0] + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
    const ToolRun run = Run(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_TRUE(Has(run.out, c.out)) << run.out;
    EXPECT_EQ(run.err, c.err);
  }
}

TEST_F(ZdbCommandLine, AnUnknownFieldTypeListsTheTypes) {
  CreateDatabase();
  const std::vector<uint8_t> before = zdb::test::ReadBytes(path_);
  const ToolRun run = Run({"create-table", path_, "T", "--field", "a:INTEGR"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Has(run.err, "'INTEGR' is not a field type; one of: CHAR, FIXEDCHAR, STRING,")) << run.err;
  for (const char* type : {"INTEGER", "FLOAT", "BLOB", "WIDEMEMO", "GUID"}) EXPECT_TRUE(Has(run.err, type)) << type;
  // Every type once, though several rows of the type-name table share a name.
  EXPECT_FALSE(Has(run.err, "FLOAT, FLOAT")) << run.err;
  EXPECT_EQ(zdb::test::ReadBytes(path_), before);
}

TEST_F(ZdbCommandLine, AnEmptyNameIsRefusedBeforeTheFileIsTouched) {
  CreateDatabase();
  const std::string csv = folder_.File("rows.csv");
  zdbtool::test::WriteBytes(csv, "any\n1\n");
  const std::vector<std::vector<std::string>> cases = {
      {"create-table", path_, "", "--field", "a:INTEGER"},
      {"create-table", path_, "T", "--field", ":INTEGER"},
      {"create-table", path_, "T", "--field", "a:INTEGER", "--index", ":a"},
      {"create-table", path_, "T", "--field", "a:INTEGER", "--not-null", ""},
      {"schema", path_, ""},
      {"load", path_, "", csv},
      {"dump", path_, ""},
      {"empty", path_, ""},
      {"drop-table", path_, ""},
      {"rename-table", path_, "Maximo", ""},
      {"rename-field", path_, "Maximo", "any", ""},
      {"rename-field", path_, "Maximo", "", "year"},
      {"add-index", path_, "Maximo", ":any"},
      {"drop-index", path_, "Maximo", ""},
      {"get-blob", path_, "Maximo", "", "--where", "any=1"},
  };
  const std::vector<uint8_t> before = zdb::test::ReadBytes(path_);
  for (const std::vector<std::string>& arguments : cases) {
    std::string trace;
    for (const std::string& argument : arguments) trace += "'" + argument + "' ";
    SCOPED_TRACE(trace);
    const ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "name must not be empty")) << run.err;
    EXPECT_EQ(zdb::test::ReadBytes(path_), before);
  }
  EXPECT_EQ(Run({"check", path_}).exitCode, 0);
}

TEST_F(ZdbCommandLine, NamesGoInAndComeOutInUtf8) {
  ASSERT_EQ(Run({"create", path_}).exitCode, 0);
  const ToolRun created = Run({"create-table", path_, "Año", "--field", "Número:INTEGER", "--field",
                               "Descripción:STRING:20", "--index", "Índice:Número:unique"});
  ASSERT_EQ(created.exitCode, 0) << created.err;

  const ToolRun tables = Run({"tables", path_});
  EXPECT_TRUE(Has(tables.out, "\nAño\t")) << tables.out;
  const ToolRun schema = Run({"schema", path_, "Año"});
  EXPECT_TRUE(Has(schema.out,
                  "table: Año\nfield: Número INTEGER\nfield: Descripción STRING(20)\nindex: Índice (Número) unique\n"))
      << schema.out;

  const std::string csv = folder_.File("rows.csv");
  zdbtool::test::WriteBytes(csv, "Número,Descripción\n1,señal\n1,otra\n");
  const ToolRun duplicate = Run({"load", path_, "Año", csv});
  EXPECT_EQ(duplicate.exitCode, 1);
  EXPECT_TRUE(Has(duplicate.err, "'C_Unique$Número' violated")) << duplicate.err;
  zdbtool::test::WriteBytes(csv, "Número,Descripción\n1,señal\n");
  ASSERT_EQ(Run({"load", path_, "Año", csv}).exitCode, 0);
  EXPECT_EQ(Run({"dump", path_, "Año"}).out, "Número,Descripción\r\n1,señal\r\n");

  ASSERT_EQ(Run({"rename-table", path_, "Año", "Señal"}).exitCode, 0);
  EXPECT_TRUE(Has(Run({"tables", path_}).out, "\nSeñal\t"));
  // The engine's own message names the table as it was typed.
  const ToolRun missing = Run({"schema", path_, "Niño"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(Has(missing.err, "'Niño'")) << missing.err;

  // A character the file's code page lacks is refused, not stored as '?'.
  const std::vector<uint8_t> before = zdb::test::ReadBytes(path_);
  const ToolRun omega = Run({"create-table", path_, "Ωmega", "--field", "a:INTEGER"});
  EXPECT_EQ(omega.exitCode, 1);
  EXPECT_TRUE(Has(omega.err, "'Ωmega'")) << omega.err;
  EXPECT_EQ(zdb::test::ReadBytes(path_), before);
  EXPECT_EQ(Run({"check", path_}).exitCode, 0);
}

TEST_F(ZdbCommandLine, WhatLiesAtTheNameIsSaidBeforeTheEngineMessage) {
  const std::string folder = folder_.File("folder.zdb");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  const std::string empty = folder_.File("empty.zdb");
  zdbtool::test::WriteBytes(empty, "");
  struct Case {
    std::string path;
    std::string said;
  };
  for (const Case& c : {Case{folder, folder + " is a directory: "}, Case{empty, empty + " is empty (0 bytes): "}}) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"info", c.path}, {"tables", c.path}, {"check", c.path}, {"dump", c.path, "Maximo"}}) {
      SCOPED_TRACE(arguments[0] + " " + c.path);
      const ToolRun run = Run(arguments);
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_EQ(run.err.rfind(c.said, 0), 0u) << run.err;
      EXPECT_GT(run.err.size(), c.said.size() + 1) << "the engine's text follows";
    }
  }
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
}

}  // namespace
