// TZDBIndex: the operations every index of a table offers to the index manager, in the
// order of their slots. TZDBBTreeRecordIndex implements them for B-tree indexes.
//
// An index keeps its own copy of its definition, reduced to what the index layer needs:
// the table layer resolves the definition's columns against the table's fields
// (TZDBKeyColumnSource) before handing it down. Key paths and search states are values
// owned by their callers: NewKeyPath and NewSearchState hand out fresh ones, and nothing
// needs freeing.
//
// Every operation gets the caller's session and passes it on to the page manager.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/index/ZDBIndexSearch.h"
#include "engine/index/ZDBIndexedTable.h"
#include "engine/index/ZDBKeyPath.h"
#include "engine/index/ZDBNavigationRequest.h"
#include "engine/index/ZDBRecordID.h"
#include "engine/index/ZDBRecordKeyRef.h"

namespace zdb {

// What an index object knows of its definition.
struct TZDBIndexKeyDef {
  static constexpr int32_t NoRootPageNo = -1;

  std::string Name;
  int32_t ObjectID = -1;
  bool Unique = false;
  bool Primary = false;
  int32_t RootPageNo = NoRootPageNo;
  std::vector<TZDBKeyColumnSource> Columns;

  // Unique and Primary indexes refuse a second row with an equal key.
  bool EnforcesUniqueness() const { return Unique || Primary; }
};

class TZDBIndex {
 public:
  TZDBIndex() = default;
  virtual ~TZDBIndex() = default;
  TZDBIndex(const TZDBIndex&) = delete;
  TZDBIndex& operator=(const TZDBIndex&) = delete;

  const TZDBIndexKeyDef& Definition() const { return definition_; }

  // Copies the definition, prepares the keys, creates the root and fills the index from
  // the table's rows (read for the cursor's session; without cursor the system session
  // creates an empty index). The root's page number is written into both definitions.
  // Base: copies the definition.
  virtual void CreateIndexTree(const TZDBIndexCursor* cursor, TZDBIndexKeyDef& definition);
  // Frees every page of the index, root included.
  virtual void DropIndexTree(int32_t session) = 0;
  // Frees every page but the root, which becomes an empty leaf.
  virtual void EmptyIndexTree(int32_t session) = 0;
  // Copies the definition and prepares the keys; no page is read. Base: copies it.
  virtual void OpenIndex(const TZDBIndexKeyDef& definition);
  // DropIndexTree, then CreateIndexTree with the cursor and the own definition.
  virtual void RebuildIndex(const TZDBIndexCursor& cursor) = 0;
  // The cursor's first, last, next and prior row in index order.
  virtual void GetRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                         TZDBIndexPositionCache* cache) = 0;
  // Next or prior by key of a row that is gone; the request's buffer holds its last values.
  virtual void GetNearbyRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                               TZDBIndexPositionCache* cache) = 0;
  virtual TZDBKeyPath NewKeyPath() = 0;
  // The path of the row's entry; false when the index has none.
  virtual bool FindRecordPath(int32_t session, const TZDBRecordID& recordID, TZDBKeyPath& path,
                              const uint8_t* recordBuffer) = 0;
  // 10384 / 10385 "Nil pointer occured" without a path.
  virtual int ComparePaths(const TZDBKeyPath* a, const TZDBKeyPath* b) = 0;
  // 1-based position of the row in index order, or -1.
  virtual int64_t GetRecNo(int32_t session, const TZDBRecordID& recordID, const uint8_t* recordBuffer) = 0;
  virtual void GetRecordAtRecNo(int32_t session, TZDBRecordID& recordID, int64_t recNo) = 0;
  // Keeps the mark only on the first marked row of each run of equal keys.
  virtual void MarkDistinct(int32_t session, TZDBRecordMarks* marks, int32_t columnCount) = 0;
  virtual TZDBIndexSearchState NewSearchState() = 0;
  // The next row of a scan; see TZDBBTreeRecordIndex.
  virtual bool FindNextMatch(int32_t session, bool restart, TZDBIndexSearchState* state, TZDBRecordID& recordID,
                             const uint8_t* recordBuffer, const TZDBIndexKeyCondition* endCondition,
                             const TZDBIndexKeyCondition* condition, bool forward) = 0;
  virtual int CompareRows(const uint8_t* a, const uint8_t* b, int32_t columnCount) = 0;
  virtual int CompareConditions(const TZDBIndexKeyCondition& a, const TZDBIndexKeyCondition& b) = 0;
  // Rows between two conditions, estimated from the relative positions of their entries.
  virtual int64_t EstimateCount(int32_t session, const TZDBIndexKeyCondition& a, const TZDBIndexKeyCondition& b,
                                int64_t rowCount) = 0;
  virtual bool IsKeyFree(int32_t session, const uint8_t* recordBuffer) = 0;
  virtual bool IsNewKeyFree(int32_t session, const uint8_t* oldRecordBuffer, const uint8_t* newRecordBuffer) = 0;
  virtual void InsertEntry(const TZDBIndexCursor& cursor) = 0;
  virtual void DeleteEntry(const TZDBIndexCursor& cursor) = 0;
  virtual void UpdateEntry(const TZDBIndexCursor& cursor, bool deletePhase) = 0;
  // (PageDataSize div (KeySize + 4), PageDataSize mod (KeySize + 4)).
  virtual std::pair<int32_t, int32_t> PathBase() = 0;
  virtual void GetRecordAtPath(int32_t session, const TZDBKeyPath& path, TZDBRecordID& recordID) = 0;

 protected:
  TZDBIndexKeyDef& MutableDefinition() { return definition_; }

 private:
  TZDBIndexKeyDef definition_;
};

}  // namespace zdb
