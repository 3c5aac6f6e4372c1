// zdb create never replaces a file unless told to: an existing database, a read-only one,
// a file that is no database and a directory are refused and left byte for byte and mode
// for mode; --force replaces a file, keeps its permissions, and never a directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::RunTool;
using zdbtool::test::ToolRun;

constexpr uintmax_t NewFileSize = 24956;

mode_t Mode(const std::string& path) {
  struct stat found {};
  return ::stat(path.c_str(), &found) == 0 ? found.st_mode & 07777 : 0;
}

class ZdbCreate : public testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& arguments) { return RunTool(arguments, folder_.File("run")); }

  // A database with one table, so that a replacement shows.
  void MakeDatabase(const std::string& path) {
    ASSERT_EQ(Run({"create", path}).exitCode, 0);
    ASSERT_EQ(Run({"create-table", path, "Maximo", "--field", "any:INTEGER"}).exitCode, 0);
  }

  zdb::test::TempFolder folder_;
};

TEST_F(ZdbCreate, AnExistingFileIsRefusedAndLeftAsItWas) {
  struct Case {
    const char* name;
    mode_t mode;
    bool database;  // else a text file
  };
  const Case cases[] = {
      {"database", 0644, true},
      {"read-only database", 0444, true},
      {"text file", 0600, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.File(std::string(c.name) + ".zdb");
    if (c.database) {
      MakeDatabase(path);
    } else {
      zdbtool::test::WriteBytes(path, "not a database\n");
    }
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    const std::vector<uint8_t> before = zdb::test::ReadBytes(path);

    const ToolRun refused = Run({"create", path});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, path + " already exists; use --force to replace it\n");
    EXPECT_EQ(zdb::test::ReadBytes(path), before);
    EXPECT_EQ(Mode(path), c.mode);
    if (c.database) {
      EXPECT_EQ(Run({"check", path}).exitCode, 0);
    }
  }
}

TEST_F(ZdbCreate, ForceReplacesAFileAndKeepsItsPermissions) {
  // As root the read-only file is replaced too: its mode must come back all the same.
  for (const mode_t mode : {mode_t{0644}, mode_t{0444}, mode_t{0600}}) {
    SCOPED_TRACE(mode);
    const std::string path = folder_.File("forced" + std::to_string(mode) + ".zdb");
    MakeDatabase(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);

    const ToolRun replaced = Run({"create", path, "--force"});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(std::filesystem::file_size(path), NewFileSize);
    EXPECT_EQ(Mode(path), mode);
    const ToolRun tables = Run({"tables", path});
    EXPECT_EQ(tables.out.find("Maximo"), std::string::npos) << tables.out;
    EXPECT_EQ(Run({"check", path}).exitCode, 0);
  }
}

TEST_F(ZdbCreate, ADirectoryIsNeverReplaced) {
  const std::string path = folder_.File("folder.zdb");
  ASSERT_TRUE(std::filesystem::create_directory(path));
  zdbtool::test::WriteBytes(path + "/inside", "kept");
  for (const bool force : {false, true}) {
    SCOPED_TRACE(force);
    std::vector<std::string> arguments{"create", path};
    if (force) arguments.push_back("--force");
    const ToolRun refused = Run(arguments);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, path + " is a directory\n");
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(zdbtool::test::Slurp(path + "/inside"), "kept");
  }
}

}  // namespace
