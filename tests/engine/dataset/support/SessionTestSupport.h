// Helpers for the tests of the session and database components: database files made by
// the engine (and damaged on purpose), a user who answers as scripted, a dataset that
// only records its closes, and a check of the plain-text errors.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/dataset/ZDBMain.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/framework/DatabaseError.h"
#include "tests/engine/file/support/DiskTestSupport.h"

namespace zdb::test {

// A new database file as the engine makes it.
inline void MakeDatabaseFile(const std::string& path, int32_t slotCount = 500, const TZDBPassword& password = {}) {
  TZDBDiskDatabaseData creator(path);
  creator.SetSlotCount(slotCount);
  creator.SetPassword(password);
  creator.CreateDatabase();
}

// Table names in the file's table list (no table data behind them).
inline void ListTables(const std::string& path, const std::vector<std::string>& names) {
  TZDBDiskDatabaseData data(path);
  TZDBSessionConnection session;
  data.AddSession(session);
  int32_t objectID = 100;
  for (const std::string& name : names) data.AddTableToList(name, objectID++, -1, -1, -1);
  data.Commit(TZDBPageManager::SystemSession, true);
  data.RemoveSession(session);
}

inline uint8_t WriteState(const std::string& path) {
  return ReadBytes(path).at(layout::HeaderWriteStateOffset);
}

// As a commit cut short leaves it.
inline void MarkCommitCutShort(const std::string& path) {
  std::vector<uint8_t> bytes = ReadBytes(path);
  bytes.at(layout::HeaderWriteStateOffset) = layout::WriteStateWriting;
  WriteBytes(path, bytes);
}

inline void SetFormatVersion(const std::string& path, double version) {
  std::vector<uint8_t> bytes = ReadBytes(path);
  le::PutDouble(bytes.data() + layout::HeaderFormatVersionOffset, version);
  WriteBytes(path, bytes);
}

inline double FormatVersion(const std::string& path) {
  return le::GetDouble(ReadBytes(path).data() + layout::HeaderFormatVersionOffset);
}

inline void MakeReadOnly(const std::string& path) { ::chmod(path.c_str(), S_IRUSR | S_IRGRP | S_IROTH); }

inline bool IsOpenInProcess(const std::string& path) {
  return TZDBDatabaseDataRegistry::Instance().Find(path) != nullptr;
}

// The text of the platform database error the call raised.
inline std::string DatabaseErrorText(const std::function<void()>& call) {
  try {
    call();
  } catch (const data::EDatabaseError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no database error was raised";
  return {};
}

// A user who answers as told and remembers what was asked.
class ScriptedUser : public TZDBUserPrompts {
 public:
  bool repair = false;
  std::vector<std::string> passwords;  // typed in turn; then Cancel
  bool abortWait = false;

  std::vector<std::string> questions;
  std::vector<std::string> notices;
  std::vector<std::string> warnings;
  std::vector<std::string> waitMessages;
  int passwordPrompts = 0;

  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return repair;
  }
  void ShowInformation(const std::string& text) override { notices.push_back(text); }
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  bool AskPassword(std::string& password) override {
    if (static_cast<size_t>(passwordPrompts) >= passwords.size()) {
      ++passwordPrompts;
      return false;
    }
    password = passwords[static_cast<size_t>(passwordPrompts++)];
    return true;
  }
  std::unique_ptr<TZDBWaitWindow> StartWait(const std::string& message) override {
    waitMessages.push_back(message);
    return std::make_unique<Window>(abortWait);
  }

 private:
  class Window : public TZDBWaitWindow {
   public:
    explicit Window(bool abort) : abort_(abort) {}
    bool Progress(int /*percent*/) override { return !abort_; }

   private:
    bool abort_;
  };
};

// Installs a scripted user for a test and puts the silent one back afterwards.
class ScriptedUserScope {
 public:
  ScriptedUserScope() : user_(std::make_shared<ScriptedUser>()) { SetUserPrompts(user_); }
  ~ScriptedUserScope() { SetUserPrompts(nullptr); }
  ScriptedUserScope(const ScriptedUserScope&) = delete;
  ScriptedUserScope& operator=(const ScriptedUserScope&) = delete;

  ScriptedUser& operator*() const { return *user_; }
  ScriptedUser* operator->() const { return user_.get(); }

 private:
  std::shared_ptr<ScriptedUser> user_;
};

// A dataset that uses a database: opened through the session, closed by a disconnect.
class RecordingDataset : public TZDBDatabaseClient {
 public:
  RecordingDataset(TZDBSession& session, const std::string& databaseName) : session_(session) {
    database_ = &session_.OpenDatabase(databaseName);
    database_->AttachDataset(*this);
  }
  ~RecordingDataset() { Close(); }
  RecordingDataset(const RecordingDataset&) = delete;
  RecordingDataset& operator=(const RecordingDataset&) = delete;

  void Close() {
    if (database_ == nullptr) return;
    TZDBDatabase* database = std::exchange(database_, nullptr);
    database->DetachDataset(*this);
    session_.CloseDatabase(*database);
  }
  void CloseForDisconnect() override {
    ++closedByDisconnect;
    Close();
  }
  bool IsOpen() const { return database_ != nullptr; }

  int closedByDisconnect = 0;

 private:
  TZDBSession& session_;
  TZDBDatabase* database_ = nullptr;
};

}  // namespace zdb::test
