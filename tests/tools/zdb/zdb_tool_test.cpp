// The zdb command-line tool: its output, its exit codes, and that inspecting a file never
// changes it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/file/ZDBDiskDatabaseData.h"
#include "tests/engine/file/support/DiskDatabase.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::RunTool;
using zdbtool::test::ToolRun;

class ZdbTool : public testing::Test {
 protected:
  // Nobody answers the tool's questions: an encrypted file without its password fails.
  ToolRun Run(const std::vector<std::string>& arguments) { return RunTool(arguments, folder_.File("run")); }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("tool.zdb");
};

std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

TEST_F(ZdbTool, CreateThenInfo) {
  ToolRun created = Run({"create", path_});
  EXPECT_EQ(created.exitCode, 0) << created.err;
  EXPECT_EQ(zdb::test::ReadBytes(path_).size(), 24956u);

  ToolRun info = Run({"info", path_});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out,
            "signature: ZDBPAGEDDATABASE\n"
            "header_position: 0\n"
            "format_version: 6.07\n"
            "page_size: 4096\n"
            "pages_per_extent: 8\n"
            "total_page_count: 6\n"
            "last_used_page_no: 4\n"
            "commit_counter: 1\n"
            "write_state: 2\n"
            "encrypted: no\n"
            "needs_repair: no\n"
            "file_size: 24956\n"
            "slot_count: 500\n"
            "directory_entry: 2 3\n"
            "directory_entry: 1 4\n");
  EXPECT_EQ(info.err, "");

  EXPECT_EQ(Run({"create", path_, "--force", "--page-size", "512", "--extent-pages", "4"}).exitCode, 0);
  info = Run({"info", path_});
  EXPECT_NE(info.out.find("page_size: 512\npages_per_extent: 4\n"), std::string::npos) << info.out;

  // 5000 slots need a second page, so the table list moves on to page 5.
  EXPECT_EQ(Run({"create", path_, "--force", "--max-connections", "5000"}).exitCode, 0);
  info = Run({"info", path_});
  EXPECT_NE(info.out.find("slot_count: 5000\ndirectory_entry: 2 3\ndirectory_entry: 1 5\n"), std::string::npos)
      << info.out;
}

TEST_F(ZdbTool, TablesListsTheTableList) {
  ASSERT_EQ(Run({"create", path_}).exitCode, 0);
  const std::string header = "name\tobject_id\tmetadata_page\tmost_updated_page\tlocks_page\n";
  ToolRun tables = Run({"tables", path_});
  EXPECT_EQ(tables.exitCode, 0) << tables.err;
  EXPECT_EQ(tables.out, header);

  {
    zdb::TZDBDiskDatabaseData data(path_);
    zdb::TZDBSessionConnection session;
    data.AddSession(session);
    data.AddTableToList("Maximo", 7, 10, 11, 12);
    data.AddTableToList("Porcentajes", 8, 13, 14, 15);
    data.Commit(zdb::TZDBPageManager::SystemSession, false);
    data.RemoveSession(session);
  }
  const std::vector<uint8_t> before = zdb::test::ReadBytes(path_);
  tables = Run({"tables", path_});
  EXPECT_EQ(tables.exitCode, 0) << tables.err;
  EXPECT_EQ(tables.out, header + "Maximo\t7\t10\t11\t12\nPorcentajes\t8\t13\t14\t15\n");
  EXPECT_EQ(zdb::test::ReadBytes(path_), before);
}

TEST_F(ZdbTool, InfoReportsACutCommitWithoutTouchingTheFile) {
  zdb::test::CreateDatabase(path_, {1, 2});
  std::vector<uint8_t> bytes = zdb::test::ReadBytes(path_);
  bytes[42] = 1;  // WriteState: a commit was cut short
  zdb::test::WriteBytes(path_, bytes);
  ToolRun info = Run({"info", path_});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("total_page_count: 6\nlast_used_page_no: 3\ncommit_counter: 1\nwrite_state: 1\n"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("needs_repair: yes\nfile_size: 24956\n"), std::string::npos) << info.out;
  // Pages of another kind where the system directory belongs: the header is still shown.
  EXPECT_NE(info.out.find("system_files: unreadable: Invalid page type. Possible data corruption. Expecting type 4, "
                          "but found 10 - Native error: 20153\n"),
            std::string::npos)
      << info.out;
  EXPECT_EQ(zdb::test::ReadBytes(path_), bytes);
}

TEST_F(ZdbTool, PagesListsEveryPageWithItsFreeSpaceBit) {
  zdb::test::CreateDatabase(path_, {1, 2});
  const std::vector<uint8_t> before = zdb::test::ReadBytes(path_);
  ToolRun pages = Run({"pages", path_});
  EXPECT_EQ(pages.exitCode, 0) << pages.err;
  const auto rows = Rows(pages.out);
  ASSERT_EQ(rows.size(), 7u) << pages.out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"page", "type", "type_name", "next_page", "owner", "version", "used"}));
  // Page: number, type, name, next page, owner, used (the version is checked apart).
  const std::vector<std::vector<std::string>> expected = {
      {"0", "3", "PFS Page", "-1", "-1", "1"},
      {"1", "2", "EAM Page", "-1", "-1", "1"},
      {"2", "10", "TableRecord Page", "-1", "-1", "1"},
      {"3", "10", "TableRecord Page", "-1", "-1", "1"},
      {"4", "0", "Unknown Page", "0", "0", "0"},  // never written
      {"5", "0", "Unknown Page", "0", "0", "0"},
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& row = rows[i + 1];
    ASSERT_EQ(row.size(), 7u) << i;
    EXPECT_EQ((std::vector<std::string>{row[0], row[1], row[2], row[3], row[4], row[6]}), expected[i]);
  }
  EXPECT_EQ(rows[1][5], "4") << "PFS page 0 was written four times";
  EXPECT_EQ(rows[5][5], "0");
  EXPECT_EQ(zdb::test::ReadBytes(path_), before);
}

TEST_F(ZdbTool, EngineErrorsExitWithOneAndTheirText) {
  const std::string missing = folder_.File("missing.zdb");
  ToolRun run = Run({"info", missing});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Cannot open file:'" + missing +
                         "' Error code: 2. ErrorMessage: The system cannot find the file specified. - Native error: "
                         "30364\n");
  EXPECT_EQ(run.out, "");

  zdb::test::WriteBytes(path_, std::vector<uint8_t>(1000, 0));
  run = Run({"pages", path_});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "Invalid file format. Found signature: '................', expected: 'ZDBPAGEDDATABASE' - Native error: "
            "10470\n");
  EXPECT_EQ(zdb::test::ReadBytes(path_), std::vector<uint8_t>(1000, 0));
}

TEST_F(ZdbTool, EncryptedFilesOpenOnlyWithTheirPassword) {
  ToolRun created = Run({"create", path_, "--password", "clave", "--cipher", "twofish_256"});
  ASSERT_EQ(created.exitCode, 0) << created.err;
  const std::vector<uint8_t> bytes = zdb::test::ReadBytes(path_);
  EXPECT_EQ(bytes.size(), 24956u);
  EXPECT_EQ(bytes[43], 0xFF) << "Encrypted";
  EXPECT_EQ(bytes[78], 6) << "CipherCode";

  const std::string refused = "Cannot open database - incorrect password - Native error: 30445\n";
  for (const auto& command : {"info", "pages", "sessions", "tables"}) {
    ToolRun run = Run({command, path_});
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_EQ(run.err, refused) << command;
    run = Run({command, path_, "--password", "Clave"});
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_EQ(run.err, refused) << command;
    run = Run({command, path_, "--password", "clave"});
    EXPECT_EQ(run.exitCode, 0) << command << ": " << run.err;
  }
  ToolRun info = Run({"info", path_, "--password", "clave"});
  EXPECT_NE(info.out.find("encrypted: yes\ncipher: Twofish_256\nneeds_repair: no\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("slot_count: 500\ndirectory_entry: 2 3\ndirectory_entry: 1 4\n"), std::string::npos)
      << info.out;
  EXPECT_EQ(zdb::test::ReadBytes(path_), bytes);

  // Without --cipher the default is Rijndael_128; the engine reads what zdb wrote.
  ASSERT_EQ(Run({"create", path_, "--force", "--password", "clave"}).exitCode, 0);
  EXPECT_EQ(zdb::test::ReadBytes(path_)[78], 0);
  zdb::TZDBDiskDatabaseData data(path_);
  zdb::TZDBSessionConnection session;
  session.Password = zdb::TZDBPassword{"clave", 0};
  data.AddSession(session);
  EXPECT_TRUE(data.IsOpen());
  data.RemoveSession(session);
}

TEST_F(ZdbTool, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate", path_},
      {"create"},
      {"info"},
      {"info", path_, "extra"},
      {"create", path_, "--page-size", "10"},
      {"create", path_, "--page-size", "70000"},
      {"create", path_, "--page-size", "big"},
      {"create", path_, "--extent-pages", "0"},
      {"create", path_, "--max-connections", "0"},
      {"create", path_, "--cipher", "Square"},
      {"create", path_, "--password", ""},
      {"create", path_, "--password", "x", "--cipher", "Twofish"},
      {"create", path_, "--password"},
      {"tables"},
  };
  for (const auto& arguments : cases) {
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 2) << (arguments.empty() ? "" : arguments[0]);
    EXPECT_NE(run.err, "");
  }
  EXPECT_FALSE(os::FileSystem::Default().Exists(path_));
  EXPECT_EQ(Run({"--help"}).exitCode, 0);
}

}  // namespace
