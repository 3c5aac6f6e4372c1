// A page-number tree: a B-tree (page layout and algorithms of the table indexes) keyed by
// page number, with one 16-bit value per page. The record manager keeps in one how many
// rows each record page holds, the BLOB manager how many bytes each BLOB page uses.
//
// Contract: each page number occurs at most once; entries are in ascending page number.
// A page whose value drops to 0 leaves the tree. What "room" means is the descendant's
// business (HasRoom). The root page number never changes between CreateTree (or
// SetRoot) and DropTree; its owner stores it.
//
// No lock of its own: the table data serialises every call.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBBTree.h"
#include "engine/index/ZDBKeyPath.h"
#include "engine/index/ZDBPageKeyRef.h"

namespace zdb {

class TZDBBTreePageIndex {
 public:
  static constexpr int32_t NoRoot = TZDBBTree::NoRoot;
  // What SubtractAmount takes as new value to subtract the amount from the current one.
  static constexpr int32_t SubtractFromValue = -1;

  explicit TZDBBTreePageIndex(TZDBPageManager& pages);
  virtual ~TZDBBTreePageIndex() = default;
  TZDBBTreePageIndex(const TZDBBTreePageIndex&) = delete;
  TZDBBTreePageIndex& operator=(const TZDBBTreePageIndex&) = delete;

  // Whether a page whose value is `value` can take `amount` more.
  virtual bool HasRoom(uint16_t value, int32_t amount) const = 0;

  // --- the tree ------------------------------------------------------------------------
  int32_t RootPageNo() const { return tree_.RootPageNo(); }
  bool HasRoot() const { return tree_.HasRoot(); }
  // Adds the root as an empty leaf.
  void CreateTree(int32_t session);
  // Frees every page, root included; the index then has no tree. Nothing to do without one.
  void DropTree(int32_t session);
  // Frees every page but the root, which becomes an empty leaf. 20118 "Index error:
  // invalid page number" without a tree.
  void EmptyTree(int32_t session);
  // Adopts the tree whose root its owner stored (NoRoot: none).
  void SetRoot(int32_t pageNo) { tree_.SetRootPageNo(pageNo); }

  // --- positions -----------------------------------------------------------------------
  // False when the tree is empty. Without a tree: 20115 / 20116 "Index error: invalid
  // page number".
  bool FirstEntry(int32_t session, TZDBKeyPath& path);
  bool LastEntry(int32_t session, TZDBKeyPath& path);
  // One step; false (path unchanged) at the end. An empty path: 20099 / 20101 "Index
  // error: invalid position"; a broken neighbour link: 20100 / 20102 "Index error:
  // invalid page number".
  bool NextEntry(int32_t session, TZDBKeyPath& path);
  bool PriorEntry(int32_t session, TZDBKeyPath& path);
  // The entry of the page. 20117 "Index error: invalid page number" without a tree.
  bool Find(int32_t session, int32_t pageNo, TZDBKeyPath& path);
  // The value / page number of the entry the path ends at. An empty path: 20107, 20108,
  // 20103 "Index error: invalid position".
  uint16_t GetValue(int32_t session, const TZDBKeyPath& path);
  void SetValue(int32_t session, const TZDBKeyPath& path, uint16_t value);
  int32_t GetPageNo(int32_t session, const TZDBKeyPath& path);

  // --- room ------------------------------------------------------------------------------
  // A page that can take `amount` more. Only the last leaf (from its end backwards) and
  // the first leaf (from its start) are examined: the pages most likely to have room are
  // the newest ones, and a search must not read the whole tree. False when neither has
  // one (the caller then adds a page).
  bool FindPageWithRoom(int32_t session, int32_t amount, int32_t& pageNo);
  // Adds `amount` to the page's value; a page not in the tree enters with `amount`.
  // 20106 "Cannot add data item to page. Page is full" when the page has no room for it.
  void AddAmount(int32_t session, int32_t amount, int32_t pageNo);
  // Sets the page's value to newValue, or with SubtractFromValue to its value minus
  // `amount`; a value of 0 removes the page. 20110 empty tree, 20111 page not in the tree
  // ("Invalid page number"); 20112 "Index error: page is empty" when the value is smaller
  // than the amount subtracted.
  void SubtractAmount(int32_t session, int32_t amount, int32_t newValue, int32_t pageNo);

 protected:
  using LeafVisitor = std::function<bool(const TZDBBTreePage& leaf)>;
  // Visits the leaves left to right (from the given leaf, or the leftmost one) until the
  // visitor answers false. Every page is put back before the next is read.
  void ForEachLeaf(int32_t session, const LeafVisitor& visit, int32_t fromLeaf = NoRoot);
  static uint16_t ValueAt(const TZDBBTreePage& leaf, int32_t entryNo);
  static int32_t PageNoAt(const TZDBBTreePage& leaf, int32_t entryNo);
  TZDBBTree& Tree() { return tree_; }

 private:
  // Examines the entries of one leaf in the given direction.
  bool FindRoomInLeaf(int32_t session, int32_t leafPageNo, int32_t amount, bool backwards, int32_t& pageNo);

  TZDBPageKeyRef keys_;
  TZDBBTree tree_;
};

}  // namespace zdb
