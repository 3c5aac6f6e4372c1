// The open table, its fields, reading rows, and adding rows.
#include "engine/dataset/ZDBTableRows.h"

#include <stdexcept>
#include <vector>

#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBTableRowsState.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBFieldText.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBIndexManager.h"

namespace zdb {
namespace {

const TZDBFieldDefs& FieldDefsOf(const TZDBDiskTableData& data) { return data.FieldManager()->FieldDefs(); }

}  // namespace

TZDBTableRows::TZDBTableRows(TZDBDatabase& database, const std::string& tableName)
    : state_(std::make_unique<TState>(*database.DatabaseData(), *database.Handle(), tableName)) {}

TZDBTableRows::~TZDBTableRows() = default;

int64_t TZDBTableRows::RowCount() { return state_->Data().GetRecordCount(state_->cursor); }

int32_t TZDBTableRows::FieldCount() const { return FieldDefsOf(state_->Data()).Count(); }

int32_t TZDBTableRows::FieldNumber(const std::string& name) const {
  return FieldDefsOf(state_->Data()).IndexOfName(name);
}

bool TZDBTableRows::HasTextForm(int32_t fieldNo) const {
  return zdb::HasTextForm(FieldDefsOf(state_->Data()).Items(fieldNo));
}

bool TZDBTableRows::HasDumpForm(int32_t fieldNo) const {
  return zdb::HasDumpForm(FieldDefsOf(state_->Data()).Items(fieldNo));
}

bool TZDBTableRows::IsLargeValue(int32_t fieldNo) const { return FieldDefsOf(state_->Data()).Items(fieldNo).IsBlob(); }

std::string TZDBTableRows::CanonicalText(int32_t fieldNo, std::string_view text) const {
  const TZDBFieldDefs& fields = FieldDefsOf(state_->Data());
  std::vector<uint8_t> probe(static_cast<size_t>(state_->Data().RecordBufferSize()), 0);
  state_->Data().FieldManager()->InitRecordBuffer(probe.data());
  SetFieldFromText(fields, fieldNo, text, probe.data());
  return FieldAsText(fields, fieldNo, probe.data());
}

bool TZDBTableRows::UseIndex(const std::string& indexName) {
  const TZDBIndexDef* index = state_->Data().IndexManager()->FindIndexDefByName(indexName, state_->cursor.SessionID());
  if (index == nullptr) return false;
  state_->cursor.SetIndexID(index->ObjectID());
  return true;
}

void TZDBTableRows::ToBegin() { state_->cursor.SetToBegin(); }

TZDBRowRead TZDBTableRows::Next() {
  const uint8_t result = state_->Data().GetRecord(state_->cursor, grmNext);
  if (result == grOK) return TZDBRowRead::Row;
  return result == grEOF ? TZDBRowRead::End : TZDBRowRead::Failed;
}

std::string TZDBTableRows::FieldText(int32_t fieldNo) const {
  return FieldAsText(FieldDefsOf(state_->Data()), fieldNo, state_->cursor.RecordBuffer());
}

std::string TZDBTableRows::FieldDumpText(int32_t fieldNo) {
  return zdb::FieldDumpText(state_->Data(), state_->cursor, fieldNo);
}

void TZDBTableRows::MarkRow() { state_->mark = state_->cursor.RecordID(); }

bool TZDBTableRows::ReturnToMarkedRow() {
  state_->cursor.SetPosition(state_->mark);
  return state_->Data().GetRecord(state_->cursor, grmCurrent) == grOK;
}

void TZDBTableRows::DeferCommits() { state_->cursor.SetDeferCommit(true); }

struct TZDBTableRows::TWriteLock::TState {
  explicit TState(TZDBTableRows& rows) : lock(rows.state_->Data(), rows.state_->cursor) {}
  TZDBTableWriteLock lock;
};

TZDBTableRows::TWriteLock::TWriteLock(TZDBTableRows& rows) : state_(std::make_unique<TState>(rows)) {}

TZDBTableRows::TWriteLock::~TWriteLock() = default;

void TZDBTableRows::ReloadCounters() { state_->Data().ReloadMostUpdated(state_->cursor.SessionID()); }

void TZDBTableRows::NewRow() {
  TZDBTableFieldManager& fields = *state_->Data().FieldManager();
  uint8_t* row = state_->cursor.MutableRecordBuffer();
  fields.InitRecordBuffer(row);
  fields.ApplyDefaults(row);
}

void TZDBTableRows::FillRow(const std::vector<int32_t>& columns, const std::vector<std::string>& texts) {
  if (texts.size() != columns.size()) throw std::invalid_argument("FillRow takes one text for each column");
  TZDBTableFieldManager& fields = *state_->Data().FieldManager();
  uint8_t* row = state_->cursor.MutableRecordBuffer();
  for (size_t i = 0; i < columns.size(); ++i) SetFieldFromText(fields.FieldDefs(), columns[i], texts[i], row);
  fields.AssignAutoincValues(state_->cursor.Session(), row);
  state_->Data().CheckConstraints(state_->cursor.SessionID(), row, true, true, {}, true, nullptr);
}

bool TZDBTableRows::Insert() { return state_->Data().InsertRecord(state_->cursor); }

void TZDBTableRows::Commit() { state_->Data().Commit(state_->cursor.SessionID(), false); }

void TZDBTableRows::Rollback() { state_->Data().Rollback(state_->cursor.SessionID(), false); }

void TZDBTableRows::Close() { state_->table.Close(); }

}  // namespace zdb
