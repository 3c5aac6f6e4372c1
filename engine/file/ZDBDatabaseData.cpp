#include "engine/file/ZDBDatabaseData.h"

#include <algorithm>

#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBTableListFile.h"

namespace zdb {

TZDBDatabaseData::TZDBDatabaseData(std::string fileName) : fileName_(std::move(fileName)) {}

TZDBDatabaseData::~TZDBDatabaseData() = default;

void TZDBDatabaseData::AddSession(TZDBSessionConnection& session) {
  Guard guard(lock_);
  if (!HasSession(session)) sessions_.push_back(&session);
}

void TZDBDatabaseData::RemoveSession(TZDBSessionConnection& session) {
  Guard guard(lock_);
  UnlistSession(session);
}

bool TZDBDatabaseData::FreeIfUnused() { return TZDBDatabaseDataRegistry::Instance().FreeIfUnused(*this); }

void TZDBDatabaseData::GetTableNames(std::vector<std::string>& /*list*/) {}

void TZDBDatabaseData::CreateDatabase() {}

TZDBBaseTableData* TZDBDatabaseData::FindTableData(std::string_view tableName) {
  Guard guard(lock_);
  for (const auto& tableData : tableData_)
    if (TZDBTableListFile::SameName(tableData->TableName(), tableName)) return tableData.get();
  return nullptr;
}

TZDBBaseTableData& TZDBDatabaseData::GetTableData(std::string_view tableName) {
  Guard guard(lock_);
  if (TZDBBaseTableData* found = FindTableData(tableName)) return *found;
  return CreateTableData(tableName);
}

void TZDBDatabaseData::Commit(int32_t session, bool /*flush*/) {
  Guard guard(lock_);
  if (pageManager_) pageManager_->ApplyChanges(session);
}

bool TZDBDatabaseData::HasSessionChanges(int32_t session) const {
  return pageManager_ != nullptr && pageManager_->HasSessionChanges(session);
}

void TZDBDatabaseData::Rollback(int32_t session) {
  Guard guard(lock_);
  if (pageManager_) pageManager_->CancelChanges(session);
  for (const auto& tableData : tableData_) tableData->AfterRollback(session);
}

void TZDBDatabaseData::FlushBuffers() {}

bool TZDBDatabaseData::TableExists(std::string_view tableName) {
  Guard guard(lock_);
  std::vector<std::string> names;
  GetTableNames(names);
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& name) { return TZDBTableListFile::SameName(name, tableName); });
}

void TZDBDatabaseData::FreeTableData(TZDBBaseTableData& tableData) {
  Guard guard(lock_);
  std::erase_if(tableData_, [&](const auto& owned) { return owned.get() == &tableData; });
}

bool TZDBDatabaseData::HasSession(const TZDBSessionConnection& session) const {
  return std::find(sessions_.begin(), sessions_.end(), &session) != sessions_.end();
}

TZDBBaseTableData& TZDBDatabaseData::AdoptTableData(std::unique_ptr<TZDBBaseTableData> tableData) {
  Guard guard(lock_);
  tableData_.push_back(std::move(tableData));
  return *tableData_.back();
}

void TZDBDatabaseData::UnlistSession(const TZDBSessionConnection& session) {
  std::erase(sessions_, &session);
}

}  // namespace zdb
