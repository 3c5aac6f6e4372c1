#include "engine/file/ZDBDatabaseFreeSpaceManager.h"

#include <algorithm>
#include <limits>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

constexpr uint16_t PFSType = PageTypeCode(TZDBPageType::PFS);
constexpr uint16_t EAMType = PageTypeCode(TZDBPageType::EAM);

using layout::BitsPerExtentField;
using layout::ExtentFieldFullBit;
using layout::ExtentFieldMask;
using layout::ExtentFieldsPerByte;
using layout::ExtentFull;
using layout::ExtentHasFreePage;
using layout::ExtentNotEvaluated;
constexpr uint8_t AllBitsSet = 0xFF;
// A bitmap page starts with its first item marked: a PFS page's own bit, an EAM page's
// first extent as "has a free page".
constexpr uint8_t NewBitmapFirstByte = 1;

}  // namespace

// Bitmap pages read during one public operation are read once and dropped at its end,
// so the next operation starts from the file again; under this process's write
// transaction they are kept for the next one.
class TZDBDatabaseFreeSpaceManager::OperationScope {
 public:
  explicit OperationScope(TZDBDatabaseFreeSpaceManager& manager) : manager_(manager) { ++manager_.operationDepth_; }
  ~OperationScope() {
    if (--manager_.operationDepth_ == 0 && !manager_.KeepsBetweenOperations()) {
      manager_.operationPages_.clear();
      manager_.countsKept_ = false;
    }
  }
  OperationScope(const OperationScope&) = delete;
  OperationScope& operator=(const OperationScope&) = delete;

 private:
  TZDBDatabaseFreeSpaceManager& manager_;
};

TZDBDatabaseFreeSpaceManager::TZDBDatabaseFreeSpaceManager(TZDBDiskPageManager& pageManager)
    : pageManager_(pageManager) {
  const int64_t dataSize = pageManager_.PageDataSize();
  pagesPerExtent_ = pageManager_.Header().PagesPerExtent;
  pagesPerPFS_ = 8 * dataSize;
  extentsPerEAM_ = ExtentFieldsPerByte * dataSize;
  pagesPerEAM_ = extentsPerEAM_ * pagesPerExtent_;
  eamOnPFSMultiples_ = pagesPerPFS_ > 1 && pagesPerEAM_ % pagesPerPFS_ == 0;
  LoadCounts();
}

TZDBDatabaseFreeSpaceManager::~TZDBDatabaseFreeSpaceManager() = default;

void TZDBDatabaseFreeSpaceManager::LoadCounts() {
  lastUsedPageNo_ = pageManager_.Header().LastUsedPageNo;
  totalPageCount_ = pageManager_.Header().TotalPageCount;
  if (operationDepth_ == 0) operationPages_.clear();
  countsKept_ = false;
}

bool TZDBDatabaseFreeSpaceManager::KeepsBetweenOperations() const { return pageManager_.writeTransaction_; }

int64_t TZDBDatabaseFreeSpaceManager::EAMPageNo(int64_t k) const {
  const int64_t first = k * pagesPerEAM_;
  return first % pagesPerPFS_ == 0 ? first + 1 : first;
}

int32_t TZDBDatabaseFreeSpaceManager::GrowthStep() const {
  if (totalPageCount_ == 0) return FirstGrowthStep;
  return std::max(totalPageCount_ / 10, pagesPerExtent_);
}

bool TZDBDatabaseFreeSpaceManager::IsSystemPage(int32_t pageNo) const {
  if (pageNo < 0) return false;
  // Asked on every page fetch: 32-bit remainders, a divisor beyond any page number
  // leaving the number as it is.
  const auto remainder = [](uint32_t n, int64_t divisor) {
    return divisor > std::numeric_limits<int32_t>::max() ? n : n % static_cast<uint32_t>(divisor);
  };
  const uint32_t n = static_cast<uint32_t>(pageNo);
  // With EAM pages on multiples of the PFS spacing, only numbers at or just after such a
  // multiple can be bitmap pages: one remainder settles nearly every page.
  if (eamOnPFSMultiples_ && remainder(n, pagesPerPFS_) > 1) return false;
  return remainder(n, pagesPerPFS_) == 0 || remainder(n, pagesPerEAM_) == 0 ||
         (n > 0 && remainder(n - 1, pagesPerPFS_) == 0 && remainder(n - 1, pagesPerEAM_) == 0);
}

void TZDBDatabaseFreeSpaceManager::CheckDeletable(int32_t pageNo) const {
  if (IsSystemPage(pageNo)) RaiseError(errors::SystemPage, {pageNo});
}

// --- bitmap pages -------------------------------------------------------------------------

TZDBPage& TZDBDatabaseFreeSpaceManager::BitmapPage(int64_t pageNo, uint16_t expectedType, const TZDBError& errorCode) {
  auto it = operationPages_.find(pageNo);
  if (it == operationPages_.end()) {
    auto page = std::make_unique<TZDBPage>(pageManager_, static_cast<int32_t>(pageNo));
    if (!pageManager_.InternalReadPage(*page))
      RaiseError(errors::PageRead, {pageNo, expectedType});
    it = operationPages_.emplace(pageNo, std::move(page)).first;
  }
  TZDBPage& page = *it->second;
  if (page.PageType() != expectedType) RaiseWrongPageType(errorCode, page.PageType(), expectedType);
  return page;
}

TZDBPage& TZDBDatabaseFreeSpaceManager::NewBitmapPage(int64_t pageNo, uint16_t type) {
  auto page = std::make_unique<TZDBPage>(pageManager_, static_cast<int32_t>(pageNo));
  page->InitializeHeader();
  page->SetPageType(type);
  page->Data()[0] = NewBitmapFirstByte;
  TZDBPage& result = *page;
  operationPages_[pageNo] = std::move(page);
  return result;
}

void TZDBDatabaseFreeSpaceManager::WriteBitmapPage(TZDBPage& page) { pageManager_.InternalWritePage(page); }

// --- header counts ---------------------------------------------------------------------------

void TZDBDatabaseFreeSpaceManager::ReloadCounts() {
  if (countsKept_ && KeepsBetweenOperations()) return;
  pageManager_.ReadHeaderForChange();
  LoadCounts();
  countsKept_ = KeepsBetweenOperations();
}

void TZDBDatabaseFreeSpaceManager::StoreCounts() {
  TZDBFileHeader& header = pageManager_.MutableHeader();
  if (header.LastUsedPageNo == lastUsedPageNo_ && header.TotalPageCount == totalPageCount_) return;
  header.LastUsedPageNo = lastUsedPageNo_;
  header.TotalPageCount = totalPageCount_;
  pageManager_.WriteHeader();
}

void TZDBDatabaseFreeSpaceManager::StoreCountsAfterFailure() noexcept {
  // The first failure is the one to report; this is a best effort to keep the header in
  // step with what was already done to the file.
  try {
    StoreCounts();
  } catch (...) {
  }
}

// --- AllocatePage ------------------------------------------------------------------------------

int32_t TZDBDatabaseFreeSpaceManager::AllocatePage() {
  TZDBDatabaseLockGuard lock(pageManager_.DatabaseLock(), errors::AllocateLocked, pageManager_.LockRetry());
  OperationScope scope(*this);
  ReloadCounts();
  int32_t pageNo;
  try {
    pageNo = SearchFreePage();
    if (pageNo < 0) pageNo = Grow();
    if (pageNo > lastUsedPageNo_) lastUsedPageNo_ = pageNo;
  } catch (...) {
    StoreCountsAfterFailure();
    throw;
  }
  StoreCounts();
  return pageNo;
}

int64_t TZDBDatabaseFreeSpaceManager::LastEAMIndex(int64_t totalPageCount) const {
  if (totalPageCount <= 0) return -1;
  int64_t k = (totalPageCount - 1) / pagesPerEAM_;
  // An EAM page one past a PFS page may lie just beyond the end of a file cut short there.
  if (EAMPageNo(k) >= totalPageCount) --k;
  return k;
}

int32_t TZDBDatabaseFreeSpaceManager::SearchFreePage() {
  if (lastUsedPageNo_ == -1) return -1;
  const int64_t lastEAM = LastEAMIndex(totalPageCount_);
  if (lastEAM < 0) return -1;
  int32_t pageNo = SearchEAMPage(lastEAM);
  for (int64_t k = 0; pageNo < 0 && k < lastEAM; ++k) pageNo = SearchEAMPage(k);
  return pageNo;
}

int32_t TZDBDatabaseFreeSpaceManager::SearchEAMPage(int64_t eamIndex) {
  const TZDBPage& eam = BitmapPage(EAMPageNo(eamIndex), EAMType, errors::SearchWrongPageType);
  const uint8_t* data = eam.Data();
  const int64_t dataSize = static_cast<int64_t>(eam.DataSize());
  int64_t extent = -1;
  for (int64_t i = 0; i < dataSize && extent < 0; ++i) {
    if (data[i] == AllBitsSet) continue;
    for (int field = 0; field < ExtentFieldsPerByte; ++field) {
      const uint8_t value = (data[i] >> (BitsPerExtentField * field)) & ExtentFieldMask;
      if ((value & ExtentFieldFullBit) == 0) {
        extent = eamIndex * extentsPerEAM_ + i * ExtentFieldsPerByte + field;
        break;
      }
    }
  }
  if (extent < 0) return -1;

  const int64_t firstPage = extent * pagesPerExtent_;
  const int64_t firstPFS = firstPage / pagesPerPFS_;
  int64_t lastPFS = (firstPage + pagesPerExtent_ - 1) / pagesPerPFS_;
  if (PFSPageNo(firstPFS) >= totalPageCount_) return -1;
  while (PFSPageNo(lastPFS) >= totalPageCount_) --lastPFS;

  // With the usual geometry an extent lies in one PFS page; where it spans two, a free
  // page of the later one wins.
  int64_t pageNo = -1;
  for (int64_t k = firstPFS; k <= lastPFS; ++k) {
    const int64_t found = FirstFreeBit(k);
    if (found >= 0) pageNo = found;
  }
  if (pageNo < 0 || pageNo >= totalPageCount_) return -1;
  MarkPage(static_cast<int32_t>(pageNo), true);
  return static_cast<int32_t>(pageNo);
}

int64_t TZDBDatabaseFreeSpaceManager::FirstFreeBit(int64_t pfsIndex) {
  const TZDBPage& pfs = BitmapPage(PFSPageNo(pfsIndex), PFSType, errors::SearchWrongPageType);
  const uint8_t* data = pfs.Data();
  const int64_t dataSize = static_cast<int64_t>(pfs.DataSize());
  for (int64_t i = 0; i < dataSize; ++i) {
    if (data[i] == AllBitsSet) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if ((data[i] & (1u << bit)) == 0) return PFSPageNo(pfsIndex) + i * 8 + bit;
    }
  }
  return -1;
}

int32_t TZDBDatabaseFreeSpaceManager::Grow() {
  const bool empty = lastUsedPageNo_ == -1;
  const int64_t oldLastPFS = empty ? -1 : (totalPageCount_ - 1) / pagesPerPFS_;
  const int64_t oldLastEAM = empty ? -1 : LastEAMIndex(totalPageCount_);

  int32_t candidate = lastUsedPageNo_ + 1;
  while (IsSystemPage(candidate)) ++candidate;
  int32_t count = GrowthStep();
  if (totalPageCount_ + count <= candidate) count = candidate - totalPageCount_ + 1;
  // The file never ends on a bitmap page, so the bitmap pages of its last pages exist.
  while (IsSystemPage(totalPageCount_ + count - 1)) ++count;

  const int64_t newTotal = static_cast<int64_t>(totalPageCount_) + count;
  pageManager_.JournalBeforeWrite(TZDBDiskPageManager::NoPage);
  pageManager_.File().SetSize(pageManager_.PageAreaStart() + newTotal * pageManager_.PageSize());
  totalPageCount_ = static_cast<int32_t>(newTotal);

  const int64_t newLastPFS = (newTotal - 1) / pagesPerPFS_;
  const int64_t newLastEAM = LastEAMIndex(newTotal);
  for (int64_t k = oldLastPFS + 1; k <= newLastPFS; ++k) WriteBitmapPage(NewBitmapPage(PFSPageNo(k), PFSType));
  for (int64_t k = oldLastEAM + 1; k <= newLastEAM; ++k) WriteBitmapPage(NewBitmapPage(EAMPageNo(k), EAMType));

  lastUsedPageNo_ = candidate;
  for (int64_t k = oldLastEAM + 1; k <= newLastEAM; ++k) MarkPage(static_cast<int32_t>(EAMPageNo(k)), true);
  for (int64_t k = oldLastPFS + 1; k <= newLastPFS; ++k) UpdateExtentField(static_cast<int32_t>(PFSPageNo(k)));
  MarkPage(candidate, true);
  return candidate;
}

// --- marking -------------------------------------------------------------------------------------

void TZDBDatabaseFreeSpaceManager::MarkPage(int32_t pageNo, bool used) {
  if (pageNo < 0 || pageNo >= totalPageCount_)
    RaiseError(errors::PageNotAddressable, {pageNo, totalPageCount_});
  TZDBPage& pfs = BitmapPage(PFSPageNo(pageNo / pagesPerPFS_), PFSType, errors::MarkWrongPageType);
  const int64_t bit = pageNo % pagesPerPFS_;
  uint8_t& byte = pfs.Data()[bit / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
  if (used) {
    if (byte & mask) RaiseError(errors::AlreadyUsed, {pageNo});
    byte |= mask;
  } else {
    if (!(byte & mask)) RaiseError(errors::AlreadyFree, {pageNo});
    byte &= static_cast<uint8_t>(~mask);
  }
  WriteBitmapPage(pfs);
  UpdateExtentField(pageNo);
}

void TZDBDatabaseFreeSpaceManager::UpdateExtentField(int32_t pageNo) {
  if (pageNo < 0 || pageNo >= totalPageCount_)
    RaiseError(errors::ExtentAddress, {pageNo, totalPageCount_});
  const int64_t extent = pageNo / pagesPerExtent_;
  const int64_t first = extent * pagesPerExtent_;
  bool seenUsed = false;
  bool seenFree = false;
  bool visited = false;
  for (int64_t n = first; n < first + pagesPerExtent_ && !(seenUsed && seenFree); ++n) {
    visited = true;
    (ReadPageUsed(n) ? seenUsed : seenFree) = true;
  }
  const uint8_t value = !visited ? ExtentNotEvaluated : seenFree ? ExtentHasFreePage : ExtentFull;

  TZDBPage& eam = BitmapPage(EAMPageNo(extent / extentsPerEAM_), EAMType, errors::ExtentWrongPageType);
  const int64_t slot = extent % extentsPerEAM_;
  uint8_t& byte = eam.Data()[slot / ExtentFieldsPerByte];
  const int shift = BitsPerExtentField * static_cast<int>(slot % ExtentFieldsPerByte);
  const uint8_t updated =
      static_cast<uint8_t>((byte & ~(ExtentFieldMask << shift)) | (value << shift));
  if (updated == byte) return;
  byte = updated;
  WriteBitmapPage(eam);
}

bool TZDBDatabaseFreeSpaceManager::IsPageUsed(int32_t pageNo) {
  if (pageNo < 0) return false;
  OperationScope scope(*this);
  return ReadPageUsed(pageNo);
}

bool TZDBDatabaseFreeSpaceManager::ReadPageUsed(int64_t pageNo) {
  const int64_t pfsNo = PFSPageNo(pageNo / pagesPerPFS_);
  if (pfsNo > lastUsedPageNo_) return false;
  const TZDBPage& pfs = BitmapPage(pfsNo, PFSType, errors::IsUsedWrongPageType);
  const int64_t bit = pageNo % pagesPerPFS_;
  return (pfs.Data()[bit / 8] & (1u << (bit % 8))) != 0;
}

// --- FreePage ------------------------------------------------------------------------------------

void TZDBDatabaseFreeSpaceManager::FreePage(int32_t pageNo) {
  TZDBDatabaseLockGuard lock(pageManager_.DatabaseLock(), errors::FreeLocked, pageManager_.LockRetry());
  OperationScope scope(*this);
  ReloadCounts();
  try {
    MarkPage(pageNo, false);
    lastUsedPageNo_ = FindLastUsedPageNo();
    const int32_t step = GrowthStep();
    const int32_t freeTail = totalPageCount_ - lastUsedPageNo_ - 1;
    if (freeTail >= step) {
      const int32_t cutPageCount = totalPageCount_ - (freeTail / step) * step;
      pageManager_.JournalBeforeCut(BitmapPagesIn(cutPageCount, totalPageCount_));
      totalPageCount_ = cutPageCount;
      // The header goes first: a file cut short of what its header claims would not
      // open, one longer than that is merely a few pages too long.
      StoreCounts();
      pageManager_.File().SetSize(pageManager_.PageAreaStart() +
                                  static_cast<int64_t>(totalPageCount_) * pageManager_.PageSize());
    }
  } catch (...) {
    StoreCountsAfterFailure();
    throw;
  }
  StoreCounts();
}

std::vector<int32_t> TZDBDatabaseFreeSpaceManager::BitmapPagesIn(int32_t first, int32_t end) const {
  std::vector<int32_t> pages;
  for (int64_t k = first / pagesPerPFS_; PFSPageNo(k) < end; ++k)
    if (PFSPageNo(k) >= first) pages.push_back(static_cast<int32_t>(PFSPageNo(k)));
  for (int64_t k = first / pagesPerEAM_; EAMPageNo(k) < end; ++k)
    if (EAMPageNo(k) >= first) pages.push_back(static_cast<int32_t>(EAMPageNo(k)));
  return pages;
}

int32_t TZDBDatabaseFreeSpaceManager::FindLastUsedPageNo() {
  if (totalPageCount_ <= 0) return -1;
  for (int64_t k = (totalPageCount_ - 1) / pagesPerPFS_; k >= 0; --k) {
    const TZDBPage& pfs = BitmapPage(PFSPageNo(k), PFSType, errors::LastUsedWrongPageType);
    const uint8_t* data = pfs.Data();
    for (int64_t i = static_cast<int64_t>(pfs.DataSize()) - 1; i >= 0; --i) {
      if (data[i] == 0) continue;
      for (int bit = 7; bit >= 0; --bit) {
        if ((data[i] & (1u << bit)) == 0) continue;
        const int64_t pageNo = PFSPageNo(k) + i * 8 + bit;
        if (!IsSystemPage(static_cast<int32_t>(pageNo))) return static_cast<int32_t>(pageNo);
      }
    }
  }
  return -1;
}

}  // namespace zdb
