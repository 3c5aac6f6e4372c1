// zdb check: a sound file is reported clean; damage to an index page, to the free-space
// bitmap and to an internal-file chain is reported, one line per problem, with exit 1.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/file/ZDBPage.h"
#include "engine/index/ZDBBTreePage.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/TableFile.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace {

using zdb::testing::FilePatcher;
using zdb::testing::TableFileLayout;

struct CheckRun {
  int exitCode = -1;
  std::vector<std::string> lines;
  std::string err;
};

class ZdbCheck : public testing::Test {
 protected:
  CheckRun Check() {
    const zdbtool::test::ToolRun tool = zdbtool::test::RunTool({"check", path_}, folder_.File("check"));
    CheckRun run;
    run.exitCode = tool.exitCode;
    std::istringstream out(tool.out);
    for (std::string line; std::getline(out, line);) run.lines.push_back(line);
    run.err = tool.err;
    return run;
  }

  static std::string Text(const CheckRun& run) {
    std::string text;
    for (const std::string& line : run.lines) text += line + "\n";
    return text + run.err;
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("check.zdb");
};

TEST_F(ZdbCheck, NewFileIsClean) {
  {
    zdb::TZDBDiskDatabaseData database(path_);
    database.CreateDatabase();
  }
  const CheckRun run = Check();
  EXPECT_EQ(run.exitCode, 0) << Text(run);
  EXPECT_EQ(run.lines, std::vector<std::string>{"clean: 6 pages, 0 tables, 0 indexes"});
}

TEST_F(ZdbCheck, TableWithRowsIsClean) {
  // Enough rows for two index leaves and three record pages.
  zdb::testing::CreateMaximoFile(path_, 400);
  const CheckRun run = Check();
  EXPECT_EQ(run.exitCode, 0) << Text(run);
  ASSERT_EQ(run.lines.size(), 1u) << Text(run);
  EXPECT_EQ(run.lines[0].rfind("clean: ", 0), 0u) << run.lines[0];
  EXPECT_NE(run.lines[0].find(", 1 table, 1 index"), std::string::npos) << run.lines[0];
}

struct DamageCase {
  const char* name;
  std::function<void(const FilePatcher& file, const TableFileLayout& layout)> damage;
  std::vector<std::string> expected;  // each a part of some problem line
};

class ZdbCheckDamage : public ZdbCheck, public testing::WithParamInterface<DamageCase> {};

// The first leaf of "ANY": with 400 rows the root is a node.
int32_t FirstLeaf(const FilePatcher& file, const TableFileLayout& layout) {
  constexpr int32_t nodeEntry0Child = zdb::TZDBBTreePage::HeaderSize + 5;  // after the 5-byte key
  return zdb::le::GetI32(file.ReadData(layout.indexRootPageNo, nodeEntry0Child, 4).data());
}

const DamageCase damageCases[] = {
    {"IndexKeysOutOfOrder",
     [](const FilePatcher& file, const TableFileLayout& layout) {
       // Entries 0 and 1 of the first leaf change places: 11 bytes each (key, RecordID).
       const int32_t leaf = FirstLeaf(file, layout);
       const std::vector<uint8_t> pair = file.ReadData(leaf, zdb::TZDBBTreePage::HeaderSize, 22);
       std::vector<uint8_t> swapped(pair.begin() + 11, pair.end());
       swapped.insert(swapped.end(), pair.begin(), pair.begin() + 11);
       file.WriteData(leaf, zdb::TZDBBTreePage::HeaderSize, swapped);
     },
     {"Table 'Maximo' index 'ANY'", "out of order"}},
    {"IndexLosesEntries",
     [](const FilePatcher& file, const TableFileLayout& layout) {
       const int32_t leaf = FirstLeaf(file, layout);
       file.WriteData(leaf, zdb::TZDBBTreePage::EntryCountOffset, {10, 0});
     },
     {"Table 'Maximo' index 'ANY'", "for 400 rows"}},
    {"UsedPageThatNothingReaches",
     [](const FilePatcher& file, const TableFileLayout&) {
       ASSERT_FALSE(file.FreePages().empty());
       const int32_t pageNo = file.FreePages().front();
       std::vector<uint8_t> bits = file.ReadData(0, pageNo / 8, 1);
       bits[0] = static_cast<uint8_t>(bits[0] | (1u << (pageNo % 8)));
       file.WriteData(0, pageNo / 8, bits);
     },
     {"is marked used, but nothing reaches it"}},
    {"ChainRunsIntoAFreePage",
     [](const FilePatcher& file, const TableFileLayout& layout) {
       ASSERT_FALSE(file.FreePages().empty());
       file.WriteI32(layout.systemDirectoryPageNo, zdb::TZDBPage::NextPageNoOffset, file.FreePages().front());
     },
     {"System directory: page", "is marked free"}},
    {"BitmapPageOfAnotherType",
     [](const FilePatcher& file, const TableFileLayout&) {
       file.Write(0, zdb::TZDBPage::PageTypeOffset, {12, 0});
     },
     {"Free-space bitmap: page 0 is a 'TableIndex Page', expected a 'PFS Page'"}},
    {"RecordPageIndexPointsAtTheIndex",
     [](const FilePatcher& file, const TableFileLayout& layout) {
       // The record-page index (a root leaf) lists the index's root as a record page.
       file.WriteData(layout.recordPageIndexRootPageNo, zdb::TZDBBTreePage::HeaderSize,
                      {static_cast<uint8_t>(layout.indexRootPageNo), 0, 0, 0});
     },
     {"Table 'Maximo' record-page index: page", "is reached more than once"}},
};

TEST_P(ZdbCheckDamage, IsReported) {
  const TableFileLayout layout = zdb::testing::CreateMaximoFile(path_, 400);
  const FilePatcher file(path_);
  GetParam().damage(file, layout);
  const CheckRun run = Check();
  EXPECT_EQ(run.exitCode, 1) << Text(run);
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.back().rfind("damaged: ", 0), 0u) << Text(run);
  for (const std::string& expected : GetParam().expected) {
    bool found = false;
    for (size_t i = 0; i + 1 < run.lines.size(); ++i) found = found || run.lines[i].find(expected) != std::string::npos;
    EXPECT_TRUE(found) << "no problem line with \"" << expected << "\" in\n" << Text(run);
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, ZdbCheckDamage, testing::ValuesIn(damageCases),
                         [](const testing::TestParamInfo<DamageCase>& param) { return param.param.name; });

}  // namespace
