// Which page number a new page gets, and taking freed pages back.
//
// Contract: two kinds of bitmap pages live inside the database file. A PFS page ("PFS
// Page") has one bit per page (1 = in use) and covers P = 8 * PageDataSize pages; PFS
// page k is page k * P. An EAM page ("EAM Page") has two bits per extent of
// PagesPerExtent pages (0 never evaluated, 1 has a free page, 3 full) and covers
// M = 4 * PageDataSize extents, i.e. Q = M * PagesPerExtent pages; EAM page k is page
// k * Q, or k * Q + 1 where that place is already a PFS page. Allocation looks for the
// first extent that is not full and takes the lowest free page of its PFS page; when
// there is none the file grows, and freeing a page cuts a long enough free tail off the
// file.
//
// The header's TotalPageCount and LastUsedPageNo are shared by every process, so each
// operation runs under the database lock byte, starts from the header as it is in the
// file and writes the two fields back (also when it fails). Bitmap pages are read from
// and written to the file at once, outside the page cache and any transaction; a bitmap
// page is rewritten only when its bytes changed. Nothing is kept between operations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/base/ZDBErrors.h"

namespace zdb {

class TZDBDiskPageManager;
class TZDBPage;

class TZDBDatabaseFreeSpaceManager {
 public:
  // Pages added by the first growth of an empty file.
  static constexpr int32_t FirstGrowthStep = 6;

  // Geometry from the page manager's header and page size.
  explicit TZDBDatabaseFreeSpaceManager(TZDBDiskPageManager& pageManager);
  ~TZDBDatabaseFreeSpaceManager();
  TZDBDatabaseFreeSpaceManager(const TZDBDatabaseFreeSpaceManager&) = delete;
  TZDBDatabaseFreeSpaceManager& operator=(const TZDBDatabaseFreeSpaceManager&) = delete;

  // A free page number, now marked in use. 20231 when the database stays locked.
  int32_t AllocatePage();
  // Marks the page free (its PageVersion in the file is the caller's to retire first).
  // 20232 when the database stays locked; 30427 when it is free already.
  void FreePage(int32_t pageNo);

  // PFS and EAM pages: never handed out, freed or read through the page cache.
  bool IsSystemPage(int32_t pageNo) const;
  // 30434 "Cannot delete PFS or EAM page. PageNo=%d" for a system page.
  void CheckDeletable(int32_t pageNo) const;
  // The page's PFS bit; false without reading when its PFS page lies beyond
  // LastUsedPageNo (and for negative numbers).
  bool IsPageUsed(int32_t pageNo);

  int32_t LastUsedPageNo() const { return lastUsedPageNo_; }
  int32_t TotalPageCount() const { return totalPageCount_; }
  // The bitmap pages among pages first .. end - 1, PFS pages first.
  std::vector<int32_t> BitmapPagesIn(int32_t first, int32_t end) const;
  // Takes the two counts from the header as last read, and reads the bitmap pages from the
  // file again at their next use: whoever calls it knows the file changed.
  void LoadCounts();

  // While set, the record manager's page check trusts every page (repair of a damaged file).
  bool RepairMode() const { return repairMode_; }
  void SetRepairMode(bool value) { repairMode_ = value; }

  int32_t PagesPerExtent() const { return pagesPerExtent_; }
  int64_t PagesPerPFSPage() const { return pagesPerPFS_; }
  int64_t ExtentsPerEAMPage() const { return extentsPerEAM_; }
  int64_t PagesPerEAMPage() const { return pagesPerEAM_; }
  // Page numbers of PFS page k and EAM page k.
  int64_t PFSPageNo(int64_t k) const { return k * pagesPerPFS_; }
  int64_t EAMPageNo(int64_t k) const;
  // Pages added at a time when the file grows.
  int32_t GrowthStep() const;

 private:
  class OperationScope;

  // The bitmap page of that number as this operation sees it (read once per operation, or
  // once per write transaction: see KeepsBetweenOperations);
  // a page of another type raises errorCode with the wrong-page-type message.
  TZDBPage& BitmapPage(int64_t pageNo, uint16_t expectedType, const TZDBError& errorCode);
  TZDBPage& NewBitmapPage(int64_t pageNo, uint16_t type);
  void WriteBitmapPage(TZDBPage& page);

  // While this process's write transaction holds the database lock byte, nobody else
  // changes the bitmaps or the counts: what was read stays good between operations.
  bool KeepsBetweenOperations() const;
  void ReloadCounts();
  void StoreCounts();
  void StoreCountsAfterFailure() noexcept;

  int32_t SearchFreePage();
  int32_t SearchEAMPage(int64_t eamIndex);
  // The first clear bit of a PFS page as a page number, or -1.
  int64_t FirstFreeBit(int64_t pfsIndex);
  int32_t Grow();
  // Index of the last EAM page that lies inside a file of totalPageCount pages, or -1.
  int64_t LastEAMIndex(int64_t totalPageCount) const;
  void MarkPage(int32_t pageNo, bool used);
  void UpdateExtentField(int32_t pageNo);
  bool ReadPageUsed(int64_t pageNo);
  int32_t FindLastUsedPageNo();

  TZDBDiskPageManager& pageManager_;
  int32_t pagesPerExtent_;  // E
  int64_t pagesPerPFS_;     // P
  int64_t extentsPerEAM_;   // M
  int64_t pagesPerEAM_;     // Q
  bool eamOnPFSMultiples_;  // Q is a multiple of P
  int32_t lastUsedPageNo_ = -1;
  int32_t totalPageCount_ = 0;
  bool repairMode_ = false;

  int32_t operationDepth_ = 0;
  std::map<int64_t, std::unique_ptr<TZDBPage>> operationPages_;
  bool countsKept_ = false;  // the counts were read under the current write transaction
};

}  // namespace zdb
