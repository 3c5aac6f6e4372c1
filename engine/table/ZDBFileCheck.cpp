#include "engine/table/ZDBFileCheck.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBInternalFileHeader.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableListFile.h"
#include "engine/index/ZDBBTreeCheck.h"
#include "engine/index/ZDBBTreePage.h"
#include "engine/index/ZDBPageKeyRef.h"
#include "engine/index/ZDBRecordKeyRef.h"
#include "engine/table/ZDBIndexKeyBuilder.h"
#include "engine/table/ZDBFileCheckContext.h"

namespace zdb {
namespace {

constexpr uint16_t PFSType = PageTypeCode(TZDBPageType::PFS);
constexpr uint16_t EAMType = PageTypeCode(TZDBPageType::EAM);
constexpr uint16_t RecordType = PageTypeCode(TZDBPageType::TableRecord);
constexpr uint16_t BlobType = PageTypeCode(TZDBPageType::TableBlob);

using layout::BitsPerExtentField;
using layout::ExtentFieldMask;
using layout::ExtentFieldsPerByte;
using layout::ExtentFull;

std::string TypeName(uint16_t code) {
  if (code > MaxPageTypeCode) return FormatMessage("Unknown Page Type: (%d)", {code});
  return PageTypeName(code);
}

constexpr int32_t Session = TZDBFileCheckContext::Session;

// "1 page", "2 pages"; nouns with another plural name it.
std::string Plural(int64_t count, const std::string& noun, const std::string& plural = "") {
  return std::to_string(count) + " " + (count == 1 ? noun : plural.empty() ? noun + "s" : plural);
}

class FileChecker {
 public:
  explicit FileChecker(TZDBDiskPageManager& pages) : pages_(pages), context_(pages) {}

  TZDBFileCheckReport Run(bool needsRepair) {
    if (needsRepair) context_.Problem("File header: the file needs repair (a commit did not finish)");
    CheckFileSize();
    CheckBitmaps();
    CheckSystemFiles();
    CheckUnreachablePages();
    TZDBFileCheckReport report;
    report.Problems = std::move(context_.Problems());
    report.PageCount = context_.TotalPageCount();
    report.TableCount = tables_;
    report.IndexCount = indexes_;
    return report;
  }

 private:

  std::vector<uint8_t> ReadRawPage(int32_t pageNo) {
    std::vector<uint8_t> buffer(pages_.PageSize());
    pages_.ReadPageBytes(pageNo, 0, buffer.data(), static_cast<int32_t>(buffer.size()));
    return buffer;
  }

  static uint16_t RawPageType(const std::vector<uint8_t>& page) {
    return le::GetU16(page.data() + TZDBPage::PageTypeOffset);
  }

  // --- the file and its bitmaps -------------------------------------------------------------

  // A bitmap page as the file holds it; false (and the problem reported) when it cannot
  // be read or is of another type.
  bool ReadBitmapPage(int32_t pageNo, uint16_t pageType, std::vector<uint8_t>& page) {
    const std::string where = "Free-space bitmap: page " + std::to_string(pageNo);
    try {
      page = ReadRawPage(pageNo);
    } catch (const std::exception& error) {
      context_.Problem(where + ": " + error.what());
      return false;
    }
    if (RawPageType(page) != pageType) {
      context_.Problem(where + " is a '" + TypeName(RawPageType(page)) + "', expected a '" + TypeName(pageType) + "'");
      return false;
    }
    return true;
  }

  void CheckFileSize() {
    const TZDBFileHeader& header = pages_.Header();
    const int64_t needed = pages_.PageAreaStart() + static_cast<int64_t>(header.TotalPageCount) * pages_.PageSize();
    const int64_t size = pages_.File().GetSize();
    if (size < needed)
      context_.Problem("File header: " + Plural(header.TotalPageCount, "page") + " need " + std::to_string(needed) +
                       " bytes, the file has " + std::to_string(size));
  }

  void CheckBitmaps() {
    TZDBDatabaseFreeSpaceManager& space = pages_.FreeSpaceManager();
    const int32_t total = context_.TotalPageCount();
    const int64_t extentsPerEAM = space.ExtentsPerEAMPage();
    const int32_t pagesPerExtent = space.PagesPerExtent();
    const size_t dataSize = pages_.PageDataSize();

    // The page bits, PFS page by PFS page. The pages of a PFS page that cannot be read
    // count as used, and their bits as unknown, so that one damaged bitmap page does not
    // make every page it covers a problem of its own.
    std::vector<bool> used(static_cast<size_t>(total), false);
    bitKnown_.assign(static_cast<size_t>(total), true);
    int64_t usedBeyondEnd = 0;
    int64_t firstBeyondEnd = 0;
    for (int64_t k = 0; space.PFSPageNo(k) < total; ++k) {
      const int32_t pfsNo = static_cast<int32_t>(space.PFSPageNo(k));
      std::vector<uint8_t> page;
      if (!ReadBitmapPage(pfsNo, PFSType, page)) {
        for (int64_t pageNo = pfsNo; pageNo < std::min<int64_t>(pfsNo + space.PagesPerPFSPage(), total); ++pageNo) {
          used[static_cast<size_t>(pageNo)] = true;
          bitKnown_[static_cast<size_t>(pageNo)] = false;
        }
        continue;
      }
      const uint8_t* bits = page.data() + pages_.PageHeaderSize();
      for (int64_t bit = 0; bit < static_cast<int64_t>(dataSize) * 8; ++bit) {
        if ((bits[bit / 8] & (1u << (bit % 8))) == 0) continue;
        const int64_t pageNo = pfsNo + bit;
        if (pageNo < total) {
          used[static_cast<size_t>(pageNo)] = true;
        } else {
          if (usedBeyondEnd++ == 0) firstBeyondEnd = pageNo;
        }
      }
    }
    if (usedBeyondEnd > 0)
      context_.Problem("Free-space bitmap: " + Plural(usedBeyondEnd, "page") + " beyond the end of the file " +
                       (usedBeyondEnd == 1 ? "is" : "are") + " marked used, from page " +
                       std::to_string(firstBeyondEnd));
    context_.SetUsedPages(used);

    int32_t lastUsed = -1;
    for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
      if (!bitKnown_[static_cast<size_t>(pageNo)]) continue;
      if (space.IsSystemPage(pageNo)) {
        if (!used[static_cast<size_t>(pageNo)])
          context_.Problem("Free-space bitmap: bitmap page " + std::to_string(pageNo) + " is marked free");
      } else if (used[static_cast<size_t>(pageNo)]) {
        lastUsed = pageNo;
      }
    }
    const bool allBitsKnown = std::find(bitKnown_.begin(), bitKnown_.end(), false) == bitKnown_.end();
    if (allBitsKnown && lastUsed != pages_.Header().LastUsedPageNo)
      context_.Problem("File header: LastUsedPageNo is " + std::to_string(pages_.Header().LastUsedPageNo) +
                       ", the last page marked used is " + std::to_string(lastUsed));

    // Each extent's field must say whether the extent still has a free page.
    for (int64_t k = 0; space.EAMPageNo(k) < total; ++k) {
      const int32_t eamNo = static_cast<int32_t>(space.EAMPageNo(k));
      std::vector<uint8_t> page;
      if (!ReadBitmapPage(eamNo, EAMType, page)) continue;
      const uint8_t* fields = page.data() + pages_.PageHeaderSize();
      for (int64_t slot = 0; slot < extentsPerEAM; ++slot) {
        const int64_t extent = k * extentsPerEAM + slot;
        const int64_t first = extent * pagesPerExtent;
        if (first >= total) break;
        int64_t freePage = -1;
        bool known = true;
        for (int64_t pageNo = first; pageNo < first + pagesPerExtent && freePage < 0; ++pageNo) {
          if (pageNo >= total || !used[static_cast<size_t>(pageNo)]) freePage = pageNo;
          if (pageNo < total && !bitKnown_[static_cast<size_t>(pageNo)]) known = false;
        }
        if (!known) continue;
        const int shift = BitsPerExtentField * static_cast<int>(slot % ExtentFieldsPerByte);
        const uint8_t field = (fields[slot / ExtentFieldsPerByte] >> shift) & ExtentFieldMask;
        const std::string where = "Free-space bitmap: extent " + std::to_string(extent) + " (pages " +
                                  std::to_string(first) + " to " + std::to_string(first + pagesPerExtent - 1) + ")";
        if (field == ExtentFull && freePage >= 0) {
          context_.Problem(where + " is marked full, but page " + std::to_string(freePage) + " is free");
        } else if (field != ExtentFull && freePage < 0) {
          context_.Problem(where + " is marked as having a free page, but every page is used");
        }
      }
    }
  }

  // --- internal-file chains -----------------------------------------------------------------

  // Walks the chain from its first page: every page of the right type, reached once, as
  // many as the stored size needs. Answers whether the pages that hold the content are
  // sound, so that the content can be read; damage further down the chain is reported
  // all the same.
  bool CheckChain(int32_t startPageNo, uint16_t pageType, const std::string& owner) {
    int32_t pageNo = startPageNo;
    int64_t count = 0;
    int64_t needed = -1;  // unknown until the first page is read
    const auto contentSound = [&] { return needed >= 0 && count >= needed; };
    while (pageNo != TZDBPage::NoPage) {
      if (!context_.Claim(pageNo, owner)) return contentSound();
      try {
        TZDBPageRef page(pages_, Session, pageNo, false, AnyPageType);
        if (page->PageType() != pageType) {
          context_.Problem(owner + ": page " + std::to_string(pageNo) + " is a '" + TypeName(page->PageType()) +
                           "', expected a '" + TypeName(pageType) + "'");
          return contentSound();
        }
        if (count == 0) {
          const uint8_t headerSize = page->Data()[internalfile::HeaderSizeOffset];
          const int32_t storedSize = le::GetI32(page->Data() + internalfile::StoredSizeOffset);
          if (headerSize != internalfile::HeaderSize || storedSize < 0) {
            context_.Problem(owner + ": page " + std::to_string(pageNo) + " has a damaged file header");
            return false;
          }
          needed = internalfile::PagesNeeded(storedSize, pages_.PageDataSize());
        }
        ++count;
        pageNo = page->NextPageNo();
      } catch (const std::exception& error) {
        context_.Problem(owner + ": page " + std::to_string(pageNo) + ": " + error.what());
        return contentSound();
      }
    }
    if (count < needed)
      context_.Problem(owner + ": the chain ends after " + Plural(count, "page") + ", its content needs " +
                       std::to_string(needed));
    return contentSound();
  }

  std::vector<uint8_t> ReadTransactedFile(int32_t startPageNo, uint16_t pageType) {
    TZDBInternalDBTransactedAccessFile file(pages_, pageType);
    file.Open(startPageNo);
    return file.ReadAll(Session, false);
  }

  void CheckSystemFiles() {
    const std::string directoryOwner = "System directory";
    if (!CheckChain(TZDBSystemDirectory::SystemDirectoryPageNo,
                    PageTypeCode(TZDBPageType::FileSystemDirectory), directoryOwner)) {
      hidden_ = true;
      return;
    }
    TZDBSystemDirectory directory(pages_);
    try {
      directory.Open();
    } catch (const std::exception& error) {
      context_.Problem(directoryOwner + ": unreadable: " + error.what());
      hidden_ = true;
      return;
    }
    int32_t tableListStart = -1;
    bool tableListSound = false;
    bool sessionsSeen = false;
    for (const TZDBSystemDirectory::Entry& entry : directory.Entries()) {
      if (entry.FileId == TZDBSystemDirectory::TableListFileId && tableListStart < 0) {
        tableListStart = entry.StartPageNo;
        tableListSound = CheckChain(entry.StartPageNo, PageTypeCode(TZDBPageType::TableList), "Table list");
      } else if (entry.FileId == TZDBSystemDirectory::ActiveSessionsFileId && !sessionsSeen) {
        sessionsSeen = true;
        CheckChain(entry.StartPageNo, PageTypeCode(TZDBPageType::ActiveSessionList), "Session slots");
      } else {
        context_.Problem(directoryOwner + ": unexpected entry for system file " + std::to_string(entry.FileId) +
                         " at page " + std::to_string(entry.StartPageNo));
      }
    }
    if (!sessionsSeen) context_.Problem(directoryOwner + ": no session slots file");
    if (tableListStart < 0) context_.Problem(directoryOwner + ": no table list");
    if (!tableListSound) {
      hidden_ = true;
      return;
    }
    TZDBTableListFile tableList(pages_);
    try {
      tableList.Open(tableListStart);
      tableList.Load(Session);
    } catch (const std::exception& error) {
      context_.Problem(std::string("Table list: unreadable: ") + error.what());
      hidden_ = true;
      return;
    }
    for (const TZDBTableListEntry& entry : tableList.Entries()) CheckTable(entry);
  }

  // --- tables -------------------------------------------------------------------------------

  void CheckTable(const TZDBTableListEntry& entry) {
    ++tables_;
    auto table = std::make_unique<TZDBCheckedTable>();
    table->Entry = entry;
    const std::string label = table->Label();
    const bool metaDataSound =
        CheckChain(entry.MetaDataStartPageNo, PageTypeCode(TZDBPageType::TableMetaData), label + " metadata");
    const bool countsSound = CheckChain(entry.MostUpdatedStartPageNo,
                                        PageTypeCode(TZDBPageType::TableMostUpdated), label + " counters");
    CheckChain(entry.LocksStartPageNo, PageTypeCode(TZDBPageType::TableLocks), label + " lock region");
    if (!metaDataSound) {
      hidden_ = true;
      return;
    }
    try {
      TZDBMemoryStream stream(
          ReadTransactedFile(entry.MetaDataStartPageNo, PageTypeCode(TZDBPageType::TableMetaData)));
      table->Roots = LoadTableMetaData(stream, table->Fields, table->Indexes, table->Constraints);
    } catch (const std::exception& error) {
      context_.Problem(label + " metadata: unreadable: " + error.what());
      hidden_ = true;
      return;
    }
    if (countsSound) {
      try {
        table->Counts = LoadMostUpdatedData(
            ReadTransactedFile(entry.MostUpdatedStartPageNo, PageTypeCode(TZDBPageType::TableMostUpdated)),
            table->Fields);
        table->CountsRead = true;
      } catch (const std::exception& error) {
        context_.Problem(label + " counters: unreadable: " + error.what());
      }
    }
    for (int32_t i = 0; i < table->Indexes.Count(); ++i) CheckIndex(*table, table->Indexes.Items(i));
    CheckRecordPageIndex(*table);
    CheckBlobPageIndex(*table);
    bool largeValuesFollowed = false;
    for (const TZDBNamedTableCheck& check : TableChecks()) {
      largeValuesFollowed = largeValuesFollowed || check.FollowsLargeValues;
      try {
        check.Check(context_, *table);
      } catch (const std::exception& error) {
        context_.Problem(label + ": " + check.Name + " check failed: " + error.what());
        hidden_ = true;
      }
    }
    if (!largeValuesFollowed && HasBlobFields(*table)) unfollowedBlobOwners_.insert(entry.ObjectID);
  }

  // Runs the tree check, reports its problems and claims its pages. Answers whether the
  // tree is sound.
  bool CheckTree(TZDBBTreeKeyRef& keys, int32_t rootPageNo, const std::string& owner,
                 TZDBBTreeCheckReport& report) {
    report = CheckBTree(pages_, Session, keys, rootPageNo, false);
    for (const std::string& problem : report.Problems) context_.Problem(owner + ": " + problem);
    bool claimed = true;
    for (const int32_t pageNo : report.Pages) claimed = context_.Claim(pageNo, owner) && claimed;
    // Below a damaged page the check may not have reached every page of the tree.
    if (!report.Ok()) hidden_ = true;
    return report.Ok() && claimed;
  }

  void CheckIndex(TZDBCheckedTable& table, const TZDBIndexDef& definition) {
    ++indexes_;
    const std::string owner = table.Label() + " index '" + definition.Name() + "'";
    if (definition.RootPageNo() == TZDBIndexDef::NoRootPageNo) {
      context_.Problem(owner + ": the index has no tree");
      return;
    }
    TZDBRecordKeyRef keys;
    try {
      keys.Prepare(MakeIndexKeyDef(definition, table.Fields.FieldDefs()).Columns, nullptr);
      keys.SetEntryDataSize(TZDBRecordKeyRef::RecordIDDataSize);
    } catch (const std::exception& error) {
      context_.Problem(owner + ": " + error.what());
      return;
    }
    TZDBBTreeCheckReport report;
    if (!CheckTree(keys, definition.RootPageNo(), owner, report)) return;
    table.IndexEntryCounts[definition.ObjectID()] = report.EntryCount;
    if (table.CountsRead && report.EntryCount != table.Counts.RecordCount)
      context_.Problem(owner + ": " + Plural(report.EntryCount, "entry", "entries") + " for " +
                       Plural(table.Counts.RecordCount, "row"));
  }

  // The leaf entries of a sound page-number tree, in page order.
  std::vector<TZDBCheckedPageValue> PageEntries(const TZDBBTreeCheckReport& report, int32_t dataSize) {
    std::vector<TZDBCheckedPageValue> entries;
    for (const int32_t pageNo : report.Pages) {
      TZDBPageRef page(pages_, Session, pageNo, false, TZDBBTreePage::PageType);
      const TZDBBTreePage view(*page, dataSize);
      if (!view.IsLeaf()) continue;
      for (int32_t e = 0; e < view.EntryCount(); ++e)
        entries.push_back({TZDBPageKeyRef::ReadKey(view.Key(e)), le::GetU16(view.EntryData(e))});
    }
    return entries;
  }

  // Claims the pages a page-number tree lists and checks their type and owner.
  void CheckListedPages(const TZDBCheckedTable& table, const std::vector<TZDBCheckedPageValue>& entries, uint16_t pageType,
                        const std::string& owner) {
    const bool pagesCarryOwners = pages_.Header().FormatVersion >= layout::MinimumFormatVersion;
    for (const TZDBCheckedPageValue& entry : entries) {
      const std::string where = owner + ": page " + std::to_string(entry.PageNo);
      if (entry.Value == 0) context_.Problem(where + " is listed with a value of 0");
      if (!context_.Claim(entry.PageNo, owner)) continue;
      try {
        TZDBPageRef page(pages_, Session, entry.PageNo, false, AnyPageType);
        if (page->PageType() != pageType) {
          context_.Problem(where + " is a '" + TypeName(page->PageType()) + "', expected a '" + TypeName(pageType) +
                           "'");
        } else if (pagesCarryOwners && page->OwnerObjectID() != table.Entry.ObjectID) {
          context_.Problem(where + " belongs to object " + std::to_string(page->OwnerObjectID()) +
                           ", not to the table (" + std::to_string(table.Entry.ObjectID) + ")");
        }
      } catch (const std::exception& error) {
        context_.Problem(where + ": " + error.what());
      }
    }
  }

  void CheckRecordPageIndex(TZDBCheckedTable& table) {
    const std::string owner = table.Label() + " record-page index";
    const int32_t root = table.Roots.RecordPageIndexRootPageNo;
    if (root == TZDBTableRootPages::NoRootPageNo) {
      context_.Problem(owner + ": the table has none");
      hidden_ = true;
      return;
    }
    TZDBPageKeyRef keys;
    TZDBBTreeCheckReport report;
    if (!CheckTree(keys, root, owner, report)) {
      hidden_ = true;
      return;
    }
    table.RecordPages = PageEntries(report, keys.EntryDataSize());
    table.RecordPageIndexSound = true;
    CheckListedPages(table, table.RecordPages, RecordType, owner);
    int64_t rows = 0;
    for (const TZDBCheckedPageValue& entry : table.RecordPages) rows += entry.Value;
    if (table.CountsRead && rows != table.Counts.RecordCount)
      context_.Problem(owner + ": the pages hold " + Plural(rows, "row") + ", the table counts " +
                       std::to_string(table.Counts.RecordCount));
  }

  void CheckBlobPageIndex(TZDBCheckedTable& table) {
    const std::string owner = table.Label() + " BLOB-page index";
    const int32_t root = table.Roots.BlobPageIndexRootPageNo;
    if (root == TZDBTableRootPages::NoRootPageNo) {
      if (HasBlobFields(table)) context_.Problem(owner + ": the table has BLOB fields but no BLOB-page index");
      return;
    }
    TZDBPageKeyRef keys;
    TZDBBTreeCheckReport report;
    if (!CheckTree(keys, root, owner, report)) {
      hidden_ = true;
      return;
    }
    table.BlobPages = PageEntries(report, keys.EntryDataSize());
    table.BlobPageIndexSound = true;
    CheckListedPages(table, table.BlobPages, BlobType, owner);
  }

  // --- what nothing reaches -----------------------------------------------------------------

  bool HasBlobFields(const TZDBCheckedTable& table) {
    try {
      return table.Fields.HasBlobFields();
    } catch (const std::exception& error) {
      context_.Problem(table.Label() + " metadata: " + error.what());
      return false;
    }
  }

  // Every page marked used must have been claimed. Where damage kept the check from
  // following a structure, the pages left over are its consequence, not each a problem
  // of its own: they are listed in one line.
  void CheckUnreachablePages() {
    constexpr size_t ListedAtMost = 20;
    std::vector<int32_t> leftOver;
    const int32_t total = context_.TotalPageCount();
    for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
      if (context_.IsSystemPage(pageNo) || !bitKnown_[static_cast<size_t>(pageNo)] || !context_.IsPageUsed(pageNo) ||
          context_.IsClaimed(pageNo))
        continue;
      uint16_t type = 0;
      int32_t owner = 0;
      std::string description;
      try {
        const std::vector<uint8_t> page = ReadRawPage(pageNo);
        type = RawPageType(page);
        owner = le::GetI32(page.data() + TZDBPage::OwnerObjectIDOffset);
        description = " (a '" + TypeName(type) + "' of object " + std::to_string(owner) + ")";
      } catch (const std::exception&) {
        description = " (unreadable)";
      }
      // Large values hang off rows; no check here follows them.
      if (type == BlobType && unfollowedBlobOwners_.count(owner) != 0) continue;
      if (hidden_) {
        leftOver.push_back(pageNo);
      } else {
        context_.Problem("Page " + std::to_string(pageNo) + description + " is marked used, but nothing reaches it");
      }
    }
    if (leftOver.empty()) return;
    std::string list;
    for (size_t i = 0; i < leftOver.size() && i < ListedAtMost; ++i)
      list += (i == 0 ? "" : ", ") + std::to_string(leftOver[i]);
    if (leftOver.size() > ListedAtMost) list += ", ...";
    context_.Problem(Plural(static_cast<int64_t>(leftOver.size()), "page") +
                     " marked used could not be reached past the damage above: " + list);
  }

  TZDBDiskPageManager& pages_;
  TZDBFileCheckContext context_;
  int64_t tables_ = 0;
  int64_t indexes_ = 0;
  // Damage kept the check from following some structure to all of its pages.
  bool hidden_ = false;
  // Per page: whether its free-space bit could be read.
  std::vector<bool> bitKnown_;
  // Tables whose large-value pages no registered check follows.
  std::set<int32_t> unfollowedBlobOwners_;
};

}  // namespace

std::string TZDBFileCheckReport::Summary() const {
  const std::string sizes =
      Plural(PageCount, "page") + ", " + Plural(TableCount, "table") + ", " + Plural(IndexCount, "index", "indexes");
  if (Clean()) return "clean: " + sizes;
  return "damaged: " + Plural(static_cast<int64_t>(Problems.size()), "problem") + "; " + sizes;
}

TZDBFileCheckReport CheckDatabaseFile(TZDBDiskPageManager& pages, bool needsRepair) {
  return FileChecker(pages).Run(needsRepair);
}

}  // namespace zdb
