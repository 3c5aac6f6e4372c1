// The B-tree algorithms shared by the table indexes and the page-number trees: search
// within a page, descent, insertion with page splits, deletion with page merges, growth
// and collapse of the root, the first or last entry that satisfies an operator, and
// sequential moves along the leaves.
//
// Contract: the tree works on pages of type 12 through a page manager, for the session
// each call names, and compares keys through its key descriptor. Entries are (key, leaf
// data), unique as a pair, sorted by key and then by data. Every page of one level is
// linked to its neighbours in key order. The root page keeps its number for the tree's
// life. Every non-root page holds at least one entry: a page left empty is always merged
// away. Every page fetched is put back on every path (TZDBPageRef).
//
// No lock of its own: callers serialise all calls on one tree.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBBTreeKeyRef.h"
#include "engine/index/ZDBBTreePage.h"
#include "engine/index/ZDBIndexSearch.h"
#include "engine/index/ZDBKeyPath.h"

namespace zdb {

enum class TZDBTieMode : uint8_t { Leftmost, Rightmost, Any };

// The codes a tree raises for broken positions; table indexes and page-number trees use
// their own.
struct TZDBBTreeErrorCodes {
  const TZDBError* NextInvalidPosition = &errors::IndexInvalidPosition;
  const TZDBError* PriorInvalidPosition = &errors::PriorInvalidPosition;
  const TZDBError* NextInvalidPage = &errors::IndexInvalidPageNumber;
  const TZDBError* PriorInvalidPage = &errors::PriorInvalidPageNumber;
  const TZDBError* ReadInvalidPosition = &errors::IndexInvalidPosition;
};

class TZDBBTree {
 public:
  static constexpr int32_t NoRoot = -1;
  // The fewest entries a page must hold, on leaves and nodes alike: below that, splits
  // and merges could not keep every page non-empty.
  static constexpr int32_t MinEntriesPerPage = 4;

  TZDBBTree(TZDBPageManager& pages, TZDBBTreeKeyRef& keys, TZDBBTreeErrorCodes codes = {});

  int32_t RootPageNo() const { return rootPageNo_; }
  void SetRootPageNo(int32_t pageNo) { rootPageNo_ = pageNo; }
  bool HasRoot() const { return rootPageNo_ != NoRoot; }
  TZDBPageManager& Pages() const { return pages_; }
  TZDBBTreeKeyRef& Keys() const { return keys_; }
  // Raises 20056 "Buffer size exceeded" when pages of this manager cannot hold
  // MinEntriesPerPage entries of this key.
  void CheckGeometry() const;

  // --- whole trees ---------------------------------------------------------------------
  // Adds the root page as an empty root leaf and answers its number.
  int32_t CreateRoot(int32_t session);
  // Frees every page, children before their node; the tree then has no root.
  void Drop(int32_t session);
  // Frees every page but the root, which becomes an empty root leaf again.
  void Empty(int32_t session);

  // --- one page ------------------------------------------------------------------------
  struct PageSearch {
    bool Empty = false;
    bool Found = false;
    int32_t Position = 0;  // where it was found, else the insertion point
  };
  // Binary search over entries [firstIndex, count). With searchData, a tie on the key is
  // broken by the data: on a leaf the entry's own, on a node the first entry of the
  // child's subtree. Leftmost / Rightmost walk from a hit over the entries whose keys
  // stay equal.
  PageSearch SearchPage(int32_t session, const TZDBBTreePage& page, const uint8_t* key, const uint8_t* searchData,
                        int32_t firstIndex, TZDBTieMode tie, bool resolve);

  // --- entries -------------------------------------------------------------------------
  // Inserts (key, data). 20028 "Index integrity error" when that very entry is there.
  void Insert(int32_t session, const uint8_t* key, const uint8_t* data);
  // Removes (key, data) and rebalances; false when there is no such entry.
  bool Remove(int32_t session, const uint8_t* key, const uint8_t* data);
  // The path of the entry (key, data); false when there is none.
  bool FindEntry(int32_t session, const uint8_t* key, const uint8_t* data, TZDBKeyPath& path);
  // The first (forward) or last (backward) entry whose key satisfies `entry op key`.
  bool FindSatisfying(int32_t session, const uint8_t* key, TZDBSearchOperator op, bool forward, TZDBKeyPath& path);

  // --- positions -----------------------------------------------------------------------
  bool FirstEntry(int32_t session, TZDBKeyPath& path);
  bool LastEntry(int32_t session, TZDBKeyPath& path);
  // One step along the leaves; false (path unchanged) at the end.
  bool NextEntry(int32_t session, TZDBKeyPath& path);
  bool PriorEntry(int32_t session, TZDBKeyPath& path);
  // Copies the key and / or the data of the entry the path ends at (either may be null).
  void ReadEntry(int32_t session, const TZDBKeyPath& path, uint8_t* key, uint8_t* data);
  // The same for a path of entry numbers only (a decoded path number), followed from the
  // root. False when an entry number lies outside its page.
  bool ReadEntryAtNumbers(int32_t session, const TZDBKeyPath& path, uint8_t* key, uint8_t* data);
  // Entries in index order before the path's entry (the leaves to its left, walked).
  int64_t EntriesBefore(int32_t session, const TZDBKeyPath& path);
  // The entry at 0-based position n in index order; false past the last one.
  bool EntryAtPosition(int32_t session, int64_t position, TZDBKeyPath& path);

  TZDBPageRef FetchPage(int32_t session, int32_t pageNo) const;
  TZDBBTreePage View(TZDBPage& page) const { return TZDBBTreePage(page, keys_.EntryDataSize()); }

 private:
  enum class MergeSide : uint8_t { Left, Right };

  void Descend(int32_t session, const uint8_t* key, const uint8_t* data, TZDBKeyPath& path, TZDBPageRef& leaf);
  bool FirstEntryOfSubtree(int32_t session, int32_t pageNo, std::vector<uint8_t>& key, std::vector<uint8_t>& data);
  bool LastEntryOfSubtree(int32_t session, int32_t pageNo, std::vector<uint8_t>& key, std::vector<uint8_t>& data);
  // Where a search for the first (forward) or last entry satisfying `entry op key`
  // stands with a subtree, judged by the subtree's first and last entry compared in full:
  // its answer lies there (Enter), further on (Skip) or nowhere (Stop). Try: not judged.
  enum class SubtreeVerdict : uint8_t { Try, Enter, Skip, Stop };
  SubtreeVerdict JudgeSubtree(int32_t session, int32_t pageNo, const uint8_t* key, TZDBSearchOperator op,
                              bool forward);
  void InsertAt(int32_t session, TZDBKeyPath& path, int32_t level, int32_t position, const uint8_t* key,
                const uint8_t* data);
  void SplitRoot(int32_t session, TZDBPageRef& root, const std::vector<uint8_t>& entries, int32_t total);
  void Rebalance(int32_t session, TZDBKeyPath& path, int32_t level);
  void MergeIntoLeft(int32_t session, TZDBKeyPath& path, int32_t level, TZDBPageRef& page, TZDBPageRef& left);
  void MergeIntoRight(int32_t session, TZDBKeyPath& path, int32_t level, TZDBPageRef& page, TZDBPageRef& right);
  void DeleteParentEntry(int32_t session, TZDBKeyPath& path, int32_t level, MergeSide side);
  void CollapseRoot(int32_t session, TZDBPageRef& root);
  bool FindSatisfyingIn(int32_t session, int32_t pageNo, const uint8_t* key, TZDBSearchOperator op, bool forward,
                        TZDBKeyPath& path, int32_t depth);
  // Every page of the tree, children before their node (each page once).
  std::vector<int32_t> PagesDepthFirst(int32_t session);
  void InitializeEmptyRoot(TZDBPage& page) const;

  TZDBPageManager& pages_;
  TZDBBTreeKeyRef& keys_;
  TZDBBTreeErrorCodes codes_;
  int32_t rootPageNo_ = NoRoot;
  // The first or last entry of a subtree, compared while searching a node.
  std::vector<uint8_t> tieKey_;
  std::vector<uint8_t> tieData_;
};

}  // namespace zdb
