// The repair of a database file: every table is copied into a fresh file beside it (the
// file's name followed by ".tmp"), which then takes the old file's place. A copy that
// fails or is aborted is deleted and the old file stays as it was.
#include <atomic>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBScopedFlag.h"
#include "engine/dataset/ZDBSession.h"
#include "engine/dataset/ZDBTableCopier.h"
#include "engine/dataset/ZDBUserPrompts.h"
#include "engine/file/ZDBException.h"
#include "engine/file/ZDBMessages.h"
#include "platform/os/File.h"

namespace zdb {
namespace {

constexpr int32_t RepairFailedError = 20238;
constexpr int32_t NotEnoughSpaceError = 20303;
constexpr const char* CopySuffix = ".tmp";
constexpr const char* TargetNamePrefix = "TempDatabase";
constexpr int FullProgress = 100;

std::mutex copierMutex;
TZDBTableCopier& Copier() {
  static TZDBTableCopier copier = CopyTable;
  return copier;
}

TZDBTableCopier InstalledCopier() {
  std::lock_guard<std::mutex> guard(copierMutex);
  return Copier();
}

// A database name no component of the session has.
std::string UniqueTargetName(TZDBSession& session) {
  static std::atomic<int32_t> counter{0};
  for (;;) {
    std::string name = TargetNamePrefix + std::to_string(++counter);
    if (session.FindDatabase(name) == nullptr) return name;
  }
}

// The copy must fit beside the file before any of it is written.
void CheckFreeSpace(const std::string& fileName, const std::string& copyName) {
  std::error_code error;
  const std::uintmax_t needed = std::filesystem::file_size(fileName, error);
  if (error) return;  // the copy's own writes report what is wrong
  std::filesystem::path folder = std::filesystem::absolute(copyName, error).parent_path();
  if (error) return;
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  if (!error && space.available < needed)
    RaiseError(NotEnoughSpaceError,
               "There is not enough free space on drive to perform required operation with the database file.");
}

void DeleteCopy(const std::string& copyName) {
  uint32_t ignored = 0;
  os::FileSystem::Default().Delete(copyName, ignored);
}

// The progress of a repair: the component's events when it has any, else the wait window
// (unless the component is silent).
class RepairProgress {
 public:
  explicit RepairProgress(TZDBDatabase& database) : database_(database) {
    events_ = database.BeforeRepair || database.OnRepairProgress || database.AfterRepair;
    if (events_) {
      if (database.BeforeRepair) database.BeforeRepair(database);
    } else if (!database.SilentMode()) {
      window_ = UserPrompts()->StartWait(TZDBDatabase::RepairWaitMessage);
    }
  }
  ~RepairProgress() {
    if (events_ && database_.AfterRepair) {
      try {
        database_.AfterRepair(database_);
      } catch (...) {  // the repair's own outcome is what the caller needs
      }
    }
  }
  RepairProgress(const RepairProgress&) = delete;
  RepairProgress& operator=(const RepairProgress&) = delete;

  // False when the user aborted.
  bool Report(int percent) {
    if (events_) return !database_.OnRepairProgress || database_.OnRepairProgress(database_, percent);
    return !window_ || window_->Progress(percent);
  }

 private:
  TZDBDatabase& database_;
  bool events_ = false;
  std::unique_ptr<TZDBWaitWindow> window_;
};

}  // namespace

void TZDBDatabase::SetTableCopier(TZDBTableCopier copier) {
  std::lock_guard<std::mutex> guard(copierMutex);
  Copier() = copier ? std::move(copier) : TZDBTableCopier(CopyTable);
}

bool TZDBDatabase::RunRepair() {
  TZDBScopedFlag repairing(repairing_, true);
  const std::string copyName = databaseFileName_ + CopySuffix;
  std::string failure;
  try {
    if (!CopyIntoFile(copyName, failure)) {
      DeleteCopy(copyName);
      return false;
    }
    if (failure.empty()) failure = PutCopyInPlace(copyName);
  } catch (...) {
    try {
      Close();
    } catch (...) {  // the repair's failure is the one to report
    }
    DeleteCopy(copyName);
    RaiseError(RepairFailedError, MessageForCode(RepairFailedError));
  }
  if (failure.empty()) return true;
  DeleteCopy(copyName);
  if (!silentMode_) UserPrompts()->ShowWarning(failure);
  return false;
}

bool TZDBDatabase::CopyIntoFile(const std::string& copyName, std::string& failure) {
  // What keeps the repair from starting is the user's to read; the file then opens as it is.
  try {
    CheckFreeSpace(databaseFileName_, copyName);
    // Nobody may change the file while it is copied.
    TZDBScopedFlag exclusive(exclusive_, true);
    Open();
  } catch (const EZDBException& error) {
    failure = error.what();
    return true;
  }
  const TZDBConnectionSettings file = handle_->Settings();
  std::vector<std::string> tables;
  handle_->GetTableNames(tables);

  TZDBDatabase target(session_, owner_);
  target.SetDatabaseName(UniqueTargetName(*session_));
  target.SetDatabaseFileName(copyName);
  target.SetPassword(file.Password.Password);
  target.SetEncryptionAlgorithm(file.Password.CipherCode);
  target.SetPageSize(file.PageSize);
  target.SetPagesPerExtent(file.PagesPerExtent);
  target.SetMaxConnections(file.MaxConnections);
  target.SetExclusive(true);
  target.SetSilentMode(true);
  try {
    target.CreateDatabase();
  } catch (const std::exception& error) {
    failure = FormatMessage("Create database error: '%s'", {error.what()});
    Close();
    return true;
  }
  target.Open();

  const TZDBTableCopier copier = InstalledCopier();
  bool completed = true;
  {
    RepairProgress progress(*this);
    for (size_t i = 0; i < tables.size() && completed; ++i) {
      completed = progress.Report(static_cast<int>(i * FullProgress / tables.size()));
      if (!completed) break;
      try {
        copier(*this, target, tables[i]);
      } catch (const std::exception& error) {
        if (!failure.empty()) failure += '\n';
        failure += FormatMessage("Problem occured while copying table '%s': '%s'", {tables[i], error.what()});
      }
    }
    if (completed) completed = progress.Report(FullProgress);
  }
  target.Close();
  Close();
  return completed;
}

std::string TZDBDatabase::PutCopyInPlace(const std::string& copyName) {
  // Held exclusively while the copy takes its place, so nobody opens the old file in
  // between; the rename replaces it in one step, so there is always a whole file there.
  uint32_t error = 0;
  std::unique_ptr<os::IFile> old =
      os::FileSystem::Default().Open(databaseFileName_, os::AccessMode::ReadWrite, os::ShareMode::Exclusive, error);
  if (!old)
    return FormatMessage("Cannot open file:'%s' Error code: %d. ErrorMessage: %s",
                         {databaseFileName_, error, os::SystemErrorMessage(error)});
  std::error_code renameError;
  std::filesystem::rename(copyName, databaseFileName_, renameError);
  if (renameError)
    return FormatMessage("Cannot rename file '%s' to '%s': %s", {copyName, databaseFileName_, renameError.message()});
  return {};
}

}  // namespace zdb
