#include "engine/dataset/ZDBLocalSession.h"

#include <mutex>
#include <utility>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBComponentErrors.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "platform/os/File.h"

namespace zdb {
namespace {

// Whether the open object's file is encrypted under another password than the one given.
bool OpenUnderOtherPassword(TZDBDiskDatabaseData& data, const TZDBPassword& password) {
  std::lock_guard<os::CriticalSection> guard(data.CriticalSection());
  const TZDBDiskPageManager* pages = data.DiskPageManager();
  return pages != nullptr && pages->Header().IsEncrypted() && data.Password().Password != password.Password;
}

}  // namespace

TZDBLocalSession::TZDBLocalSession(TZDBConnectionSettings settings) : settings_(std::move(settings)) {}

TZDBLocalSession::~TZDBLocalSession() {
  try {
    Disconnect();
  } catch (...) {  // a destructor cannot report; the handle is disconnected all the same
  }
}

TZDBDiskDatabaseData& TZDBLocalSession::RequireData() const {
  if (data_ == nullptr) RaiseDatabaseError(ClosedDatabaseText);
  return *data_;
}

void TZDBLocalSession::Connect() {
  if (IsConnected()) return;
  TZDBDatabaseDataRegistry& registry = TZDBDatabaseDataRegistry::Instance();
  if (TZDBDiskDatabaseData* open = registry.Find(settings_.FileName))
    if (OpenUnderOtherPassword(*open, settings_.Password))
      RaiseError(errors::PasswordInvalid);

  connection_ = TZDBSessionConnection{};
  connection_.MultiUser = settings_.MultiUser;
  connection_.Exclusive = settings_.Exclusive;
  connection_.ReadOnly = settings_.ReadOnly;
  connection_.Password = settings_.Password;
  // A file this process cannot write opens read-only, in the mode asked for: others may
  // write it. Asking for read-only at once lets a second connection join the first.
  if (!connection_.ReadOnly && settings_.FileSystem->IsReadOnly(settings_.FileName)) connection_.ReadOnly = true;
  TZDBDiskDatabaseData& data = registry.Connect(settings_.FileName, connection_, *settings_.FileSystem);

  std::lock_guard<os::CriticalSection> guard(data.CriticalSection());
  const TZDBFileHeader& header = data.DiskPageManager()->Header();
  settings_.ReadOnly = connection_.ReadOnly;
  settings_.MultiUser = connection_.MultiUser;
  // The file's own password record: a plain file has none, whatever was typed.
  if (header.IsEncrypted())
    settings_.Password = {data.Password().Password, data.DiskPageManager()->EncryptionRecord().CipherCode};
  else
    settings_.Password = {};
  settings_.PageSize = data.PageSize();
  settings_.PagesPerExtent = data.PagesPerExtent();
  settings_.MaxConnections = data.SlotCount();
  needsRepair_ = connection_.NeedsRepair;
  keptAsideJournal_ = connection_.KeptAsideJournal;
  fileFormatVersion_ = header.FormatVersion;
  SetSessionID(connection_.SessionID);
  data_ = &data;
}

void TZDBLocalSession::Disconnect() {
  if (!IsConnected()) return;
  TZDBDiskDatabaseData& data = *std::exchange(data_, nullptr);
  const bool inTransaction = InTransaction();
  SetInTransaction(false);
  SetSessionID(NotConnected);
  // Pages the session never committed would stay behind in a cache that others share
  // (and keep the file from closing).
  if (inTransaction) {
    try {
      data.Rollback(connection_.SessionID);
    } catch (...) {  // leaving matters more; the pages go with the file at the latest
    }
  }
  TZDBDatabaseDataRegistry::Instance().Disconnect(data, connection_);
}

bool TZDBLocalSession::RepairMode() const {
  TZDBDiskDatabaseData& data = RequireData();
  std::lock_guard<os::CriticalSection> guard(data.CriticalSection());
  return data.DiskPageManager()->FreeSpaceManager().RepairMode();
}

void TZDBLocalSession::SetRepairMode(bool value) {
  TZDBDiskDatabaseData& data = RequireData();
  std::lock_guard<os::CriticalSection> guard(data.CriticalSection());
  data.DiskPageManager()->FreeSpaceManager().SetRepairMode(value);
}

void TZDBLocalSession::CreateDatabase() {
  if (TZDBDatabaseDataRegistry::Instance().Find(settings_.FileName) != nullptr)
    RaiseError(errors::DatabaseAlreadyOpen);
  TZDBDiskDatabaseData creator(settings_.FileName, *settings_.FileSystem);
  creator.SetPassword(settings_.Password);
  creator.SetSlotCount(settings_.MaxConnections);
  creator.SetPageSize(settings_.PageSize);
  creator.SetPagesPerExtent(settings_.PagesPerExtent);
  creator.CreateDatabase();
}

bool TZDBLocalSession::TableExists(std::string_view tableName) { return RequireData().TableExists(tableName); }

void TZDBLocalSession::GetTableNames(std::vector<std::string>& list) { RequireData().GetTableNames(list); }

void TZDBLocalSession::StartTransaction() {
  RequireData();
  SetInTransaction(true);
}

void TZDBLocalSession::Commit(bool flush) {
  TZDBDatabaseData& data = RequireData();
  try {
    data.Commit(SessionID(), flush);
  } catch (...) {
    // A transaction the failed commit rolled back is over; one it kept may be committed
    // again or rolled back.
    if (!data.HasSessionChanges(SessionID())) SetInTransaction(false);
    throw;
  }
  SetInTransaction(false);
}

void TZDBLocalSession::Rollback() {
  RequireData().Rollback(SessionID());
  SetInTransaction(false);
}

}  // namespace zdb
