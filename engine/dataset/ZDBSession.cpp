#include "engine/dataset/ZDBSession.h"

#include <algorithm>
#include <exception>

#include "engine/dataset/ZDBComponentErrors.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBNames.h"

namespace zdb {

TZDBSession::TZDBSession(TZDBOwner owner) : owner_(owner) {
  TZDBSessionList& list = Sessions();
  if (owner_ != nullptr) {
    for (TZDBSession* other : list.List())
      if (other->owner_ == owner_ && other->autoSessionName_)
        RaiseDatabaseError(AutoSessionNameOwnerFormat, {other->sessionName_});
  }
  list.Add(*this);
}

TZDBSession::TZDBSession(DefaultTag, TZDBSessionList& list)
    : sessionName_(TZDBSessionList::DefaultSessionName), isDefault_(true) {
  list.Add(*this);
}

TZDBSession::~TZDBSession() {
  {
    TZDBSessionListLock lock;
    try {
      Deactivate();
    } catch (...) {  // a destructor cannot report; every database was disconnected all the same
    }
    // The placed databases outlive their session: they are left without one.
    for (TZDBDatabase* database : std::vector<TZDBDatabase*>(databases_)) {
      database->session_ = nullptr;
      if (!isDefault_) database->sessionName_.clear();
    }
    databases_.clear();
    ReleaseAutoNumber();
  }
  if (TZDBSessionList* list = TZDBSessionList::Alive()) list->Remove(*this);
}

// --- activation -------------------------------------------------------------------------------

void TZDBSession::SetActive(bool active) {
  if (active == active_) return;
  if (!active) {
    Deactivate();
    return;
  }
  if (OnStartup) OnStartup(*this);
  if (sessionName_.empty()) RaiseDatabaseError(SessionNameMissingText);
  if (!isDefault_) Sessions().DefaultSession().SetActive(true);
  active_ = true;
}

void TZDBSession::Deactivate() {
  TZDBSessionListLock lock;
  active_ = false;
  std::exception_ptr error;
  for (TZDBDatabase* database : std::vector<TZDBDatabase*>(databases_)) {
    if (OwnsTemporary(*database)) {
      FreeTemporary(*database);
      continue;
    }
    try {
      database->Close();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
}

void TZDBSession::Lock() {
  os::CriticalSection& lock = Sessions().SessionLock();
  lock.Enter();
  try {
    if (!active_) SetActive(true);
  } catch (...) {
    lock.Leave();
    throw;
  }
}

void TZDBSession::Unlock() { Sessions().SessionLock().Leave(); }

// --- names ------------------------------------------------------------------------------------

void TZDBSession::SetSessionName(const std::string& sessionName) {
  if (autoSessionName_) RaiseDatabaseError(AutoSessionNameSetText);
  ApplySessionName(sessionName);
}

void TZDBSession::ApplySessionName(const std::string& sessionName) {
  if (active_) RaiseDatabaseError(ActiveSessionText);
  for (TZDBSession* other : Sessions().List())
    if (other != this && SameName(other->sessionName_, sessionName))
      RaiseDatabaseError(DuplicateSessionNameFormat, {sessionName});
  sessionName_ = sessionName;
}

void TZDBSession::SetAutoSessionName(bool autoSessionName) {
  if (autoSessionName == autoSessionName_) return;
  if (active_) RaiseDatabaseError(ActiveSessionText);
  if (!autoSessionName) {
    autoSessionName_ = false;
    ReleaseAutoNumber();
    return;
  }
  TZDBSessionList& list = Sessions();
  if (owner_ != nullptr)
    for (TZDBSession* other : list.List())
      if (other != this && other->owner_ == owner_) RaiseDatabaseError(AutoSessionNameManyText);

  const int32_t number = list.TakeAutoNumber();
  try {
    ApplySessionName(FormatMessage("%s_%d", {name_, number + 1}));
  } catch (...) {
    list.FreeAutoNumber(number);
    throw;
  }
  autoNumber_ = number;
  autoSessionName_ = true;
  if (owner_ == nullptr) return;
  for (TZDBSessionUser* user : list.SessionUsersOf(owner_))
    if (user->SessionName() != sessionName_) user->SetSessionName(sessionName_);
  for (TZDBSession* session : list.List())
    for (TZDBDatabase* database : session->Databases())
      if (database->owner_ == owner_ && database->sessionName_ != sessionName_) database->SetSessionName(sessionName_);
}

void TZDBSession::ReleaseAutoNumber() {
  if (autoNumber_ < 0) return;
  if (TZDBSessionList* list = TZDBSessionList::Alive()) list->FreeAutoNumber(autoNumber_);
  autoNumber_ = -1;
}

// --- databases ----------------------------------------------------------------------------------

std::vector<TZDBDatabase*> TZDBSession::Databases() {
  TZDBSessionListLock lock;
  return databases_;
}

void TZDBSession::AddDatabase(TZDBDatabase& database) {
  TZDBSessionListLock lock;
  if (std::find(databases_.begin(), databases_.end(), &database) == databases_.end()) databases_.push_back(&database);
}

void TZDBSession::RemoveDatabase(TZDBDatabase& database) {
  TZDBSessionListLock lock;
  std::erase(databases_, &database);
}

bool TZDBSession::OwnsTemporary(const TZDBDatabase& database) const {
  return std::any_of(temporaries_.begin(), temporaries_.end(),
                     [&](const auto& owned) { return owned.get() == &database; });
}

void TZDBSession::FreeTemporary(TZDBDatabase& database) {
  TZDBSessionListLock lock;
  // The component leaves the list of databases as it is destroyed.
  const auto owned = std::find_if(temporaries_.begin(), temporaries_.end(),
                                  [&](const auto& candidate) { return candidate.get() == &database; });
  if (owned == temporaries_.end()) return;
  std::unique_ptr<TZDBDatabase> freed = std::move(*owned);
  temporaries_.erase(owned);
}

TZDBDatabase* TZDBSession::FindDatabase(std::string_view databaseName) {
  TZDBSessionLock lock(*this);
  for (TZDBDatabase* database : databases_) {
    if (database->databaseName_.empty() && !database->temporary_) continue;
    if (SameName(database->databaseName_, databaseName)) return database;
  }
  return nullptr;
}

TZDBDatabase* TZDBSession::FindDatabaseFor(std::string_view databaseName, TZDBOwner owner) {
  TZDBSessionLock lock(*this);
  if (owner != nullptr)
    for (TZDBDatabase* database : databases_)
      if (database->owner_ == owner && database->handleShared_ && SameName(database->databaseName_, databaseName))
        return database;
  return FindDatabase(databaseName);
}

TZDBDatabase& TZDBSession::OpenDatabase(std::string_view databaseName, TZDBOwner owner) {
  TZDBSessionLock lock(*this);
  TZDBDatabase* database = FindDatabaseFor(databaseName, owner);
  bool made = false;
  if (database == nullptr) {
    auto temporary = std::make_unique<TZDBDatabase>(this, owner);
    temporary->temporary_ = true;
    temporary->keepConnection_ = keepConnections_;
    temporary->silentMode_ = true;
    temporary->databaseName_ = std::string(databaseName);
    // Without a placed component the name is taken as the file's name, so that a name
    // that is nothing gets the missing-file error with that name.
    temporary->databaseFileName_ = std::string(databaseName);
    database = temporary.get();
    temporaries_.push_back(std::move(temporary));
    made = true;
  }
  try {
    database->Open();
  } catch (...) {
    if (made) FreeTemporary(*database);
    throw;
  }
  ++database->userCount_;
  return *database;
}

void TZDBSession::CloseDatabase(TZDBDatabase& database) {
  TZDBSessionListLock lock;
  if (database.userCount_ > 0) --database.userCount_;
  // A database that is disconnecting closes its datasets, which release it here.
  if (database.userCount_ > 0 || database.keepConnection_ || database.disconnecting_) return;
  if (OwnsTemporary(database))
    FreeTemporary(database);
  else
    database.Close();
}

}  // namespace zdb
