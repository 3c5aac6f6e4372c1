// The session component: a named group of database components. Datasets name a session
// and a database; the session finds the database component of that name, makes a
// temporary one when none is placed, connects it and counts its users.
//
// Contract: finding, opening and closing databases run under the process-wide session
// lock, and activate the session first (a session other than the default one activates
// the default one too; "Session name missing" when it has no name). Deactivating frees
// the temporary databases and disconnects the others. A session that goes leaves its
// placed databases disconnected and without a session name (the default session keeps
// the name). Names are compared without regard to letter case.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset/ZDBSessionList.h"

namespace zdb {

class TZDBDatabase;

class TZDBSession {
 public:
  // A session of the owner, listed in the process's session list. Raises "Cannot add a
  // session to the form or data-module while session '%s' has AutoSessionName enabled"
  // when the owner holds such a session.
  explicit TZDBSession(TZDBOwner owner = nullptr);
  ~TZDBSession();
  TZDBSession(const TZDBSession&) = delete;
  TZDBSession& operator=(const TZDBSession&) = delete;

  // The component's own name: automatic session names are made from it.
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TZDBOwner Owner() const { return owner_; }
  bool IsDefault() const { return isDefault_; }

  bool Active() const { return active_; }
  // On: OnStartup, then the checks above. Off: temporary databases freed, the others
  // disconnected (the first error passes on once all were done).
  void SetActive(bool active);

  const std::string& SessionName() const { return sessionName_; }
  // Not while AutoSessionName is on, not while active, not to another session's name.
  void SetSessionName(const std::string& sessionName);
  bool KeepConnections() const { return keepConnections_; }
  void SetKeepConnections(bool keep) { keepConnections_ = keep; }
  bool AutoSessionName() const { return autoSessionName_; }
  // On (only while inactive, and only as the owner's one session): the session is named
  // "<Name>_<n>" with the lowest free n from 1 up, and the datasets and databases of its
  // owner take that name. Off: the number is given back.
  void SetAutoSessionName(bool autoSessionName);

  std::function<void(TZDBSession&)> OnStartup;

  // Enters the session lock and activates the session; on failure the lock is left and
  // the error passes on. Pair with Unlock, or hold a TZDBSessionLock.
  void Lock();
  void Unlock();

  // The first database of this session with that DatabaseName (a component without a
  // name matches only when temporary), or null.
  TZDBDatabase* FindDatabase(std::string_view databaseName);
  // A component of the owner with HandleShared and that name first; else FindDatabase.
  TZDBDatabase* FindDatabaseFor(std::string_view databaseName, TZDBOwner owner);
  // What a dataset calls when it opens: the database found for it (a temporary one is
  // made when there is none), connected, with one user more. A temporary database made
  // here is freed again when connecting fails.
  TZDBDatabase& OpenDatabase(std::string_view databaseName, TZDBOwner owner = nullptr);
  // What a dataset calls when it closes: one user less; at none, unless the database keeps
  // its connection, a temporary database is freed and a placed one disconnected.
  void CloseDatabase(TZDBDatabase& database);

  std::vector<TZDBDatabase*> Databases();

 private:
  friend class TZDBDatabase;
  friend class TZDBSessionList;

  struct DefaultTag {};
  TZDBSession(DefaultTag, TZDBSessionList& list);

  // Under the session lock, without activating (the session's own bookkeeping).
  void AddDatabase(TZDBDatabase& database);
  void RemoveDatabase(TZDBDatabase& database);
  void FreeTemporary(TZDBDatabase& database);
  bool OwnsTemporary(const TZDBDatabase& database) const;
  void Deactivate();
  void ApplySessionName(const std::string& sessionName);
  void ReleaseAutoNumber();

  std::string name_;
  TZDBOwner owner_ = nullptr;
  std::vector<TZDBDatabase*> databases_;
  std::vector<std::unique_ptr<TZDBDatabase>> temporaries_;
  bool active_ = false;
  bool keepConnections_ = true;
  bool autoSessionName_ = false;
  std::string sessionName_;
  bool isDefault_ = false;
  int32_t autoNumber_ = -1;
};

// Holds the session lock (and an active session) for a scope.
class TZDBSessionLock {
 public:
  explicit TZDBSessionLock(TZDBSession& session) : session_(session) { session_.Lock(); }
  ~TZDBSessionLock() { session_.Unlock(); }
  TZDBSessionLock(const TZDBSessionLock&) = delete;
  TZDBSessionLock& operator=(const TZDBSessionLock&) = delete;

 private:
  TZDBSession& session_;
};

}  // namespace zdb
