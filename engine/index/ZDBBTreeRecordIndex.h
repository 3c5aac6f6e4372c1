// TZDBBTreeRecordIndex: a table index kept as a B-tree of (key, RecordID) entries, one per
// row, in pages of its page manager (the table's, or the temporary store of a private
// index).
//
// Contract: the table layer keeps the index in step with the rows: InsertEntry after a
// row is stored, DeleteEntry before it is removed (the cursor's buffer holding the row as
// stored), UpdateEntry with the delete phase before the row changes and without it after.
// Keys of truncated text columns are resolved through the table's rows, so those calls
// must come in that order. Searches use the operators =, <, >, <=, >= on the leading
// columns of a condition; moves in index order step along the leaves, and a cursor's
// position cache lets consecutive moves skip the search while the table's change counter
// stands still.
//
// Error codes for an index without root (RootPageNo -1), all "Invalid page number":
// DropIndexTree 20119, EmptyIndexTree 20120, InsertEntry 20121, DeleteEntry 20122,
// GetRecord 20123, GetRecNo 20124, GetRecordAtRecNo 20125, IsKeyFree 20126, the other
// operations that read the tree 20127, GetNearbyRecord 20293.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBBTree.h"
#include "engine/index/ZDBBTreeCheck.h"
#include "engine/index/ZDBIndex.h"
#include "engine/index/ZDBRecordKeyRef.h"

namespace zdb {

class TZDBBTreeRecordIndex : public TZDBIndex {
 public:
  // pages: where the index's pages live; table: the rows it indexes.
  TZDBBTreeRecordIndex(TZDBPageManager& pages, TZDBIndexedTable& table);

  void CreateIndexTree(const TZDBIndexCursor* cursor, TZDBIndexKeyDef& definition) override;
  void DropIndexTree(int32_t session) override;
  void EmptyIndexTree(int32_t session) override;
  void OpenIndex(const TZDBIndexKeyDef& definition) override;
  void RebuildIndex(const TZDBIndexCursor& cursor) override;
  // Mode next or prior (grmCurrent: 20053). Before-first / after-last start from the
  // first / last entry; otherwise from the current row's path (the cache's, when it
  // belongs to this index, row and change counter). Results: 0 moved (row read, flags
  // cleared, cache set), 1 / 2 no move (BeforeFirst / AfterLast set), 3 row not indexed.
  void GetRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                 TZDBIndexPositionCache* cache) override;
  // Whether the cache holds the path of the request's row in this index as of that change
  // counter, so that a move needs neither the row nor a search.
  bool HasCachedPath(const TZDBNavigationRequest& request, int32_t changeCounter,
                     const TZDBIndexPositionCache* cache) const;
  // Next: the first entry whose key is greater than the buffer's; prior: the last one
  // whose key is less. Results as GetRecord.
  void GetNearbyRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                       TZDBIndexPositionCache* cache) override;
  TZDBKeyPath NewKeyPath() override { return TZDBKeyPath(); }
  // The buffer holds the row's current values (without one the row is read).
  bool FindRecordPath(int32_t session, const TZDBRecordID& recordID, TZDBKeyPath& path,
                      const uint8_t* recordBuffer) override;
  int ComparePaths(const TZDBKeyPath* a, const TZDBKeyPath* b) override;
  int64_t GetRecNo(int32_t session, const TZDBRecordID& recordID, const uint8_t* recordBuffer) override;
  // 20074 on an empty index, 20075 past the last entry; a position below 1 gives the
  // first entry.
  void GetRecordAtRecNo(int32_t session, TZDBRecordID& recordID, int64_t recNo) override;
  void MarkDistinct(int32_t session, TZDBRecordMarks* marks, int32_t columnCount) override;
  TZDBIndexSearchState NewSearchState() override { return TZDBIndexSearchState(); }
  // A scan: a restart yields the first (forward) or last (backward) entry that satisfies
  // the condition; later calls the entry after (before) the caller's current row, never
  // past the end condition (or the condition itself when there is none). 20077 without
  // a state, 20078 for a restart of a started state.
  bool FindNextMatch(int32_t session, bool restart, TZDBIndexSearchState* state, TZDBRecordID& recordID,
                     const uint8_t* recordBuffer, const TZDBIndexKeyCondition* endCondition,
                     const TZDBIndexKeyCondition* condition, bool forward) override;
  int CompareRows(const uint8_t* a, const uint8_t* b, int32_t columnCount) override;
  int CompareConditions(const TZDBIndexKeyCondition& a, const TZDBIndexKeyCondition& b) override;
  int64_t EstimateCount(int32_t session, const TZDBIndexKeyCondition& a, const TZDBIndexKeyCondition& b,
                        int64_t rowCount) override;
  bool IsKeyFree(int32_t session, const uint8_t* recordBuffer) override;
  bool IsNewKeyFree(int32_t session, const uint8_t* oldRecordBuffer, const uint8_t* newRecordBuffer) override;
  // 20028 "Index integrity error" when the row already has its entry.
  void InsertEntry(const TZDBIndexCursor& cursor) override;
  // 20027 when the row has no entry.
  void DeleteEntry(const TZDBIndexCursor& cursor) override;
  // 20250 when the delete phase finds no entry.
  void UpdateEntry(const TZDBIndexCursor& cursor, bool deletePhase) override;
  std::pair<int32_t, int32_t> PathBase() override;
  void GetRecordAtPath(int32_t session, const TZDBKeyPath& path, TZDBRecordID& recordID) override;

  // The first (forward) or last (backward) entry satisfying the condition.
  bool FindCondition(int32_t session, const TZDBIndexKeyCondition& condition, bool forward, TZDBKeyPath& path);
  bool FirstEntry(int32_t session, TZDBKeyPath& path) { return tree_.FirstEntry(session, path); }
  bool LastEntry(int32_t session, TZDBKeyPath& path) { return tree_.LastEntry(session, path); }
  bool NextEntry(int32_t session, TZDBKeyPath& path) { return tree_.NextEntry(session, path); }
  bool PriorEntry(int32_t session, TZDBKeyPath& path) { return tree_.PriorEntry(session, path); }
  // The RecordID of the entry a path ends at.
  TZDBRecordID RecordIDAt(int32_t session, const TZDBKeyPath& path);

  // The integrity check of this index's tree (resolve: read rows to order truncated keys).
  TZDBBTreeCheckReport Check(int32_t session, bool resolve = true);

  TZDBRecordKeyRef& KeyRef() { return keys_; }
  TZDBBTree& Tree() { return tree_; }
  int32_t RootPageNo() const { return tree_.RootPageNo(); }

 private:
  void PrepareKeys();
  void RequireRoot(const TZDBError& code) const;
  // The page key of a row, in the index's key buffer.
  const uint8_t* BuildKey(const uint8_t* recordBuffer);
  void InsertRow(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID);
  bool RemoveRow(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID);
  // A move succeeded: the request gets the entry's row, the cache the path.
  void CompleteMove(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                    TZDBIndexPositionCache* cache, const TZDBKeyPath& path);
  // A move found nothing further in the request's direction.
  static void EndReached(TZDBNavigationRequest& request);
  // One step of GetRecord from the row's path, which moves with it.
  void MoveAlong(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                 TZDBIndexPositionCache* cache, TZDBKeyPath& path);

  TZDBPageManager& pages_;
  TZDBIndexedTable& table_;
  TZDBRecordKeyRef keys_;
  TZDBBTree tree_;
  std::vector<uint8_t> keyBuffer_;
  std::vector<uint8_t> rowBuffer_;
  std::vector<uint8_t> fullKeyA_;
  std::vector<uint8_t> fullKeyB_;
};

}  // namespace zdb
