#include "engine/index/ZDBBTree.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_set>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

[[noreturn]] void RaiseIntegrity(const TZDBError& code, int32_t pageNo, int32_t entryNo) {
  RaiseError(code, {pageNo, entryNo});
}

std::vector<uint8_t> ChildBytes(int32_t pageNo) {
  std::vector<uint8_t> bytes(TZDBBTreePage::NodeDataSize);
  le::PutI32(bytes.data(), pageNo);
  return bytes;
}

// The equal run around a binary-search hit.
struct EqualRange {
  bool Found = false;
  int32_t Leftmost = 0;
  int32_t Rightmost = 0;
  int32_t Point = 0;  // insertion point when not found
};

}  // namespace

TZDBBTree::TZDBBTree(TZDBPageManager& pages, TZDBBTreeKeyRef& keys, TZDBBTreeErrorCodes codes)
    : pages_(pages), keys_(keys), codes_(codes) {}

void TZDBBTree::CheckGeometry() const {
  const int32_t room = pages_.PageDataSize() - static_cast<int32_t>(TZDBBTreePage::HeaderSize);
  const int32_t leafEntry = keys_.KeySize() + keys_.EntryDataSize();
  const int32_t nodeEntry = keys_.KeySize() + TZDBBTreePage::NodeDataSize;
  if (keys_.KeySize() > std::numeric_limits<uint16_t>::max() || MinEntriesPerPage * std::max(leafEntry, nodeEntry) > room)
    RaiseError(errors::BufferSizeExceeded);
}

TZDBPageRef TZDBBTree::FetchPage(int32_t session, int32_t pageNo) const {
  TZDBPageRef page(pages_, session, pageNo, true, TZDBBTreePage::PageType);
  if (!View(*page).IsSane(static_cast<uint16_t>(keys_.KeySize()))) RaiseIntegrity(errors::DamagedLeafChain, pageNo, -1);
  return page;
}

void TZDBBTree::InitializeEmptyRoot(TZDBPage& page) const {
  View(page).Initialize(true, true, true, static_cast<uint16_t>(keys_.KeySize()));
  page.MarkDirty();
}

// --- whole trees -------------------------------------------------------------------------

int32_t TZDBBTree::CreateRoot(int32_t session) {
  CheckGeometry();
  TZDBPageRef root = TZDBPageRef::Add(pages_, session, TZDBBTreePage::PageType);
  InitializeEmptyRoot(*root);
  rootPageNo_ = root->PageNo();
  return rootPageNo_;
}

std::vector<int32_t> TZDBBTree::PagesDepthFirst(int32_t session) {
  std::vector<int32_t> order;
  std::unordered_set<int32_t> seen;
  std::function<void(int32_t, int32_t)> visit = [&](int32_t pageNo, int32_t depth) {
    if (depth >= TZDBKeyPath::MaxLevels || !seen.insert(pageNo).second) return;  // a damaged tree ends here
    std::vector<int32_t> children;
    {
      TZDBPageRef page = FetchPage(session, pageNo);
      const TZDBBTreePage view = View(*page);
      if (!view.IsLeaf())
        for (int32_t i = 0; i < view.EntryCount(); ++i) children.push_back(view.ChildPageNo(i));
    }
    for (int32_t child : children) visit(child, depth + 1);
    order.push_back(pageNo);
  };
  visit(rootPageNo_, 0);
  return order;
}

void TZDBBTree::Drop(int32_t session) {
  for (int32_t pageNo : PagesDepthFirst(session)) pages_.RemovePage(session, pageNo);
  rootPageNo_ = NoRoot;
}

void TZDBBTree::Empty(int32_t session) {
  for (int32_t pageNo : PagesDepthFirst(session))
    if (pageNo != rootPageNo_) pages_.RemovePage(session, pageNo);
  TZDBPageRef root(pages_, session, rootPageNo_, true, TZDBBTreePage::PageType);
  InitializeEmptyRoot(*root);
}

// --- one page ----------------------------------------------------------------------------

TZDBBTree::PageSearch TZDBBTree::SearchPage(int32_t session, const TZDBBTreePage& page, const uint8_t* key,
                                            const uint8_t* searchData, int32_t firstIndex, TZDBTieMode tie,
                                            bool resolve) {
  const int32_t count = page.EntryCount();
  if (count == 0) return {true, false, 0};
  const bool leaf = page.IsLeaf();
  auto entryData = [&](int32_t i) { return leaf ? page.EntryData(i) : nullptr; };
  auto keyEquals = [&](int32_t i) {
    return keys_.CompareKeys(key, page.Key(i), entryData(i), searchData, session, resolve) == 0;
  };

  int32_t low = firstIndex;
  int32_t high = count - 1;
  while (low <= high) {
    const int32_t mid = low + (high - low) / 2;
    int c = keys_.CompareKeys(key, page.Key(mid), entryData(mid), searchData, session, resolve);
    if (c == 0 && searchData != nullptr) {
      if (leaf) {
        c = keys_.CompareEntryData(searchData, page.EntryData(mid));
      } else {
        // The node's key alone cannot tell equal keys apart: the child's first entry can.
        if (FirstEntryOfSubtree(session, page.ChildPageNo(mid), tieKey_, tieData_)) {
          c = keys_.CompareKeys(key, tieKey_.data(), tieData_.data(), searchData, session, true);
          if (c == 0) c = keys_.CompareEntryData(searchData, tieData_.data());
        } else {
          c = 1;
        }
      }
    }
    if (c < 0) {
      high = mid - 1;
    } else if (c > 0) {
      low = mid + 1;
    } else {
      int32_t position = mid;
      if (tie == TZDBTieMode::Leftmost) {
        while (position - 1 >= firstIndex && keyEquals(position - 1)) --position;
      } else if (tie == TZDBTieMode::Rightmost) {
        while (position + 1 < count && keyEquals(position + 1)) ++position;
      }
      return {false, true, position};
    }
  }
  return {false, false, low};
}

// --- descent -----------------------------------------------------------------------------

void TZDBBTree::Descend(int32_t session, const uint8_t* key, const uint8_t* data, TZDBKeyPath& path,
                        TZDBPageRef& leaf) {
  path.Clear();
  int32_t pageNo = rootPageNo_;
  for (;;) {
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    if (view.IsLeaf()) {
      leaf = std::move(page);
      return;
    }
    if (view.EntryCount() == 0) RaiseIntegrity(errors::DamagedLeafChain, pageNo, 0);
    const PageSearch found = SearchPage(session, view, key, data, 1, TZDBTieMode::Any, false);
    const int32_t child = found.Found ? found.Position : found.Position - 1;
    path.Push(pageNo, child, view.EntryCount());
    pageNo = view.ChildPageNo(child);
  }
}

bool TZDBBTree::FirstEntryOfSubtree(int32_t session, int32_t pageNo, std::vector<uint8_t>& key,
                                    std::vector<uint8_t>& data) {
  for (int32_t depth = 0; depth < TZDBKeyPath::MaxLevels; ++depth) {
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    if (view.EntryCount() == 0) return false;
    if (view.IsLeaf()) {
      key.assign(view.Key(0), view.Key(0) + view.KeySize());
      data.assign(view.EntryData(0), view.EntryData(0) + view.EntryDataSize());
      return true;
    }
    pageNo = view.ChildPageNo(0);
  }
  return false;
}

bool TZDBBTree::LastEntryOfSubtree(int32_t session, int32_t pageNo, std::vector<uint8_t>& key,
                                   std::vector<uint8_t>& data) {
  for (int32_t depth = 0; depth < TZDBKeyPath::MaxLevels; ++depth) {
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    const int32_t last = view.EntryCount() - 1;
    if (last < 0) return false;
    if (view.IsLeaf()) {
      key.assign(view.Key(last), view.Key(last) + view.KeySize());
      data.assign(view.EntryData(last), view.EntryData(last) + view.EntryDataSize());
      return true;
    }
    pageNo = view.ChildPageNo(last);
  }
  return false;
}

TZDBBTree::SubtreeVerdict TZDBBTree::JudgeSubtree(int32_t session, int32_t pageNo, const uint8_t* key,
                                                  TZDBSearchOperator op, bool forward) {
  // key against the subtree's first or last entry, compared in full; nothing when empty.
  auto compareWith = [&](bool last) -> std::optional<int> {
    if (!(last ? LastEntryOfSubtree(session, pageNo, tieKey_, tieData_)
               : FirstEntryOfSubtree(session, pageNo, tieKey_, tieData_)))
      return std::nullopt;
    return keys_.CompareKeys(key, tieKey_.data(), tieData_.data(), nullptr, session, true);
  };
  // Entries satisfying < or <= form a prefix of the index order, > and >= a suffix, = a
  // run: a subtree that misses the set on the side the walk comes from is skipped, one
  // that misses it on the other side ends the walk.
  const SubtreeVerdict pastIt = SubtreeVerdict::Stop;
  switch (op) {
    case TZDBSearchOperator::Less:
    case TZDBSearchOperator::LessOrEqual: {
      const auto first = compareWith(false);
      const bool satisfies = first && (op == TZDBSearchOperator::Less ? *first > 0 : *first >= 0);
      if (satisfies) return SubtreeVerdict::Enter;
      return forward ? pastIt : SubtreeVerdict::Skip;
    }
    case TZDBSearchOperator::Greater:
    case TZDBSearchOperator::GreaterOrEqual: {
      const auto last = compareWith(true);
      const bool satisfies = last && (op == TZDBSearchOperator::Greater ? *last < 0 : *last <= 0);
      if (satisfies) return SubtreeVerdict::Enter;
      return forward ? SubtreeVerdict::Skip : pastIt;
    }
    case TZDBSearchOperator::Equal: {
      const auto near = compareWith(forward);  // the end the walk meets last
      if (!near || (forward ? *near > 0 : *near < 0)) return SubtreeVerdict::Skip;
      const auto far = compareWith(!forward);
      if (!far || (forward ? *far < 0 : *far > 0)) return pastIt;
      return SubtreeVerdict::Enter;
    }
    default:
      return SubtreeVerdict::Enter;
  }
}

// --- insertion ---------------------------------------------------------------------------

void TZDBBTree::Insert(int32_t session, const uint8_t* key, const uint8_t* data) {
  TZDBKeyPath path;
  TZDBPageRef leaf;
  Descend(session, key, data, path, leaf);
  const TZDBBTreePage view = View(*leaf);
  const PageSearch found = SearchPage(session, view, key, data, 0, TZDBTieMode::Any, true);
  if (found.Found) RaiseIntegrity(errors::DuplicateEntry, leaf->PageNo(), found.Position);
  path.Push(leaf->PageNo(), found.Position, view.EntryCount());
  leaf.Release();
  InsertAt(session, path, path.LevelCount() - 1, found.Position, key, data);
}

void TZDBBTree::InsertAt(int32_t session, TZDBKeyPath& path, int32_t level, int32_t position, const uint8_t* key,
                         const uint8_t* data) {
  TZDBPageRef page = FetchPage(session, path.Level(level).PageNo);
  TZDBBTreePage view = View(*page);
  const int32_t count = view.EntryCount();
  if (view.Fits(count + 1)) {
    view.InsertEntry(position, key, data);
    page->MarkDirty();
    return;
  }

  // The page is full: lay out all entries with the new one in a scratch area, then split.
  const int32_t entrySize = view.EntrySize();
  const int32_t total = count + 1;
  std::vector<uint8_t> entries(static_cast<size_t>(total * entrySize), 0);
  const size_t before = static_cast<size_t>(position * entrySize);
  std::memcpy(entries.data(), view.Entry(0), before);
  std::memcpy(entries.data() + before, key, static_cast<size_t>(keys_.KeySize()));
  std::memcpy(entries.data() + before + keys_.KeySize(), data, static_cast<size_t>(view.EntryDataSize()));
  std::memcpy(entries.data() + before + entrySize, view.Entry(position),
              static_cast<size_t>((count - position) * entrySize));

  if (view.IsRoot()) {
    SplitRoot(session, page, entries, total);
    return;
  }
  if (level == 0) RaiseIntegrity(errors::DamagedLeafChain, page->PageNo(), position);

  const int32_t half = total / 2;
  TZDBPageRef added = TZDBPageRef::Add(pages_, session, TZDBBTreePage::PageType);
  TZDBBTreePage addedView = View(*added);
  addedView.CopyHeaderFrom(view);
  addedView.SetIsRoot(false);
  addedView.SetEntries(entries.data() + static_cast<size_t>(half * entrySize), total - half);
  view.SetEntries(entries.data(), half);

  const int32_t oldRight = view.RightPageNo();
  addedView.SetRightPageNo(oldRight);
  addedView.SetLeftPageNo(page->PageNo());
  if (oldRight != NoRoot) {
    TZDBPageRef right = FetchPage(session, oldRight);
    View(*right).SetLeftPageNo(added->PageNo());
    right->MarkDirty();
  }
  view.SetRightPageNo(added->PageNo());
  page->MarkDirty();
  added->MarkDirty();

  const std::vector<uint8_t> separator(addedView.Key(0), addedView.Key(0) + keys_.KeySize());
  const std::vector<uint8_t> child = ChildBytes(added->PageNo());
  page.Release();
  added.Release();
  InsertAt(session, path, level - 1, path.Level(level - 1).EntryNo + 1, separator.data(), child.data());
}

void TZDBBTree::SplitRoot(int32_t session, TZDBPageRef& root, const std::vector<uint8_t>& entries, int32_t total) {
  TZDBBTreePage view = View(*root);
  const int32_t entrySize = view.EntrySize();
  const int32_t half = total / 2;
  TZDBPageRef left = TZDBPageRef::Add(pages_, session, TZDBBTreePage::PageType);
  TZDBPageRef right = TZDBPageRef::Add(pages_, session, TZDBBTreePage::PageType);
  TZDBBTreePage leftView = View(*left);
  TZDBBTreePage rightView = View(*right);
  leftView.CopyHeaderFrom(view);
  leftView.SetIsRoot(false);
  leftView.SetEntries(entries.data(), half);
  leftView.SetLeftPageNo(NoRoot);
  leftView.SetRightPageNo(right->PageNo());
  rightView.CopyHeaderFrom(view);
  rightView.SetIsRoot(false);
  rightView.SetEntries(entries.data() + static_cast<size_t>(half * entrySize), total - half);
  rightView.SetLeftPageNo(left->PageNo());
  rightView.SetRightPageNo(NoRoot);

  // The root keeps its number and becomes a node over the two halves.
  view.SetIsLeaf(false);
  view.SetEntryCount(0);
  const std::vector<uint8_t> zeroKey(static_cast<size_t>(keys_.KeySize()), 0);
  view.InsertEntry(0, zeroKey.data(), ChildBytes(left->PageNo()).data());
  view.InsertEntry(1, rightView.Key(0), ChildBytes(right->PageNo()).data());
  root->MarkDirty();
  left->MarkDirty();
  right->MarkDirty();
}

// --- deletion ----------------------------------------------------------------------------

bool TZDBBTree::Remove(int32_t session, const uint8_t* key, const uint8_t* data) {
  TZDBKeyPath path;
  TZDBPageRef leaf;
  Descend(session, key, data, path, leaf);
  TZDBBTreePage view = View(*leaf);
  const PageSearch found = SearchPage(session, view, key, data, 0, TZDBTieMode::Any, true);
  if (!found.Found) return false;
  path.Push(leaf->PageNo(), found.Position, view.EntryCount());
  view.RemoveEntry(found.Position);
  leaf->MarkDirty();
  leaf.Release();
  Rebalance(session, path, path.LevelCount() - 1);
  return true;
}

void TZDBBTree::Rebalance(int32_t session, TZDBKeyPath& path, int32_t level) {
  TZDBPageRef page = FetchPage(session, path.Level(level).PageNo);
  const TZDBBTreePage view = View(*page);
  if (!view.Underflows()) return;
  if (view.IsRoot()) {
    if (!view.IsLeaf() && view.EntryCount() == 1) CollapseRoot(session, page);
    return;
  }
  if (level == 0) RaiseIntegrity(errors::DamagedLeafChain, page->PageNo(), 0);
  // An empty page merges whatever its neighbour holds: a non-root page must never be empty.
  auto canMerge = [&](const TZDBBTreePage& neighbour) {
    if (neighbour.IsLeaf() != view.IsLeaf()) RaiseIntegrity(errors::DamagedLink, page->PageNo(), 0);
    return view.EntryCount() == 0 ||
           (view.EntryCount() + neighbour.EntryCount()) * view.EntrySize() + neighbour.EntriesOffset() <
               neighbour.DataSize();
  };
  const int32_t leftNo = view.LeftPageNo();
  if (leftNo != NoRoot) {
    TZDBPageRef left = FetchPage(session, leftNo);
    if (canMerge(View(*left))) {
      MergeIntoLeft(session, path, level, page, left);
      return;
    }
  }
  const int32_t rightNo = view.RightPageNo();
  if (rightNo != NoRoot) {
    TZDBPageRef right = FetchPage(session, rightNo);
    if (canMerge(View(*right))) MergeIntoRight(session, path, level, page, right);
  }
}

void TZDBBTree::MergeIntoLeft(int32_t session, TZDBKeyPath& path, int32_t level, TZDBPageRef& page,
                              TZDBPageRef& left) {
  const TZDBBTreePage view = View(*page);
  TZDBBTreePage leftView = View(*left);
  const int32_t pageNo = page->PageNo();
  const int32_t rightNo = view.RightPageNo();
  if (rightNo != NoRoot) {
    TZDBPageRef right = FetchPage(session, rightNo);
    View(*right).SetLeftPageNo(left->PageNo());
    right->MarkDirty();
  }
  // The page is freed, so its entries move through a copy; on a node, entry 0 needs a
  // real separator once it stands behind the left neighbour's entries.
  const int32_t count = view.EntryCount();
  std::vector<uint8_t> entries(view.Entry(0), view.Entry(0) + static_cast<size_t>(count * view.EntrySize()));
  if (!view.IsLeaf() && count > 0) {
    std::vector<uint8_t> firstKey, firstData;
    if (FirstEntryOfSubtree(session, pageNo, firstKey, firstData))
      std::memcpy(entries.data(), firstKey.data(), firstKey.size());
  }
  leftView.AppendEntries(entries.data(), count);
  leftView.SetRightPageNo(rightNo);
  left->MarkDirty();
  page.Release();
  left.Release();
  DeleteParentEntry(session, path, level - 1, MergeSide::Left);
  pages_.RemovePage(session, pageNo);
}

void TZDBBTree::MergeIntoRight(int32_t session, TZDBKeyPath& path, int32_t level, TZDBPageRef& page,
                               TZDBPageRef& right) {
  const TZDBBTreePage view = View(*page);
  TZDBBTreePage rightView = View(*right);
  const int32_t pageNo = page->PageNo();
  const int32_t leftNo = view.LeftPageNo();
  if (leftNo != NoRoot) {
    TZDBPageRef left = FetchPage(session, leftNo);
    View(*left).SetRightPageNo(right->PageNo());
    left->MarkDirty();
  }
  if (!view.IsLeaf() && rightView.EntryCount() > 0) {
    std::vector<uint8_t> firstKey, firstData;
    if (FirstEntryOfSubtree(session, right->PageNo(), firstKey, firstData)) rightView.SetKey(0, firstKey.data());
  }
  rightView.PrependEntries(view.Entry(0), view.EntryCount());
  rightView.SetLeftPageNo(leftNo);
  right->MarkDirty();
  page.Release();
  right.Release();
  DeleteParentEntry(session, path, level - 1, MergeSide::Right);
  pages_.RemovePage(session, pageNo);
}

void TZDBBTree::DeleteParentEntry(int32_t session, TZDBKeyPath& path, int32_t level, MergeSide side) {
  if (level < 0) RaiseIntegrity(errors::DamagedPath, -1, -1);
  TZDBPageRef parent = FetchPage(session, path.Level(level).PageNo);
  TZDBBTreePage view = View(*parent);
  const int32_t position = path.Level(level).EntryNo;
  const int32_t count = view.EntryCount();
  if (position < 0 || position >= count || view.IsLeaf()) RaiseIntegrity(errors::DamagedPath, parent->PageNo(), position);

  auto setAncestorKey = [&](int32_t ancestorLevel, int32_t entryNo, const std::vector<uint8_t>& key) {
    TZDBPageRef ancestor = FetchPage(session, path.Level(ancestorLevel).PageNo);
    View(*ancestor).SetKey(entryNo, key.data());
    ancestor->MarkDirty();
  };
  if (side == MergeSide::Left && position == 0 && count >= 2) {
    // The node's first key grows: the separator that leads to it must follow.
    const std::vector<uint8_t> key(view.Key(1), view.Key(1) + keys_.KeySize());
    for (int32_t a = level - 1; a >= 0; --a) {
      if (path.Level(a).EntryNo >= 1) {
        setAncestorKey(a, path.Level(a).EntryNo, key);
        break;
      }
    }
  } else if (side == MergeSide::Right) {
    // The right neighbour now starts with the deleted child's keys: it takes over the
    // deleted entry's key as its separator.
    if (position != count - 1) {
      view.SetKey(position + 1, view.Key(position));
    } else {
      const std::vector<uint8_t> key(view.Key(position), view.Key(position) + keys_.KeySize());
      for (int32_t a = level - 1; a >= 0; --a) {
        TZDBPageRef ancestor = FetchPage(session, path.Level(a).PageNo);
        const int32_t entryNo = path.Level(a).EntryNo;
        if (entryNo != View(*ancestor).EntryCount() - 1) {
          View(*ancestor).SetKey(entryNo + 1, key.data());
          ancestor->MarkDirty();
          break;
        }
      }
    }
  }
  view.RemoveEntry(position);
  parent->MarkDirty();
  parent.Release();
  Rebalance(session, path, level);
}

void TZDBBTree::CollapseRoot(int32_t session, TZDBPageRef& root) {
  TZDBBTreePage view = View(*root);
  const int32_t childNo = view.ChildPageNo(0);
  {
    TZDBPageRef child = FetchPage(session, childNo);
    std::memcpy(root->Data(), child->Data(), root->DataSize());
  }
  view.SetIsRoot(true);
  view.SetLeftPageNo(NoRoot);
  view.SetRightPageNo(NoRoot);
  root->MarkDirty();
  pages_.RemovePage(session, childNo);
}

// --- searches ----------------------------------------------------------------------------

bool TZDBBTree::FindEntry(int32_t session, const uint8_t* key, const uint8_t* data, TZDBKeyPath& path) {
  TZDBPageRef leaf;
  Descend(session, key, data, path, leaf);
  const TZDBBTreePage view = View(*leaf);
  const PageSearch found = SearchPage(session, view, key, data, 0, TZDBTieMode::Any, true);
  if (!found.Found) return false;
  path.Push(leaf->PageNo(), found.Position, view.EntryCount());
  return true;
}

bool TZDBBTree::FindSatisfying(int32_t session, const uint8_t* key, TZDBSearchOperator op, bool forward,
                               TZDBKeyPath& path) {
  path.Clear();
  if (!HasRoot()) return false;
  return FindSatisfyingIn(session, rootPageNo_, key, op, forward, path, 0);
}

bool TZDBBTree::FindSatisfyingIn(int32_t session, int32_t pageNo, const uint8_t* key, TZDBSearchOperator op,
                                 bool forward, TZDBKeyPath& path, int32_t depth) {
  if (depth >= TZDBKeyPath::MaxLevels) RaiseIntegrity(errors::DamagedPath, pageNo, -1);
  TZDBPageRef page = FetchPage(session, pageNo);
  const TZDBBTreePage view = View(*page);
  const int32_t count = view.EntryCount();
  if (count == 0) return false;
  const bool leaf = view.IsLeaf();
  const int32_t firstIndex = leaf ? 0 : 1;

  // Where the key falls in this page: its equal run, or its insertion point.
  EqualRange range;
  if (op != TZDBSearchOperator::None) {
    const PageSearch hit = SearchPage(session, view, key, nullptr, firstIndex, TZDBTieMode::Any, leaf);
    range.Found = hit.Found;
    range.Point = hit.Position;
    if (hit.Found) {
      auto equals = [&](int32_t i) {
        return keys_.CompareKeys(key, view.Key(i), leaf ? view.EntryData(i) : nullptr, nullptr, session, leaf) == 0;
      };
      range.Leftmost = range.Rightmost = hit.Position;
      while (range.Leftmost - 1 >= firstIndex && equals(range.Leftmost - 1)) --range.Leftmost;
      while (range.Rightmost + 1 < count && equals(range.Rightmost + 1)) ++range.Rightmost;
    }
  }

  if (leaf) {
    const int32_t last = count - 1;
    int32_t entry = -1;
    switch (op) {
      case TZDBSearchOperator::None:
        entry = forward ? 0 : last;
        break;
      case TZDBSearchOperator::Equal:
        if (range.Found) entry = forward ? range.Leftmost : range.Rightmost;
        break;
      case TZDBSearchOperator::Less: {
        const int32_t below = (range.Found ? range.Leftmost : range.Point) - 1;
        if (below >= 0) entry = forward ? 0 : below;
        break;
      }
      case TZDBSearchOperator::Greater: {
        const int32_t above = range.Found ? range.Rightmost + 1 : range.Point;
        if (above < count) entry = forward ? above : last;
        break;
      }
      case TZDBSearchOperator::LessOrEqual: {
        const int32_t upTo = range.Found ? range.Rightmost : range.Point - 1;
        if (upTo >= 0) entry = forward ? 0 : upTo;
        break;
      }
      case TZDBSearchOperator::GreaterOrEqual: {
        const int32_t from = range.Found ? range.Leftmost : range.Point;
        if (from < count) entry = forward ? from : last;
        break;
      }
    }
    if (entry < 0) return false;
    path.Push(pageNo, entry, count);
    return true;
  }

  // A node: the children that may hold satisfying entries. Nodes compare only the
  // indexed prefix of truncated columns, leaves the whole values: then the children whose
  // separators equal the key may also hold entries below it (for <) or above it (for >),
  // and each candidate is first tested against its own first and last entry.
  const bool coarse = keys_.HasTruncatedColumns();
  const int32_t beforePoint = range.Point - 1;
  int32_t lo = 0;
  int32_t hi = count - 1;
  switch (op) {
    case TZDBSearchOperator::None:
      break;
    case TZDBSearchOperator::Equal:
      lo = range.Found ? std::max(range.Leftmost - 1, 0) : beforePoint;
      hi = range.Found ? range.Rightmost : beforePoint;
      break;
    case TZDBSearchOperator::Less:
      hi = range.Found ? (coarse ? range.Rightmost : range.Leftmost - 1) : beforePoint;
      break;
    case TZDBSearchOperator::Greater:
      lo = range.Found ? (coarse ? range.Leftmost - 1 : range.Rightmost) : beforePoint;
      break;
    case TZDBSearchOperator::LessOrEqual:
      hi = range.Found ? range.Rightmost : beforePoint;
      break;
    case TZDBSearchOperator::GreaterOrEqual:
      lo = range.Found ? range.Leftmost - 1 : beforePoint;
      break;
  }
  lo = std::max(lo, 0);
  hi = std::min(hi, count - 1);
  for (int32_t i = forward ? lo : hi; forward ? i <= hi : i >= lo; i += forward ? 1 : -1) {
    const SubtreeVerdict verdict = coarse && op != TZDBSearchOperator::None
                                       ? JudgeSubtree(session, view.ChildPageNo(i), key, op, forward)
                                       : SubtreeVerdict::Try;
    if (verdict == SubtreeVerdict::Skip) continue;
    if (verdict == SubtreeVerdict::Stop) return false;
    path.Push(pageNo, i, count);
    if (FindSatisfyingIn(session, view.ChildPageNo(i), key, op, forward, path, depth + 1)) return true;
    path.Pop();
    // A subtree judged to hold the answer's place decides alone: none after it can.
    if (verdict == SubtreeVerdict::Enter) return false;
  }
  return false;
}

// --- positions ---------------------------------------------------------------------------

bool TZDBBTree::FirstEntry(int32_t session, TZDBKeyPath& path) {
  path.Clear();
  int32_t pageNo = rootPageNo_;
  for (;;) {
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    if (view.EntryCount() == 0) {
      path.Clear();
      return false;
    }
    path.Push(pageNo, 0, view.EntryCount());
    if (view.IsLeaf()) return true;
    pageNo = view.ChildPageNo(0);
  }
}

bool TZDBBTree::LastEntry(int32_t session, TZDBKeyPath& path) {
  path.Clear();
  int32_t pageNo = rootPageNo_;
  for (;;) {
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    const int32_t count = view.EntryCount();
    if (count == 0) {
      path.Clear();
      return false;
    }
    path.Push(pageNo, count - 1, count);
    if (view.IsLeaf()) return true;
    pageNo = view.ChildPageNo(count - 1);
  }
}

bool TZDBBTree::NextEntry(int32_t session, TZDBKeyPath& path) {
  if (path.Empty()) RaiseError(*codes_.NextInvalidPosition);
  int32_t level = path.LevelCount() - 1;
  while (level >= 0 && path.Level(level).EntryNo >= path.Level(level).EntryCount - 1) --level;
  if (level < 0) return false;
  if (level == path.LevelCount() - 1) {
    // Within the leaf: no page to read, nothing that can fail.
    ++path.Level(level).EntryNo;
    return true;
  }
  TZDBKeyPath moved = path;
  ++moved.Level(level).EntryNo;
  for (int32_t below = level + 1; below < moved.LevelCount(); ++below) {
    int32_t rightNo;
    {
      TZDBPageRef page = FetchPage(session, moved.Level(below).PageNo);
      rightNo = View(*page).RightPageNo();
    }
    if (rightNo == NoRoot) RaiseError(*codes_.NextInvalidPage);
    TZDBPageRef right = FetchPage(session, rightNo);
    moved.Level(below) = {rightNo, 0, View(*right).EntryCount()};
  }
  path = moved;
  return true;
}

bool TZDBBTree::PriorEntry(int32_t session, TZDBKeyPath& path) {
  if (path.Empty()) RaiseError(*codes_.PriorInvalidPosition);
  int32_t level = path.LevelCount() - 1;
  while (level >= 0 && path.Level(level).EntryNo <= 0) --level;
  if (level < 0) return false;
  if (level == path.LevelCount() - 1) {
    --path.Level(level).EntryNo;
    return true;
  }
  TZDBKeyPath moved = path;
  --moved.Level(level).EntryNo;
  for (int32_t below = level + 1; below < moved.LevelCount(); ++below) {
    int32_t leftNo;
    {
      TZDBPageRef page = FetchPage(session, moved.Level(below).PageNo);
      leftNo = View(*page).LeftPageNo();
    }
    if (leftNo == NoRoot) RaiseError(*codes_.PriorInvalidPage);
    TZDBPageRef left = FetchPage(session, leftNo);
    const int32_t count = View(*left).EntryCount();
    moved.Level(below) = {leftNo, count - 1, count};
  }
  path = moved;
  return true;
}

void TZDBBTree::ReadEntry(int32_t session, const TZDBKeyPath& path, uint8_t* key, uint8_t* data) {
  if (path.Empty()) RaiseError(*codes_.ReadInvalidPosition);
  const TZDBKeyPathLevel& leaf = path.Leaf();
  TZDBPageRef page = FetchPage(session, leaf.PageNo);
  const TZDBBTreePage view = View(*page);
  if (!view.IsLeaf() || leaf.EntryNo < 0 || leaf.EntryNo >= view.EntryCount())
    RaiseError(*codes_.ReadInvalidPosition);
  if (key != nullptr) std::memcpy(key, view.Key(leaf.EntryNo), view.KeySize());
  if (data != nullptr) std::memcpy(data, view.EntryData(leaf.EntryNo), static_cast<size_t>(view.EntryDataSize()));
}

bool TZDBBTree::ReadEntryAtNumbers(int32_t session, const TZDBKeyPath& path, uint8_t* key, uint8_t* data) {
  if (path.Empty() || !HasRoot()) return false;
  int32_t pageNo = rootPageNo_;
  for (int32_t level = 0; level < path.LevelCount(); ++level) {
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    const int32_t entryNo = path.Level(level).EntryNo;
    if (entryNo < 0 || entryNo >= view.EntryCount()) return false;
    const bool last = level == path.LevelCount() - 1;
    if (last != view.IsLeaf()) return false;
    if (last) {
      if (key != nullptr) std::memcpy(key, view.Key(entryNo), view.KeySize());
      if (data != nullptr) std::memcpy(data, view.EntryData(entryNo), static_cast<size_t>(view.EntryDataSize()));
      return true;
    }
    pageNo = view.ChildPageNo(entryNo);
  }
  return false;
}

int64_t TZDBBTree::EntriesBefore(int32_t session, const TZDBKeyPath& path) {
  if (path.Empty()) RaiseError(*codes_.ReadInvalidPosition);
  int64_t before = path.Leaf().EntryNo;
  std::unordered_set<int32_t> seen{path.Leaf().PageNo};
  int32_t pageNo;
  {
    TZDBPageRef leaf = FetchPage(session, path.Leaf().PageNo);
    pageNo = View(*leaf).LeftPageNo();
  }
  while (pageNo != NoRoot) {
    if (!seen.insert(pageNo).second) RaiseIntegrity(errors::DamagedLink, pageNo, -1);
    TZDBPageRef page = FetchPage(session, pageNo);
    before += View(*page).EntryCount();
    pageNo = View(*page).LeftPageNo();
  }
  return before;
}

bool TZDBBTree::EntryAtPosition(int32_t session, int64_t position, TZDBKeyPath& path) {
  if (position < 0 || !FirstEntry(session, path)) return false;
  int64_t before = 0;
  int32_t pageNo = path.Leaf().PageNo;
  std::unordered_set<int32_t> seen;
  while (pageNo != NoRoot) {
    if (!seen.insert(pageNo).second) RaiseIntegrity(errors::DamagedLink, pageNo, -1);
    TZDBPageRef page = FetchPage(session, pageNo);
    const TZDBBTreePage view = View(*page);
    if (position < before + view.EntryCount()) {
      // Only the leaf level is known on this walk: the path names the leaf and entry.
      path.Clear();
      path.Push(pageNo, static_cast<int32_t>(position - before), view.EntryCount());
      return true;
    }
    before += view.EntryCount();
    pageNo = view.RightPageNo();
  }
  return false;
}

}  // namespace zdb
