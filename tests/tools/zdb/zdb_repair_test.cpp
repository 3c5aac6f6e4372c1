// zdb repair as its users run it: a file with a damaged record page, damaged index pages,
// a damaged bitmap page or the damaged definitions of one table becomes a file that checks
// clean, with every row that could be read, the damaged file kept byte for byte as a
// backup, and a report of what was copied. A repair that cannot read the table list
// leaves the file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdbtool::test::RunTool;
using zdbtool::test::Slurp;
using zdbtool::test::ToolRun;
using zdbtool::test::WriteBytes;

constexpr int64_t PageAreaStart = 380;
constexpr int64_t PageSize = 4096;
constexpr int MaximoRows = 500;
// A 21-byte "Maximo" row: 191 to a 4096-byte page.
constexpr int MaximoRowsPerPage = 191;

struct PageInfo {
  int32_t pageNo = 0;
  int32_t type = 0;
  int32_t owner = 0;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ZdbRepair : public testing::Test {
 protected:
  void SetUp() override {
    Ok({"create", path_});
    Ok({"create-table", path_, "Maximo", "--field", "any:INTEGER", "--field", "PenMax:FLOAT", "--field",
        "TopeCot:FLOAT", "--index", "ANY:any:primary"});
    Ok({"create-table", path_, "Control", "--field", "PorPMax:FLOAT", "--field", "PorTCot:FLOAT"});
    std::string maximo = "any,PenMax,TopeCot\n";
    for (int year = 1; year <= MaximoRows; ++year)
      maximo += std::to_string(year) + "," + std::to_string(year) + ".25," + std::to_string(year * 2) + "\n";
    WriteBytes(folder_.File("maximo.csv"), maximo);
    WriteBytes(folder_.File("control.csv"), "PorPMax,PorTCot\n2.5,3.25\n");
    Ok({"load", path_, "Maximo", folder_.File("maximo.csv")});
    Ok({"load", path_, "Control", folder_.File("control.csv")});
  }

  ToolRun Run(const std::vector<std::string>& arguments) { return RunTool(arguments, folder_.File("run")); }
  ToolRun Ok(const std::vector<std::string>& arguments) {
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 0) << arguments[0] << ": " << run.err;
    return run;
  }

  // The lines of `zdb pages`: page, type, type name, next page, owner, version, used.
  std::vector<PageInfo> Pages() {
    std::vector<PageInfo> pages;
    const std::vector<std::string> lines = Lines(Ok({"pages", path_}).out);
    for (size_t i = 1; i < lines.size(); ++i) {
      std::vector<std::string> fields;
      std::istringstream line(lines[i]);
      for (std::string field; std::getline(line, field, '\t');) fields.push_back(field);
      pages.push_back({std::stoi(fields.at(0)), std::stoi(fields.at(1)), std::stoi(fields.at(4))});
    }
    return pages;
  }

  // The pages of a type, in page order; for record pages only those of the owner.
  std::vector<int32_t> PagesOf(int32_t type, int32_t owner = -2) {
    std::vector<int32_t> found;
    for (const PageInfo& page : Pages())
      if (page.type == type && (owner == -2 || page.owner == owner)) found.push_back(page.pageNo);
    return found;
  }

  int32_t MaximoID() {
    const std::vector<std::string> lines = Lines(Ok({"tables", path_}).out);
    for (const std::string& line : lines)
      if (line.rfind("Maximo\t", 0) == 0) return std::stoi(line.substr(7));
    ADD_FAILURE() << "no Maximo";
    return -1;
  }

  void Overwrite(int32_t pageNo) {
    std::string bytes = Slurp(path_);
    std::fill_n(bytes.begin() + PageAreaStart + pageNo * PageSize, PageSize, '\xAB');
    WriteBytes(path_, bytes);
  }

  int DumpedRows(const std::string& table) {
    return static_cast<int>(Lines(Ok({"dump", path_, table}).out).size()) - 1;  // without the header
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("Zelmarot.zdb");
};

struct RepairCase {
  const char* what;
  // Overwrites the chosen pages of the file.
  std::function<void()> damage;
  std::vector<std::string> report;  // the lines before the check's
  int maximoRows;
  int controlRows;  // -1: the table is gone
};

TEST_F(ZdbRepair, DamagedFilesBecomeCleanFilesWithEveryReadableRowAndABackup) {
  const std::string maximoWhole = "Table 'Maximo': 500 rows copied, 0 unreadable";
  const std::string controlWhole = "Table 'Control': 1 row copied, 0 unreadable";
  const RepairCase cases[] = {
      {"a record page",
       [this] { Overwrite(PagesOf(10, MaximoID()).at(1)); },
       {"Table 'Maximo': 309 rows copied, 191 unreadable", controlWhole},
       MaximoRows - MaximoRowsPerPage,
       1},
      {"every index page (the index and the record-page indexes)",
       [this] {
         for (const int32_t pageNo : PagesOf(12)) Overwrite(pageNo);
       },
       {maximoWhole, controlWhole},
       MaximoRows,
       1},
      {"the PFS page", [this] { Overwrite(0); }, {maximoWhole, controlWhole}, MaximoRows, 1},
      {"the EAM page", [this] { Overwrite(1); }, {maximoWhole, controlWhole}, MaximoRows, 1},
      {"the metadata page of one table",
       [this] { Overwrite(PagesOf(8).at(1)); },
       {maximoWhole,
        "Table 'Control': not copied, its definitions cannot be read: Invalid page type. Possible data corruption. "
        "Expecting type 8, but found 43947 - Native error: 20153"},
       MaximoRows,
       -1},
  };
  const std::string pristine = Slurp(path_);
  for (const RepairCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(path_, pristine);
    std::filesystem::remove(path_ + ".bak");
    c.damage();
    const std::string damaged = Slurp(path_);

    const ToolRun repair = Run({"repair", path_});
    EXPECT_EQ(repair.exitCode, 0) << repair.out << repair.err;
    std::vector<std::string> expected = c.report;
    expected.push_back("Backup of the damaged file: " + path_ + ".bak");
    const std::vector<std::string> lines = Lines(repair.out);
    ASSERT_EQ(lines.size(), expected.size() + 1) << repair.out;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end() - 1), expected);
    EXPECT_EQ(lines.back().rfind("clean: ", 0), 0u) << lines.back();

    EXPECT_EQ(Slurp(path_ + ".bak"), damaged);
    EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
    const ToolRun check = Run({"check", path_});
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_EQ(DumpedRows("Maximo"), c.maximoRows);
    if (c.controlRows >= 0) {
      EXPECT_EQ(DumpedRows("Control"), c.controlRows);
    } else {
      EXPECT_EQ(Lines(Ok({"tables", path_}).out).size(), 2u);  // the header and "Maximo"
    }
  }
}

TEST_F(ZdbRepair, ASecondRepairKeepsTheFirstBackup) {
  const std::string first = Slurp(path_);
  EXPECT_EQ(Run({"repair", path_}).exitCode, 0);
  const std::string second = Slurp(path_);
  const ToolRun again = Run({"repair", path_});
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_NE(again.out.find("Backup of the damaged file: " + path_ + ".1.bak\n"), std::string::npos) << again.out;
  EXPECT_EQ(Slurp(path_ + ".bak"), first);
  EXPECT_EQ(Slurp(path_ + ".1.bak"), second);
  EXPECT_EQ(DumpedRows("Maximo"), MaximoRows);
}

TEST_F(ZdbRepair, FileWhoseTableListCannotBeReadIsLeftAsItWas) {
  Overwrite(PagesOf(6).at(0));
  const std::string damaged = Slurp(path_);
  const ToolRun repair = Run({"repair", path_});
  EXPECT_EQ(repair.exitCode, 1);
  EXPECT_EQ(repair.err.rfind("The list of tables cannot be read, so nothing can be copied: ", 0), 0u) << repair.err;
  EXPECT_EQ(Slurp(path_), damaged);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".bak"));
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

TEST(ZdbRepairUsage, MissingFileIsAnError) {
  zdb::test::TempFolder folder;
  const ToolRun repair = RunTool({"repair", folder.File("nothing.zdb")}, folder.File("run"));
  EXPECT_EQ(repair.exitCode, 1);
  EXPECT_NE(repair.err.find("does not exist"), std::string::npos) << repair.err;
}

}  // namespace
