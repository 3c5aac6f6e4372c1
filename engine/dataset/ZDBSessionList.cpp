#include "engine/dataset/ZDBSessionList.h"

#include <algorithm>
#include <atomic>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBNames.h"
#include "engine/dataset/ZDBSession.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"

namespace zdb {
namespace {

std::atomic<TZDBSessionList*> aliveList{nullptr};

}  // namespace

TZDBSessionList& TZDBSessionList::Instance() {
  // The open files outlive the sessions that disconnect from them at the end of the
  // process: the registry is made first, so it is destroyed last.
  TZDBDatabaseDataRegistry::Instance();
  static TZDBSessionList list;
  return list;
}

TZDBSessionList* TZDBSessionList::Alive() { return aliveList.load(); }

TZDBSessionList::TZDBSessionList() {
  defaultSession_.reset(new TZDBSession(TZDBSession::DefaultTag{}, *this));
  aliveList.store(this);
}

TZDBSessionList::~TZDBSessionList() {
  aliveList.store(nullptr);
  defaultSession_.reset();
}

void TZDBSessionList::Add(TZDBSession& session) {
  std::lock_guard<std::mutex> guard(mutex_);
  sessions_.push_back(&session);
}

void TZDBSessionList::Remove(TZDBSession& session) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::erase(sessions_, &session);
}

TZDBSession* TZDBSessionList::FindSession(std::string_view sessionName) {
  if (sessionName.empty()) return defaultSession_.get();
  std::lock_guard<std::mutex> guard(mutex_);
  for (TZDBSession* session : sessions_)
    if (SameName(session->SessionName(), sessionName)) return session;
  return nullptr;
}

TZDBSession& TZDBSessionList::GetSession(std::string_view sessionName) {
  TZDBSession* session = FindSession(sessionName);
  if (session == nullptr) RaiseError(errors::InvalidSessionName, {sessionName});
  return *session;
}

std::vector<TZDBSession*> TZDBSessionList::List() {
  std::lock_guard<std::mutex> guard(mutex_);
  return sessions_;
}

void TZDBSessionList::AddSessionUser(TZDBSessionUser& user) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (std::find(sessionUsers_.begin(), sessionUsers_.end(), &user) == sessionUsers_.end())
    sessionUsers_.push_back(&user);
}

void TZDBSessionList::RemoveSessionUser(TZDBSessionUser& user) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::erase(sessionUsers_, &user);
}

std::vector<TZDBSessionUser*> TZDBSessionList::SessionUsersOf(TZDBOwner owner) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<TZDBSessionUser*> users;
  for (TZDBSessionUser* user : sessionUsers_)
    if (user->Owner() == owner) users.push_back(user);
  return users;
}

int32_t TZDBSessionList::TakeAutoNumber() {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto free = std::find(autoNumbers_.begin(), autoNumbers_.end(), false);
  const auto number = static_cast<int32_t>(free - autoNumbers_.begin());
  if (free == autoNumbers_.end())
    autoNumbers_.push_back(true);
  else
    *free = true;
  return number;
}

void TZDBSessionList::FreeAutoNumber(int32_t number) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (number >= 0 && static_cast<size_t>(number) < autoNumbers_.size()) autoNumbers_[static_cast<size_t>(number)] = false;
}

}  // namespace zdb
