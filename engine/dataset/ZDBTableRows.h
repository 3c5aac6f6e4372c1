// One table open through a connected database component, as one more cursor of its
// session, for a client that moves rows as text (the zdb tool's load, dump and large-value
// commands) and sees no engine internals: the table's definitions and row count, its rows
// read in physical or index order with their fields as text (ZDBFieldText.h has the
// forms), new rows from text, and a row's large value read and stored whole. Names are
// the engine's single-byte text, values UTF-8. The engine's errors pass; field texts that
// are no value of their field raise std::runtime_error "field 'any': ...".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset/ZDBTableDefinitions.h"

namespace zdb {

class TZDBDatabase;

enum class TZDBRowRead { Row, End, Failed };

// The table is open from construction to Close or destruction; the cursor stands before
// the first row.
class TZDBTableRows {
 public:
  TZDBTableRows(TZDBDatabase& database, const std::string& tableName);
  ~TZDBTableRows();
  TZDBTableRows(const TZDBTableRows&) = delete;
  TZDBTableRows& operator=(const TZDBTableRows&) = delete;

  TZDBTableDefinitions Definitions() const;
  int64_t RowCount();

  // --- fields ----------------------------------------------------------------------------
  int32_t FieldCount() const;
  // -1 when the table has no such field.
  int32_t FieldNumber(const std::string& name) const;
  // Whether the field's values can be moved as text; whether a dump can show it (a text
  // form or a large value); whether it holds a large value (BLOB, MEMO, WIDEMEMO).
  bool HasTextForm(int32_t fieldNo) const;
  bool HasDumpForm(int32_t fieldNo) const;
  bool IsLargeValue(int32_t fieldNo) const;
  // The text as the field writes it back, so that "2024" and "02024" compare equal.
  std::string CanonicalText(int32_t fieldNo, std::string_view text) const;

  // --- reading ---------------------------------------------------------------------------
  // Rows in the index's order from now on; false when the table has no such index.
  bool UseIndex(const std::string& indexName);
  void ToBegin();
  // The next row; Failed when the table could not be read on (locked or damaged).
  TZDBRowRead Next();
  // The current row's field: its text, empty for NULL (a field without a text form
  // raises); as a dump shows it (a large value by its size and first bytes).
  std::string FieldText(int32_t fieldNo) const;
  std::string FieldDumpText(int32_t fieldNo);
  // Remembers the current row; reads the remembered row again and stands on it (false
  // when it cannot be read).
  void MarkRow();
  bool ReturnToMarkedRow();

  // --- large values of the current row -----------------------------------------------------
  // Hands the value to sink piece by piece; false when a read came up short.
  bool ReadLargeValue(int32_t fieldNo, const std::function<void(const char* data, int64_t size)>& sink);
  // Makes value (empty: NULL) the field's value and posts the row; the post refuses it
  // when another program changed the row since it was read. False when the value could
  // not be written whole (nothing is posted then).
  bool StoreLargeValue(int32_t fieldNo, const std::vector<char>& value);

  // --- adding rows --------------------------------------------------------------------------
  // From now on rows wait for Commit.
  void DeferCommits();
  // The table's write lock for the session, for the life of the object (ZDBTableAccess.h).
  class TWriteLock {
   public:
    explicit TWriteLock(TZDBTableRows& rows);
    ~TWriteLock();
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;

   private:
    struct TState;
    std::unique_ptr<TState> state_;
  };
  // The counters as the file holds them, before a run of inserts under the write lock.
  void ReloadCounters();
  // A new row: empty, with the fields' defaults.
  void NewRow();
  // The texts into the fields of the new row (texts[i] into field columns[i]), then its
  // automatic values and the check of its constraints. std::invalid_argument when the
  // counts differ.
  void FillRow(const std::vector<int32_t>& columns, const std::vector<std::string>& texts);
  // Inserts the new row; false when it was refused without an error.
  bool Insert();
  void Commit();
  // The session's uncommitted changes go.
  void Rollback();

  void Close();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

}  // namespace zdb
