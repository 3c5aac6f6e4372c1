#include "engine/index/ZDBBTreeRecordPageIndex.h"

#include <array>
#include <unordered_set>

#include "engine/base/ZDBException.h"

namespace zdb {

bool TZDBBTreeRecordPageIndex::HasRoom(uint16_t value, int32_t /*amount*/) const { return value < recordsPerPage_; }

int32_t TZDBBTreeRecordPageIndex::RowCount(int32_t session, int32_t pageNo) {
  TZDBKeyPath path;
  if (!HasRoot() || !Find(session, pageNo, path)) return 0;
  return GetValue(session, path);
}

bool TZDBBTreeRecordPageIndex::FirstPage(int32_t session, int32_t& pageNo) {
  TZDBKeyPath path;
  if (!HasRoot() || !FirstEntry(session, path)) return false;
  pageNo = GetPageNo(session, path);
  return true;
}

bool TZDBBTreeRecordPageIndex::LastPage(int32_t session, int32_t& pageNo) {
  TZDBKeyPath path;
  if (!HasRoot() || !LastEntry(session, path)) return false;
  pageNo = GetPageNo(session, path);
  return true;
}

bool TZDBBTreeRecordPageIndex::Neighbour(int32_t session, int32_t pageNo, bool forward, int32_t& neighbour) {
  TZDBKeyPath path;
  if (!HasRoot() || !Find(session, pageNo, path))
    RaiseError(forward ? errors::NextOfMissingPage : errors::PriorOfMissingPage);
  if (!(forward ? NextEntry(session, path) : PriorEntry(session, path))) return false;
  neighbour = GetPageNo(session, path);
  return true;
}

bool TZDBBTreeRecordPageIndex::NextPage(int32_t session, int32_t pageNo, int32_t& next) {
  return Neighbour(session, pageNo, true, next);
}

bool TZDBBTreeRecordPageIndex::PriorPage(int32_t session, int32_t pageNo, int32_t& prior) {
  return Neighbour(session, pageNo, false, prior);
}

bool TZDBBTreeRecordPageIndex::PageAfter(int32_t session, int32_t pageNo, int32_t& next) {
  if (!HasRoot()) return false;
  std::array<uint8_t, TZDBPageKeyRef::PageKeySize> key{};
  TZDBPageKeyRef::WriteKey(key.data(), pageNo);
  TZDBKeyPath path;
  if (!Tree().FindSatisfying(session, key.data(), TZDBSearchOperator::Greater, true, path)) return false;
  next = GetPageNo(session, path);
  return true;
}

bool TZDBBTreeRecordPageIndex::PageBefore(int32_t session, int32_t pageNo, int32_t& prior) {
  if (!HasRoot()) return false;
  std::array<uint8_t, TZDBPageKeyRef::PageKeySize> key{};
  TZDBPageKeyRef::WriteKey(key.data(), pageNo);
  TZDBKeyPath path;
  if (!Tree().FindSatisfying(session, key.data(), TZDBSearchOperator::Less, false, path)) return false;
  prior = GetPageNo(session, path);
  return true;
}

std::vector<int32_t> TZDBBTreeRecordPageIndex::AllPages(int32_t session) {
  std::vector<int32_t> pages;
  ForEachLeaf(session, [&](const TZDBBTreePage& leaf) {
    for (int32_t i = 0; i < leaf.EntryCount(); ++i) pages.push_back(PageNoAt(leaf, i));
    return true;
  });
  return pages;
}

void TZDBBTreeRecordPageIndex::LocateRow(int32_t session, int64_t row, int32_t& pageNo, int32_t& position) {
  int64_t before = 0;
  bool found = false;
  ForEachLeaf(session, [&](const TZDBBTreePage& leaf) {
    for (int32_t i = 0; i < leaf.EntryCount(); ++i) {
      const int32_t rows = ValueAt(leaf, i);
      if (before + rows > row) {
        pageNo = PageNoAt(leaf, i);
        position = static_cast<int32_t>(row - before);
        found = true;
        return false;
      }
      before += rows;
    }
    return true;
  });
  if (!found) RaiseError(errors::RowBeyondLast);
}

int64_t TZDBBTreeRecordPageIndex::RowsBefore(int32_t session, int32_t pageNo, int32_t slotPosition) {
  TZDBKeyPath path;
  if (!HasRoot() || !Find(session, pageNo, path)) RaiseError(errors::RecNoOfMissingPage);
  // The entries before it on its own leaf, then every leaf to its left, whole.
  int64_t before = slotPosition;
  const TZDBKeyPathLevel at = path.Leaf();
  int32_t leftNo = NoRoot;
  {
    TZDBPageRef page = Tree().FetchPage(session, at.PageNo);
    const TZDBBTreePage leaf = Tree().View(*page);
    for (int32_t i = 0; i < at.EntryNo; ++i) before += ValueAt(leaf, i);
    leftNo = leaf.LeftPageNo();
  }
  std::unordered_set<int32_t> seen{at.PageNo};
  while (leftNo != NoRoot) {
    // A damaged chain that loops must not walk forever.
    if (!seen.insert(leftNo).second)
      RaiseError(errors::DamagedLeafChain, {leftNo, -1});
    TZDBPageRef page = Tree().FetchPage(session, leftNo);
    const TZDBBTreePage leaf = Tree().View(*page);
    for (int32_t i = 0; i < leaf.EntryCount(); ++i) before += ValueAt(leaf, i);
    leftNo = leaf.LeftPageNo();
  }
  return before;
}

int64_t TZDBBTreeRecordPageIndex::TotalRows(int32_t session) {
  int64_t total = 0;
  ForEachLeaf(session, [&](const TZDBBTreePage& leaf) {
    for (int32_t i = 0; i < leaf.EntryCount(); ++i) total += ValueAt(leaf, i);
    return true;
  });
  return total;
}

void TZDBBTreeRecordPageIndex::CheckRowCount(int32_t session, int64_t expected) {
  const int64_t total = TotalRows(session);
  if (total != expected)
    RaiseError(errors::RowCountsDisagree, {total, expected});
}

}  // namespace zdb
