// The process's list of session components, made when the engine is first used: it
// holds the default session ("Default", the first in the list), finds sessions by name
// (letter case ignored; the empty name is the default session), hands out the numbers of
// automatic session names, and owns the process-wide session lock under which database
// components are found, made, connected and released.
//
// Contract: the list is thread-safe; the session lock is re-entrant and is taken before
// the list's own mutex, never after. When the list goes at the end of the process, it
// frees the default session (disconnecting its databases) and lets go of every session
// still alive, which from then on belongs to no list.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/System.h"

namespace zdb {

class TZDBSession;

// The identity of the form or data module that holds a component. Components are grouped
// by it (automatic session names, shared handles); it is never called through.
using TZDBOwner = const void*;

// A dataset as the session layer sees it: the session it names. A session that names
// itself automatically gives its name to the datasets of its owner.
class TZDBSessionUser {
 public:
  virtual ~TZDBSessionUser() = default;
  virtual TZDBOwner Owner() const = 0;
  virtual const std::string& SessionName() const = 0;
  virtual void SetSessionName(const std::string& sessionName) = 0;

};

class TZDBSessionList {
 public:
  static constexpr const char* DefaultSessionName = "Default";

  static TZDBSessionList& Instance();
  // The list while it lives; null once it was destroyed at the end of the process.
  static TZDBSessionList* Alive();

  TZDBSessionList(const TZDBSessionList&) = delete;
  TZDBSessionList& operator=(const TZDBSessionList&) = delete;

  TZDBSession& DefaultSession() { return *defaultSession_; }
  // The session of that name (letter case ignored), the default one for the empty name,
  // or null.
  TZDBSession* FindSession(std::string_view sessionName);
  // The same, for a dataset: 20002 "Invalid session name '%s'" when there is none.
  TZDBSession& GetSession(std::string_view sessionName);
  std::vector<TZDBSession*> List();

  os::CriticalSection& SessionLock() { return sessionLock_; }

  // Datasets register while they live, for automatic session names.
  void AddSessionUser(TZDBSessionUser& user);
  void RemoveSessionUser(TZDBSessionUser& user);

 private:
  friend class TZDBSession;

  TZDBSessionList();
  ~TZDBSessionList();

  void Add(TZDBSession& session);
  void Remove(TZDBSession& session);
  // The lowest free number of automatic session names, taken; given back by FreeAutoNumber.
  int32_t TakeAutoNumber();
  void FreeAutoNumber(int32_t number);
  std::vector<TZDBSessionUser*> SessionUsersOf(TZDBOwner owner);

  os::CriticalSection sessionLock_;
  std::mutex mutex_;
  std::vector<TZDBSession*> sessions_;
  std::vector<bool> autoNumbers_;
  std::vector<TZDBSessionUser*> sessionUsers_;
  std::unique_ptr<TZDBSession> defaultSession_;
};

inline TZDBSessionList& Sessions() { return TZDBSessionList::Instance(); }

// Holds the session lock for a scope without activating any session: enough for the
// components' own bookkeeping. Once the list is gone at the end of the process, nothing
// else runs and it holds nothing.
class TZDBSessionListLock {
 public:
  TZDBSessionListLock() : list_(TZDBSessionList::Alive()) {
    if (list_ != nullptr) list_->SessionLock().Enter();
  }
  ~TZDBSessionListLock() {
    if (list_ != nullptr) list_->SessionLock().Leave();
  }
  TZDBSessionListLock(const TZDBSessionListLock&) = delete;
  TZDBSessionListLock& operator=(const TZDBSessionListLock&) = delete;

 private:
  TZDBSessionList* list_;
};

}  // namespace zdb
