// Free-space management: which page numbers are handed out, the PFS and EAM bitmap pages
// in the file, growth and shrinking.
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "support/DiskDatabase.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::Raised;

class FreeSpace : public testing::Test {
 protected:
  void Create(uint16_t pageSize = 4096, uint16_t pagesPerExtent = 8) {
    manager_.CreateDatabaseFile(path_, TZDBPassword{}, pagesPerExtent, pageSize);
  }
  TZDBDatabaseFreeSpaceManager& Space() { return manager_.FreeSpaceManager(); }
  std::vector<uint8_t> FilePage(int32_t pageNo) {
    const std::vector<uint8_t> bytes = test::ReadBytes(path_);
    const size_t start = static_cast<size_t>(manager_.PagePosition(pageNo));
    return std::vector<uint8_t>(bytes.begin() + start, bytes.begin() + start + manager_.PageSize());
  }
  uint16_t FilePageType(int32_t pageNo) { return le::GetU16(FilePage(pageNo).data() + 8); }

  test::TempFolder folder_;
  std::string path_ = folder_.File("space.zdb");
  TZDBDiskPageManager manager_;
};

// The page header of a bitmap page as the engine writes it.
std::vector<uint8_t> BitmapPageHeader(int32_t version, uint8_t type) {
  std::vector<uint8_t> header = {'Z', 'D', 'B', 'P'};
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(version >> (8 * i)));
  header.insert(header.end(), {type, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0,
                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  return header;
}

TEST_F(FreeSpace, TheFirstAllocationMakesSixPagesAndTheBitmaps) {
  Create();
  EXPECT_EQ(Space().AllocatePage(), 2);
  EXPECT_EQ(Space().TotalPageCount(), 6);
  EXPECT_EQ(Space().LastUsedPageNo(), 2);
  EXPECT_EQ(manager_.ReadHeader().TotalPageCount, 6);
  EXPECT_EQ(manager_.Header().LastUsedPageNo, 2);
  EXPECT_EQ(test::ReadBytes(path_).size(), 380u + 6 * 4096);

  // PFS page 0: its own bit, EAM page 1 and page 2 in use; written three times.
  std::vector<uint8_t> pfs = BitmapPageHeader(3, 3);
  pfs.push_back(0x07);
  pfs.resize(4096, 0);
  EXPECT_EQ(FilePage(0), pfs);
  // EAM page 0: extent 0 has free pages; written once, as its field never changed.
  std::vector<uint8_t> eam = BitmapPageHeader(1, 2);
  eam.push_back(0x01);
  eam.resize(4096, 0);
  EXPECT_EQ(FilePage(1), eam);
  EXPECT_EQ(FilePage(2), std::vector<uint8_t>(4096, 0)) << "a page is written at its commit, not before";

  for (int32_t pageNo : {0, 1, 2}) EXPECT_TRUE(Space().IsPageUsed(pageNo)) << pageNo;
  for (int32_t pageNo : {3, 5, 6, 100, -1}) EXPECT_FALSE(Space().IsPageUsed(pageNo)) << pageNo;
}

TEST_F(FreeSpace, AFullExtentIsMarkedAndFreedPagesAreTakenLowestFirst) {
  Create();
  for (int32_t expected = 2; expected <= 9; ++expected) EXPECT_EQ(Space().AllocatePage(), expected);
  // Extent 0 (pages 0..7) is full, extent 1 has free pages.
  EXPECT_EQ(FilePage(1)[40], 0x07);
  EXPECT_EQ(Space().TotalPageCount(), 14);

  for (int32_t pageNo : {5, 3, 4}) Space().FreePage(pageNo);
  EXPECT_EQ(FilePage(1)[40], 0x05);
  EXPECT_EQ(FilePage(0)[40], 0xC7);
  EXPECT_EQ(Space().AllocatePage(), 3);
  EXPECT_EQ(Space().AllocatePage(), 4);
  EXPECT_EQ(Space().LastUsedPageNo(), 9);

  EXPECT_EQ(Raised([&] { Space().FreePage(5); Space().FreePage(5); }).text,
            ErrorText("Page: 5 already free", 30427));
  EXPECT_EQ(Raised([&] { Space().FreePage(14); }).text,
            ErrorText("Page: 14 cannot be addressed. TotalPageCount=14", 30430));
  EXPECT_EQ(Space().LastUsedPageNo(), 9);
  EXPECT_EQ(manager_.DatabaseLock().Count(), 0) << "released on the failure paths too";
}

TEST_F(FreeSpace, FreeingTheTopOfALongFreeTailShrinksTheFile) {
  Create();
  std::vector<int32_t> pages;
  for (int i = 0; i < 29; ++i) pages.push_back(test::AddValuePage(manager_, static_cast<uint32_t>(i)));
  manager_.ApplyChanges(test::Session);
  ASSERT_EQ(pages.back(), 30);
  EXPECT_EQ(Space().TotalPageCount(), 38);  // grown by 6, 8, 8, 8

  // Pages 31..37 are free: freeing 30 leaves a tail of 8, one growth step.
  manager_.RemovePage(test::Session, 30);
  manager_.ApplyChanges(test::Session);
  EXPECT_EQ(Space().TotalPageCount(), 30);
  EXPECT_EQ(Space().LastUsedPageNo(), 29);
  EXPECT_EQ(test::ReadBytes(path_).size(), 380u + 30 * 4096);

  for (int32_t pageNo = 29; pageNo >= 3; --pageNo) manager_.RemovePage(test::Session, pageNo);
  manager_.ApplyChanges(test::Session);
  EXPECT_EQ(Space().LastUsedPageNo(), 2);
  EXPECT_EQ(Space().TotalPageCount(), 6);
  EXPECT_EQ(manager_.ReadHeader().TotalPageCount, 6);
  EXPECT_EQ(test::ReadBytes(path_).size(), 380u + 6 * 4096);
  EXPECT_EQ(test::PageValue(manager_, 2), 0u);

  // Growing again rebuilds what the cut took away.
  for (int32_t expected = 3; expected <= 40; ++expected) EXPECT_EQ(Space().AllocatePage(), expected);
}

TEST_F(FreeSpace, BitmapPagesAreNeverHandedOutOrFreed) {
  Create();
  Space().AllocatePage();
  const int32_t p = static_cast<int32_t>(Space().PagesPerPFSPage());
  const int32_t q = static_cast<int32_t>(Space().PagesPerEAMPage());
  EXPECT_EQ(p, 32448);
  EXPECT_EQ(q, 129792);
  for (int32_t pageNo : {0, 1, p, 2 * p, q, q + 1, 2 * q + 1})
    EXPECT_TRUE(Space().IsSystemPage(pageNo)) << pageNo;
  for (int32_t pageNo : {2, 3, p - 1, p + 1, q - 1, q + 2, -1})
    EXPECT_FALSE(Space().IsSystemPage(pageNo)) << pageNo;
  EXPECT_EQ(Space().EAMPageNo(1), q + 1);
  EXPECT_EQ(Raised([&] { Space().CheckDeletable(p); }).text,
            ErrorText("Cannot delete PFS or EAM page. PageNo=32448", 30434));
}

// With a small page size the later bitmap pages come within reach. Whatever order the
// search takes pages in, the bitmaps must end up exactly where the geometry puts them, and
// agree with what was handed out.
TEST_F(FreeSpace, LaterBitmapPagesStandWhereTheGeometrySays) {
  const struct {
    uint16_t pagesPerExtent;
    std::set<int32_t> pfsPages;
    std::set<int32_t> eamPages;
  } cases[] = {
      // P = 192 pages per PFS page; Q = 768: every EAM page follows a PFS page.
      {8, {0, 192, 384, 576, 768}, {1, 769}},
      // Q = 96: EAM pages at 96 and 288 stand alone, the one at 192 moves to 193.
      {1, {0, 192, 384, 576, 768}, {1, 96, 193, 288, 385, 480, 577, 672, 769}},
  };
  for (const auto& c : cases) {
    TZDBDiskPageManager manager;
    manager.CreateDatabaseFile(path_, TZDBPassword{}, c.pagesPerExtent, 64);
    TZDBDatabaseFreeSpaceManager& space = manager.FreeSpaceManager();
    std::set<int32_t> handedOut;
    while (handedOut.size() < 790) {
      const int32_t pageNo = space.AllocatePage();
      ASSERT_TRUE(handedOut.insert(pageNo).second) << "page " << pageNo << " handed out twice";
      ASSERT_LT(pageNo, space.TotalPageCount());
    }
    const int32_t total = space.TotalPageCount();
    ASSERT_GT(total, 800);
    const std::vector<uint8_t> file = test::ReadBytes(path_);
    auto typeOf = [&](int32_t pageNo) { return le::GetU16(file.data() + 380 + pageNo * 64 + 8); };
    for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
      const bool pfs = c.pfsPages.count(pageNo) != 0;
      const bool eam = c.eamPages.count(pageNo) != 0;
      EXPECT_EQ(space.IsSystemPage(pageNo), pfs || eam) << pageNo;
      if (pfs || eam) {
        EXPECT_EQ(typeOf(pageNo), pfs ? 3 : 2) << pageNo;
      }
      EXPECT_EQ(space.IsPageUsed(pageNo), pfs || eam || handedOut.count(pageNo) != 0) << pageNo;
    }
    manager.CloseDatabaseFile();
  }
}

TEST_F(FreeSpace, ADamagedBitmapPageIsReportedByWhoeverReadsIt) {
  Create();
  Space().AllocatePage();
  Space().AllocatePage();
  const std::vector<uint8_t> zeros(40, 0);
  manager_.WritePageBytes(1, 0, zeros.data(), 40);
  EXPECT_EQ(Raised([&] { Space().AllocatePage(); }).text,
            ErrorText("Wrong page type. Found 'Unknown Page', but expecting: 'EAM Page'", 30423));
  EXPECT_EQ(Raised([&] { Space().FreePage(3); }).code, 30428);

  manager_.WritePageBytes(0, 0, zeros.data(), 40);
  EXPECT_EQ(Raised([&] { Space().IsPageUsed(2); }).text,
            ErrorText("Wrong page type. Found 'Unknown Page', but expecting: 'PFS Page'", 30430));
  EXPECT_EQ(Raised([&] { Space().FreePage(2); }).code, 30424);
  EXPECT_EQ(manager_.DatabaseLock().Count(), 0);
}

}  // namespace
}  // namespace zdb
