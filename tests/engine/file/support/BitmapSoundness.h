// The free-space bitmaps of a database file of the page-manager tests judged against its
// pages: the file as long as its page count needs, PFS and EAM pages of their types and
// marked used, every page marked used readable as a record page, LastUsedPageNo the last
// of them, and each extent's field saying whether the extent still has a free page.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"
#include "tests/engine/file/support/DiskDatabase.h"

namespace zdb::test {

// One problem a line; empty when the bitmaps agree with the pages.
inline std::string BitmapProblems(TZDBDiskPageManager& manager) {
  std::string problems;
  TZDBDatabaseFreeSpaceManager& space = manager.FreeSpaceManager();
  const int32_t total = manager.Header().TotalPageCount;
  const int64_t needed = manager.PageAreaStart() + int64_t{total} * manager.PageSize();
  if (manager.File().GetSize() < needed)
    problems += std::to_string(total) + " pages need " + std::to_string(needed) + " bytes, the file has " +
                std::to_string(manager.File().GetSize()) + "\n";

  std::vector<bool> used(static_cast<size_t>(total), false);
  const auto readBitmap = [&](int64_t pageNo, TZDBPageType type, std::vector<uint8_t>& page) {
    page.resize(manager.PageSize());
    manager.ReadPageBytes(static_cast<int32_t>(pageNo), 0, page.data(), static_cast<int32_t>(page.size()));
    if (le::GetU16(page.data() + TZDBPage::PageTypeOffset) == PageTypeCode(type)) return true;
    problems += "bitmap page " + std::to_string(pageNo) + " has page type " +
                std::to_string(le::GetU16(page.data() + TZDBPage::PageTypeOffset)) + "\n";
    return false;
  };
  std::vector<uint8_t> page;
  for (int64_t k = 0; space.PFSPageNo(k) < total; ++k) {
    if (!readBitmap(space.PFSPageNo(k), TZDBPageType::PFS, page)) continue;
    for (int64_t bit = 0; bit < space.PagesPerPFSPage(); ++bit) {
      const int64_t pageNo = space.PFSPageNo(k) + bit;
      if (pageNo < total && (page[manager.PageHeaderSize() + bit / 8] >> (bit % 8) & 1) != 0)
        used[static_cast<size_t>(pageNo)] = true;
    }
  }
  int32_t lastUsed = -1;
  for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
    if (space.IsSystemPage(pageNo)) {
      if (!used[static_cast<size_t>(pageNo)]) problems += "bitmap page " + std::to_string(pageNo) + " is marked free\n";
      continue;
    }
    if (!used[static_cast<size_t>(pageNo)]) continue;
    lastUsed = pageNo;
    try {
      TZDBPageRef checked(manager, Session, pageNo, false, RecordPage);
    } catch (const std::exception& error) {
      problems += "page " + std::to_string(pageNo) + " is marked used: " + error.what() + "\n";
    }
  }
  if (lastUsed != manager.Header().LastUsedPageNo)
    problems += "LastUsedPageNo is " + std::to_string(manager.Header().LastUsedPageNo) +
                ", the last page marked used is " + std::to_string(lastUsed) + "\n";
  for (int64_t k = 0; space.EAMPageNo(k) < total; ++k) {
    if (!readBitmap(space.EAMPageNo(k), TZDBPageType::EAM, page)) continue;
    for (int64_t slot = 0; slot < space.ExtentsPerEAMPage(); ++slot) {
      const int64_t first = (k * space.ExtentsPerEAMPage() + slot) * space.PagesPerExtent();
      if (first >= total) break;
      bool full = true;
      for (int64_t pageNo = first; pageNo < first + space.PagesPerExtent(); ++pageNo)
        full = full && pageNo < total && used[static_cast<size_t>(pageNo)];
      const int shift = layout::BitsPerExtentField * static_cast<int>(slot % layout::ExtentFieldsPerByte);
      const uint8_t field =
          (page[manager.PageHeaderSize() + static_cast<size_t>(slot / layout::ExtentFieldsPerByte)] >> shift) &
          layout::ExtentFieldMask;
      if ((field == layout::ExtentFull) != full)
        problems += "the extent from page " + std::to_string(first) + " is marked " +
                    (full ? "as having a free page" : "full") + "\n";
    }
  }
  return problems;
}

}  // namespace zdb::test
