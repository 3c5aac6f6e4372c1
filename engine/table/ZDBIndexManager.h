// TZDBBaseIndexManager: the indexes of one open table. It owns the table's index
// definitions and the index objects opened from them, and keeps every index in step with
// the table's rows.
//
// Contract with the table data (which serialises every call under its lock):
// - insert:  RefreshTemporaryIndexes, CheckKeysFree (before the row is stored), the row
//            insertion, InsertRow;
// - update:  RefreshTemporaryIndexes, CheckKeysFree, UpdateRow(delete phase), the row
//            update, UpdateRow(insert phase) (also when the row was not written);
// - delete:  RefreshTemporaryIndexes, DeleteRow, the row deletion.
// InsertRow and UpdateRow(delete phase) check the unique keys again themselves and raise
// before any index changes, so a duplicate never leaves the indexes half updated. A
// failure of the page layer inside a per-index loop stops the loop; the session's
// transaction decides what survives.
//
// Temporary indexes are private to one session: named "TEMPORARY_INDEX_" + a braced GUID,
// kept in the temporary page store, never saved with the metadata, invisible to the
// lookups of other sessions. Their ChangeCounter tells whether the table changed without
// this manager seeing it (another process); RefreshTemporaryIndexes rebuilds them then.
// The caller commits the temporary page store after an operation that changed it.
//
// Index objects are opened on first use and live until closed, dropped or the manager
// goes. Definitions are found by ObjectID or by name (letter case ignored).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBStream.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBBTreeCheck.h"
#include "engine/index/ZDBBTreeRecordIndex.h"
#include "engine/index/ZDBIndexSearch.h"
#include "engine/index/ZDBIndexedTable.h"
#include "engine/index/ZDBNavigationRequest.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"

namespace zdb {

// What the index manager needs of its table data, beyond reading the rows.
class TZDBIndexManagerOwner : public TZDBIndexedTable {
 public:
  // The table's current field manager (null: 20044 "Pointer is nil" where keys are made).
  virtual const TZDBBaseFieldManager* IndexedFieldManager() const = 0;
  // The table's change counter (the record manager's ChangeCount).
  virtual int32_t IndexedTableChangeCount() const = 0;
  // A fresh engine-wide ObjectID (the database's object-ID counter).
  virtual int32_t NextIndexObjectID() = 0;
};

class TZDBBaseIndexManager {
 public:
  static constexpr const char* TemporaryIndexPrefix = "TEMPORARY_INDEX_";
  static constexpr int32_t NoIndex = -1;
  static constexpr const char* AscendingText = "ASC";
  static constexpr const char* CaseSensitiveText = "CASE";

  // pages: the table's page manager; temporaryPages: where temporary indexes live.
  TZDBBaseIndexManager(TZDBIndexManagerOwner& owner, TZDBPageManager& pages, TZDBPageManager& temporaryPages);
  virtual ~TZDBBaseIndexManager();
  TZDBBaseIndexManager(const TZDBBaseIndexManager&) = delete;
  TZDBBaseIndexManager& operator=(const TZDBBaseIndexManager&) = delete;

  // --- virtual operations, in slot order -----------------------------------------------
  // Replaces the definitions by the stored list (open index objects are closed).
  virtual void LoadIndexDefs(TStream& stream);
  // Writes the non-temporary definitions.
  virtual void SaveIndexDefs(TStream& stream) const;
  // Replaces the definitions by copies of another list (open index objects are closed).
  virtual void AssignIndexDefs(const TZDBIndexDefs& definitions);

  // --- definitions -----------------------------------------------------------------------
  const TZDBIndexDefs& IndexDefs() const { return definitions_; }
  // Null when no definition has the ObjectID.
  const TZDBIndexDef* FindIndexDef(int32_t objectID) const;
  // The definition of that name the session may see (other sessions' temporary indexes
  // are skipped); null when there is none.
  const TZDBIndexDef* FindIndexDefByName(std::string_view name, int32_t session) const;
  // Every column naming oldName (letter case ignored) names newName instead.
  void RenameField(std::string_view oldName, std::string_view newName);

  // --- choosing an index for a column list -------------------------------------------------
  // The first definition, in list order, that serves the columns: at least as many
  // columns, not another session's temporary index, column i on fields[i], not ascending
  // where "DESC" is asked nor descending where "ASC" is, not case-insensitive where
  // "CASE" is asked of a text field, not case-sensitive where "NO_CASE" is. NoIndex when
  // none does. 10276 / 10277 "Error - different list lengths. L1 = %d, L2 = %d" when
  // orders / cases are not as many as fields.
  int32_t FindIndexFor(const std::vector<std::string>& fields, const std::vector<std::string>& orders,
                       const std::vector<std::string>& cases, int32_t session) const;
  bool HasIndexFor(const std::vector<std::string>& fields, const std::vector<std::string>& orders,
                   const std::vector<std::string>& cases, int32_t session) const {
    return FindIndexFor(fields, orders, cases, session) != NoIndex;
  }
  // A temporary index of the cursor's session on the columns ("DESC" descends, "NO_CASE"
  // ignores case, 20 bytes indexed per column), built from the table's rows.
  int32_t CreateTemporaryIndex(const TZDBIndexCursor& cursor, const std::vector<std::string>& fields,
                               const std::vector<std::string>& orders, const std::vector<std::string>& cases);
  // FindIndexFor the cursor's session, else CreateTemporaryIndex (created = true).
  int32_t FindOrCreateIndexFor(const TZDBIndexCursor& cursor, const std::vector<std::string>& fields,
                               bool& created, const std::vector<std::string>& orders,
                               const std::vector<std::string>& cases);

  // --- index trees -----------------------------------------------------------------------
  // BuildIndex for every definition in order (cursor null: empty trees, system session).
  void BuildAllIndexes(const TZDBIndexCursor* cursor);
  // A copy of the definition with a fresh ObjectID joins the list and is built; answers
  // the ObjectID. A build that fails takes the definition out again.
  int32_t AddIndex(const TZDBIndexCursor* cursor, const TZDBIndexDef& definition);
  // Creates the tree of a listed definition and fills it from the rows; the definition
  // takes the root's page number. A failure removes the definition and is passed on.
  void BuildIndex(const TZDBIndexCursor* cursor, const TZDBIndexDef& definition);
  // The open index object, opened now if need be. 20018 "Index not found".
  TZDBBTreeRecordIndex& GetIndex(int32_t objectID);
  // Frees the open object (its pages stay).
  void CloseIndex(int32_t objectID);
  // Frees the tree's pages, closes the object and deletes the definition.
  void DropIndex(int32_t session, int32_t objectID);
  // Every temporary index the session owns, dropped (its cursors are gone).
  void DropTemporaryIndexes(int32_t session);
  // Every index dropped (the table goes).
  void DropAllIndexes(int32_t session);
  // Frees every page of the tree but the root (an empty leaf) and closes the object.
  void EmptyIndex(int32_t session, int32_t objectID);
  void EmptyAllIndexes(int32_t session);

  // --- rows ------------------------------------------------------------------------------
  // A cursor move in the order of the request's index (request.IndexID). The current row
  // is reread first; when it is gone, the move continues from its last known key.
  void GetRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                 TZDBIndexPositionCache* cache);
  // Whether the cursor's row keeps every unique key free: for an insert (original buffer
  // ignored) any entry with the key counts, for an update (isUpdate) only a key that
  // changed. Raises for the first index where the key is taken: 30319 "Primary Key
  // constraint '%s' violated. Duplicate found." / 30320 "Constraint unique '%s' violated.
  // Duplicate found." with the index's name.
  void CheckKeysFree(const TZDBIndexCursor& cursor, bool isUpdate);
  // The same test for one index, without raising (the constraint checks use it).
  bool IsKeyFree(int32_t session, int32_t objectID, const uint8_t* recordBuffer,
                 const uint8_t* oldRecordBuffer = nullptr);
  // After the row was stored: every index gets its entry, in definition order.
  void InsertRow(const TZDBIndexCursor& cursor);
  // The same for a caller that ran CheckKeysFree for the row just before storing it.
  void InsertCheckedRow(const TZDBIndexCursor& cursor);
  // Every index's UpdateEntry; call with the delete phase before the row changes and
  // without it afterwards.
  void UpdateRow(const TZDBIndexCursor& cursor, bool deletePhase);
  // Before the row is removed: it is read as stored (into a buffer of the manager's own,
  // the cursor's stays as it is) and every index loses its entry. A row that is gone
  // already (another session deleted it) changes nothing.
  void DeleteRow(const TZDBIndexCursor& cursor);
  // Rebuilds every temporary index whose ChangeCounter is not the table's; rebuilt tells
  // whether one was (the caller then commits the temporary page store).
  void RefreshTemporaryIndexes(const TZDBIndexCursor& cursor, bool& rebuilt);

  // --- integrity -------------------------------------------------------------------------
  // The B-tree check of every index the session may see, keyed by ObjectID.
  std::map<int32_t, TZDBBTreeCheckReport> CheckIndexes(int32_t session);

 private:
  TZDBPageManager& PagesFor(const TZDBIndexDef& definition) const;
  int32_t PositionOf(int32_t objectID) const;
  TZDBIndexDef& DefinitionAt(int32_t objectID);
  std::unique_ptr<TZDBBTreeRecordIndex> NewIndexObject(const TZDBIndexDef& definition);
  TZDBBTreeRecordIndex& OpenIndexObject(int32_t objectID);
  void CloseAllIndexes();
  bool VisibleTo(const TZDBIndexDef& definition, int32_t session) const;
  std::string NewTemporaryIndexName() const;
  // Raises the uniqueness error of the definition.
  [[noreturn]] static void RaiseDuplicate(const TZDBIndexDef& definition);
  // An insert's key found free in one index (the constraint check), so that the check
  // before storing the same row needs no second search while nothing changed since.
  struct FreeKeyProof {
    int32_t Session;
    int32_t ObjectID;
    int32_t RootPageNo;
    int32_t TableChangeCount;
  };
  void RememberFreeKey(int32_t session, const TZDBBTreeRecordIndex& index, const uint8_t* recordBuffer);
  bool ProvenFree(int32_t session, const TZDBBTreeRecordIndex& index, const uint8_t* recordBuffer) const;

  TZDBIndexManagerOwner& owner_;
  TZDBPageManager& pages_;
  TZDBPageManager& temporaryPages_;
  TZDBIndexDefs definitions_;
  std::map<int32_t, std::unique_ptr<TZDBBTreeRecordIndex>> openIndexes_;
  bool rebuildingTemporaryIndexes_ = false;
  std::vector<uint8_t> rowBuffer_;
  std::vector<FreeKeyProof> freeKeys_;
  std::vector<uint8_t> freeKeysRow_;  // the row they hold for
};

}  // namespace zdb
