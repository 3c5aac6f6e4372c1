#include "engine/dataset/ZDBDatabase.h"

#include <algorithm>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBComponentErrors.h"
#include "engine/dataset/ZDBNames.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/dataset/ZDBSession.h"
#include "engine/dataset/ZDBUserPrompts.h"
#include "engine/file/ZDBFileLayout.h"
#include "platform/os/File.h"

namespace zdb {

TZDBDatabase::TZDBDatabase(TZDBSession* session, TZDBOwner owner) : owner_(owner) {
  TZDBSession& home = session != nullptr ? *session : Sessions().DefaultSession();
  home.AddDatabase(*this);
  session_ = &home;
  sessionName_ = home.SessionName();
}

TZDBDatabase::~TZDBDatabase() {
  TZDBSessionListLock lock;
  try {
    Close();
  } catch (...) {  // a destructor cannot report; the handle is freed all the same
  }
  if (session_ != nullptr) session_->RemoveDatabase(*this);
}

// --- names ------------------------------------------------------------------------------------

void TZDBDatabase::SetDatabaseName(const std::string& databaseName) {
  TZDBSessionListLock lock;
  if (Connected()) RaiseDatabaseError(OpenDatabaseText);
  if (session_ != nullptr) CheckDuplicateName(*session_, databaseName);
  databaseName_ = databaseName;
}

void TZDBDatabase::CheckDuplicateName(TZDBSession& session, const std::string& databaseName) {
  if (databaseName.empty()) return;
  for (TZDBDatabase* other : session.Databases()) {
    if (other == this || !SameName(other->databaseName_, databaseName)) continue;
    if (handleShared_ && other->handleShared_) continue;
    if (other->temporary_ && other->userCount_ == 0) {
      session.FreeTemporary(*other);
      continue;
    }
    RaiseDatabaseError(DuplicateDatabaseNameFormat, {databaseName});
  }
}

void TZDBDatabase::SetDatabaseFileName(const std::string& fileName) {
  if (fileName == databaseFileName_) return;
  Close();
  databaseFileName_ = fileName;
}

void TZDBDatabase::SetSessionName(const std::string& sessionName) {
  TZDBSessionListLock lock;
  if (Connected()) RaiseDatabaseError(OpenDatabaseText);
  TZDBSession* target = Sessions().FindSession(sessionName);
  if (target != nullptr) CheckDuplicateName(*target, databaseName_);
  MoveToSession(target);
  sessionName_ = sessionName;
}

void TZDBDatabase::MoveToSession(TZDBSession* session) {
  if (session == session_) return;
  if (session_ != nullptr) session_->RemoveDatabase(*this);
  session_ = session;
  if (session_ != nullptr) session_->AddDatabase(*this);
}

TZDBSession& TZDBDatabase::BindToSession() {
  TZDBSession& session = Sessions().GetSession(sessionName_);
  MoveToSession(&session);
  return session;
}

// --- settings -----------------------------------------------------------------------------------

void TZDBDatabase::SetKeepConnection(bool keep) {
  keepConnection_ = keep;
  if (!keep && userCount_ == 0) Close();
}

TZDBConnectionSettings TZDBDatabase::MakeSettings() const {
  TZDBConnectionSettings settings;
  settings.DatabaseName = databaseName_;
  settings.FileName = databaseFileName_;
  settings.Password = {password_, encryptionAlgorithm_};
  settings.PageSize = pageSize_;
  settings.PagesPerExtent = pagesPerExtent_;
  settings.MaxConnections = maxConnections_;
  settings.ReadOnly = readOnly_;
  settings.Exclusive = exclusive_;
  settings.MultiUser = multiUser_;
  if (multiUser_) settings.SessionName = sessionName_;
  settings.FileSystem = fileSystem_;
  return settings;
}

// --- connect ------------------------------------------------------------------------------------

void TZDBDatabase::SetConnected(bool connected) {
  if (connected)
    Open();
  else
    Close();
}

void TZDBDatabase::Open() {
  if (Connected()) return;
  if (databaseName_.empty() && !temporary_) RaiseDatabaseError(DatabaseNameMissingText);
  TZDBSession& session = BindToSession();
  TZDBSessionLock lock(session);
  if (!handleShared_ || !ShareHandle(session)) ConnectOwnHandle();
  const TZDBConnectionSettings& file = handle_->Settings();
  readOnly_ = file.ReadOnly;
  encryptionAlgorithm_ = file.Password.CipherCode;
  pageSize_ = file.PageSize;
  pagesPerExtent_ = file.PagesPerExtent;
  maxConnections_ = file.MaxConnections;
}

bool TZDBDatabase::ShareHandle(TZDBSession& session) {
  for (TZDBDatabase* other : session.Databases()) {
    if (other == this || !other->Connected() || !other->handleShared_) continue;
    if (!SameName(other->databaseName_, databaseName_)) continue;
    handle_ = other->handle_;
    sharedHandle_ = true;
    return true;
  }
  return false;
}

void TZDBDatabase::ConnectOwnHandle() {
  // A temporary component's file name is its database name (see TZDBSession::OpenDatabase).
  if (!fileSystem_->Exists(databaseFileName_))
    RaiseDatabaseError(DatabaseFileMissingFormat, {databaseFileName_});
  bool repairOffered = false;
  for (;;) {
    auto handle = std::make_unique<TZDBLocalSession>(MakeSettings());
    try {
      handle->Connect();
    } catch (const EZDBException& error) {
      if (error.Kind() == TZDBErrorKind::WrongPassword && AskPassword()) continue;
      throw;
    }
    if (!handle->KeptAsideJournal().empty() && !silentMode_)
      UserPrompts()->ShowWarning(FormatMessage(ForeignJournalNoticeFormat, {handle->KeptAsideJournal()}));
    // Asked once per connect: a file the repair could not mend opens as it is.
    // A file this process may not write cannot be replaced by a repaired copy.
    if (handle->NeedsRepair() && !handle->Settings().ReadOnly && !repairOffered && !silentMode_ && !repairing_) {
      repairOffered = true;
      if (DecideRepair(*handle)) {
        handle.reset();
        RunRepair();
        continue;
      }
    }
    ownHandle_ = std::move(handle);
    handle_ = ownHandle_.get();
    return;
  }
}

bool TZDBDatabase::DecideRepair(const TZDBLocalSession& handle) {
  if (handle.FileFormatVersion() >= layout::MinimumFormatVersion) {
    if (OnNeedRepair) return OnNeedRepair(*this);
    return UserPrompts()->AskYesNo(RepairQuestion);
  }
  // An old format cannot be worked on in place: it is always converted.
  UserPrompts()->ShowInformation(ConversionNotice);
  return true;
}

bool TZDBDatabase::AskPassword() {
  if (OnPassword) return OnPassword(*this);
  if (silentMode_) return false;
  std::string typed;  // the prompt starts empty
  if (!UserPrompts()->AskPassword(typed)) return false;
  password_ = typed;
  return true;
}

// --- disconnect -----------------------------------------------------------------------------------

void TZDBDatabase::Close() {
  TZDBSessionListLock lock;
  if (!Connected() || disconnecting_) return;
  TZDBScopedFlag disconnecting(disconnecting_, true);
  CloseDatasets();
  if (!sharedHandle_) DisconnectSharers();
  handle_ = nullptr;
  userCount_ = 0;
  if (sharedHandle_) {
    sharedHandle_ = false;
    return;
  }
  // Freed even when giving back the session's slot fails.
  std::unique_ptr<TZDBLocalSession> handle = std::move(ownHandle_);
  handle->Disconnect();
}

void TZDBDatabase::CloseDatasets() {
  std::vector<TZDBDatabaseClient*> order;
  for (TZDBDatabaseClient* dataset : datasets_)
    if (dataset->IsQuery()) order.push_back(dataset);
  for (auto dataset = datasets_.rbegin(); dataset != datasets_.rend(); ++dataset)
    if (!(*dataset)->IsQuery()) order.push_back(*dataset);
  for (TZDBDatabaseClient* dataset : order)
    // A dataset closed by another one's close has left the list already.
    if (std::find(datasets_.begin(), datasets_.end(), dataset) != datasets_.end()) dataset->CloseForDisconnect();
}

void TZDBDatabase::DisconnectSharers() {
  // Components that share this handle cannot keep it once it is freed.
  if (session_ == nullptr) return;
  for (TZDBDatabase* other : session_->Databases())
    if (other != this && other->sharedHandle_ && other->handle_ == handle_) other->Close();
}

TZDBDiskDatabaseData* TZDBDatabase::DatabaseData() const {
  return handle_ != nullptr ? handle_->DatabaseData() : nullptr;
}

int32_t TZDBDatabase::SessionID() const {
  return handle_ != nullptr ? handle_->SessionID() : TZDBBaseSession::NotConnected;
}

// --- datasets -------------------------------------------------------------------------------------

void TZDBDatabase::AttachDataset(TZDBDatabaseClient& dataset) {
  TZDBSessionListLock lock;
  if (std::find(datasets_.begin(), datasets_.end(), &dataset) == datasets_.end()) datasets_.push_back(&dataset);
}

void TZDBDatabase::DetachDataset(TZDBDatabaseClient& dataset) {
  TZDBSessionListLock lock;
  std::erase(datasets_, &dataset);
}

// --- operations -----------------------------------------------------------------------------------

bool TZDBDatabase::TableExists(std::string_view tableName) {
  Open();
  return handle_->TableExists(tableName);
}

void TZDBDatabase::GetTableNames(std::vector<std::string>& list) {
  const bool wasConnected = Connected();
  std::vector<std::string> names;
  try {
    Open();
    handle_->GetTableNames(names);
  } catch (...) {
    names.clear();
  }
  if (!wasConnected) {
    try {
      Close();
    } catch (...) {  // the names were read; a failed release does not make them wrong
    }
  }
  list.insert(list.end(), names.begin(), names.end());
}

bool TZDBDatabase::InTransaction() const { return handle_ != nullptr && handle_->InTransaction(); }

void TZDBDatabase::StartTransaction() {
  if (!Connected()) RaiseDatabaseError(ClosedDatabaseText);
  if (handle_->InTransaction()) RaiseDatabaseError(AlreadyInTransactionText);
  handle_->StartTransaction();
}

void TZDBDatabase::Commit(bool flush) {
  if (!Connected()) RaiseDatabaseError(ClosedDatabaseText);
  if (!handle_->InTransaction())
    RaiseError(errors::NotInTransaction);
  handle_->Commit(flush);
}

void TZDBDatabase::Rollback() {
  if (!Connected()) RaiseDatabaseError(ClosedDatabaseText);
  if (!handle_->InTransaction())
    RaiseError(errors::NotInTransaction);
  handle_->Rollback();
}

void TZDBDatabase::CreateDatabase() {
  if (Connected()) RaiseDatabaseError(OpenDatabaseText);
  TZDBSessionListLock lock;
  TZDBLocalSession(MakeSettings()).CreateDatabase();
}

void TZDBDatabase::DeleteDatabase() {
  if (Connected()) RaiseDatabaseError(OpenDatabaseText);
  TZDBSessionListLock lock;
  os::FileSystem& fileSystem = *fileSystem_;
  if (!fileSystem.Exists(databaseFileName_)) RaiseDatabaseError(DatabaseFileMissingFormat, {databaseFileName_});
  uint32_t error = 0;
  if (!fileSystem.Delete(databaseFileName_, error)) RaiseDatabaseError(DeleteDatabaseFormat, {databaseFileName_});
}

bool TZDBDatabase::Repair() {
  if (Connected()) RaiseDatabaseError(OpenDatabaseText);
  TZDBSessionListLock lock;
  if (!fileSystem_->Exists(databaseFileName_))
    RaiseDatabaseError(DatabaseFileMissingFormat, {databaseFileName_});
  BindToSession();
  return RunRepair();
}

}  // namespace zdb
