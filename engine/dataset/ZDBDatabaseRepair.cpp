// The repair of a database file: every table whose definitions can still be read is
// copied, with every row that can still be read, into a fresh file beside it (the file's
// name followed by ".tmp"). The damaged file is then copied to a backup of its own, and
// the repaired file takes its name in one step, so the name always stands for a whole
// file: the damaged one or the repaired one.
//
// The damaged file is only read: it is opened exclusively, so that nobody changes it while
// it is copied, and it is never written or deleted. A repair that fails, or that the user
// aborts, removes its copy and leaves the file exactly as it was.
//
// Backups never replace each other: the first is "<file>.bak", the next "<file>.1.bak",
// then "<file>.2.bak", and so on.
#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/dataset/ZDBSession.h"
#include "engine/dataset/ZDBTableCopier.h"
#include "engine/dataset/ZDBUserPrompts.h"
#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableListFile.h"
#include "platform/os/File.h"

namespace zdb {
namespace {

constexpr const char* CopySuffix = ".tmp";
constexpr const char* BackupSuffix = ".bak";
constexpr const char* TargetNamePrefix = "TempDatabase";
constexpr int FullProgress = 100;
// The copy and the backup each take about as much room as the file.
constexpr std::uintmax_t SpaceNeededPerFileByte = 2;
// Beyond this many backups of one file something else is wrong.
constexpr int MaxBackups = 10000;

constexpr const char* OpenFailedFormat = "Cannot open file:'%s' Error code: %d. ErrorMessage: %s";
constexpr const char* ReadOnlyText =
    "The database file cannot be written, so a repaired copy cannot take its place. The file was left as it was.";
constexpr const char* TableListUnreadableFormat =
    "The list of tables cannot be read, so nothing can be copied: %s. The file was left as it was.";
constexpr const char* TableProblemFormat = "Problem occured while copying table '%s': '%s'";
constexpr const char* CopyUnsoundFormat = "The repaired copy '%s' does not open as a sound file. The file was left as it was.";
constexpr const char* BackupFailedFormat =
    "Cannot keep the damaged file as '%s': Error code: %d. ErrorMessage: %s. The file was left as it was.";
constexpr const char* RenameFailedFormat = "Cannot rename file '%s' to '%s': Error code: %d. ErrorMessage: %s";

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

// The copy and the backup must fit beside the file before any of them is written.
void CheckFreeSpace(int64_t fileSize, const std::string& copyName) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(copyName, error).parent_path();
  if (error) return;  // the copy's own writes report what is wrong
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  if (!error && fileSize > 0 && space.available < static_cast<std::uintmax_t>(fileSize) * SpaceNeededPerFileByte)
    RaiseError(errors::NotEnoughSpace);
}

void DeleteCopy(os::FileSystem& files, const std::string& copyName) {
  uint32_t ignored = 0;
  files.Delete(copyName, ignored);
}

std::string BackupName(const std::string& fileName, int number) {
  return number == 0 ? fileName + BackupSuffix : fileName + "." + std::to_string(number) + BackupSuffix;
}

// The damaged file, open for reading only (exclusively, so that nobody writes it while it
// is copied); closed on every path.
class SourceFile {
 public:
  ~SourceFile() {
    try {
      if (pages.IsFileOpen()) pages.CloseDatabaseFile();
    } catch (...) {  // nothing was written; closing has nothing to lose
    }
  }
  explicit SourceFile(os::FileSystem& files) : pages(files) {}
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  void Close() { pages.CloseDatabaseFile(); }

  TZDBDiskPageManager pages;
};

// Whether the file opens as one that needs no repair.
bool OpensSound(os::FileSystem& files, const std::string& fileName, const TZDBPassword& password) {
  TZDBDiskPageManager pages(files);
  bool multiUser = false;
  bool readOnly = true;
  try {
    const bool needsRepair = pages.OpenDatabaseFile(fileName, password, multiUser, false, readOnly);
    pages.CloseDatabaseFile();
    return !needsRepair;
  } catch (const std::exception&) {
    return false;
  }
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
  repairReport_ = TZDBRepairReport();
  const std::string copyName = databaseFileName_ + CopySuffix;
  try {
    TZDBPassword password;
    if (CopyIntoFile(copyName, password)) PutCopyInPlace(copyName, password);
  } catch (...) {
    DeleteCopy(*fileSystem_, copyName);
    repairReport_.Replaced = false;
    RaiseError(errors::RepairFailed);
  }
  if (!repairReport_.Replaced) DeleteCopy(*fileSystem_, copyName);
  const std::string warning = repairReport_.Warning();
  if (!warning.empty() && !silentMode_) UserPrompts()->ShowWarning(warning);
  return repairReport_.Replaced;
}

bool TZDBDatabase::CopyIntoFile(const std::string& copyName, TZDBPassword& password) {
  TZDBRepairReport& report = repairReport_;
  // Nobody else may have the file open: what they wrote meanwhile would be lost.
  {
    uint32_t error = 0;
    std::unique_ptr<os::IFile> probe = fileSystem_->Open(databaseFileName_, os::AccessMode::ReadWrite,
                                                    os::ShareMode::Exclusive, error);
    if (!probe) {
      report.Failure = FormatMessage(OpenFailedFormat, {databaseFileName_, error, os::SystemErrorMessage(error)});
      return false;
    }
    int64_t size = 0;
    if (probe->GetSize(size)) {
      try {
        CheckFreeSpace(size, copyName);
      } catch (const EZDBException& failure) {
        report.Failure = failure.what();
        return false;
      }
    }
  }

  SourceFile source(*fileSystem_);
  password = TZDBPassword{password_, encryptionAlgorithm_};
  for (;;) {
    bool multiUser = false;
    bool readOnly = false;
    // A cut-short copy still holds every table whose pages are all there.
    source.pages.AcceptCutShortFile();
    try {
      source.pages.OpenDatabaseFile(databaseFileName_, password, multiUser, true, readOnly);
    } catch (const EZDBException& error) {
      if (error.Kind() == TZDBErrorKind::WrongPassword && AskPassword()) {
        password.Password = password_;
        continue;
      }
      report.Failure = error.what();
      return false;
    }
    if (readOnly) {
      report.Failure = ReadOnlyText;
      return false;
    }
    break;
  }
  if (source.pages.Header().IsEncrypted()) password.CipherCode = source.pages.EncryptionRecord().CipherCode;

  std::vector<TZDBTableListEntry> tables;
  int32_t slotCount = maxConnections_;
  try {
    TZDBSystemDirectory directory(source.pages);
    directory.Open();
    TZDBTableListFile tableList(source.pages);
    tableList.Open(directory.Find(TZDBSystemDirectory::TableListFileId));
    tableList.Load();
    tables = tableList.Entries();
    try {
      TZDBActiveSessionsFile slots(source.pages);
      slotCount = slots.Open(directory.Find(TZDBSystemDirectory::ActiveSessionsFileId));
      slots.Close();
    } catch (const std::exception&) {  // the copy gets the component's own connection limit
    }
  } catch (const std::exception& error) {
    report.Failure = FormatMessage(TableListUnreadableFormat, {error.what()});
    return false;
  }

  TZDBDatabase target(session_, owner_);
  target.SetDatabaseName(UniqueTargetName(*session_));
  target.SetDatabaseFileName(copyName);
  target.SetPassword(password.Password);
  target.SetEncryptionAlgorithm(password.CipherCode);
  target.SetPageSize(source.pages.PageSize());
  target.SetPagesPerExtent(source.pages.Header().PagesPerExtent);
  target.SetMaxConnections(slotCount);
  target.SetExclusive(true);
  target.SetFileSystem(*fileSystem_);
  target.SetSilentMode(true);
  try {
    target.CreateDatabase();
  } catch (const std::exception& error) {
    report.Failure = FormatMessage("Create database error: '%s'", {error.what()});
    return false;
  }
  target.Open();

  const TZDBTableCopier copier = InstalledCopier();
  bool completed = true;
  {
    RepairProgress progress(*this);
    for (size_t i = 0; i < tables.size() && completed; ++i) {
      completed = progress.Report(static_cast<int>(i * FullProgress / tables.size()));
      if (!completed) break;
      TZDBTableRepairReport table;
      try {
        table = copier(source.pages, tables[i], target);
      } catch (const std::exception& error) {
        // Without its definitions the table cannot be made again; the others still can.
        table = TZDBTableRepairReport();
        table.TableName = tables[i].Name;
        table.Lost = true;
        table.Problem = error.what();
      }
      report.Tables.push_back(table);
    }
    if (completed) completed = progress.Report(FullProgress);
  }
  target.Close();
  source.Close();
  if (!completed) {
    report.Aborted = true;
    return false;
  }

  // A copy without a single table of a file that had some would only lose the rest.
  const bool nothingSalvaged = !report.Tables.empty() && std::all_of(report.Tables.begin(), report.Tables.end(),
                                                                     [](const auto& t) { return t.Lost; });
  if (nothingSalvaged) {
    for (const TZDBTableRepairReport& table : report.Tables) {
      if (!report.Failure.empty()) report.Failure += '\n';
      report.Failure += FormatMessage(TableProblemFormat, {table.TableName, table.Problem});
    }
    return false;
  }
  return true;
}

void TZDBDatabase::PutCopyInPlace(const std::string& copyName, const TZDBPassword& password) {
  TZDBRepairReport& report = repairReport_;
  if (!OpensSound(*fileSystem_, copyName, password)) {
    report.Failure = FormatMessage(CopyUnsoundFormat, {copyName});
    return;
  }
  // Held exclusively while the backup is made and the copy takes the name, so that nobody
  // opens the damaged file in between.
  uint32_t error = 0;
  std::unique_ptr<os::IFile> old =
      fileSystem_->Open(databaseFileName_, os::AccessMode::ReadWrite, os::ShareMode::Exclusive, error);
  if (!old) {
    report.Failure = FormatMessage(OpenFailedFormat, {databaseFileName_, error, os::SystemErrorMessage(error)});
    return;
  }
  std::string backup;
  for (int number = 0; number < MaxBackups && backup.empty(); ++number) {
    const std::string name = BackupName(databaseFileName_, number);
    if (fileSystem_->Exists(name)) continue;
    if (fileSystem_->Copy(databaseFileName_, name, error)) {
      backup = name;
    } else if (error != os::win32::FileExists && error != os::win32::AlreadyExists) {
      report.Failure = FormatMessage(BackupFailedFormat, {name, error, os::SystemErrorMessage(error)});
      return;
    }
  }
  if (backup.empty()) {
    report.Failure = FormatMessage(BackupFailedFormat, {BackupName(databaseFileName_, MaxBackups),
                                                        os::win32::FileExists,
                                                        os::SystemErrorMessage(os::win32::FileExists)});
    return;
  }
  if (!fileSystem_->Rename(copyName, databaseFileName_, error)) {
    report.Failure = FormatMessage(RenameFailedFormat, {copyName, databaseFileName_, error,
                                                        os::SystemErrorMessage(error)});
    // The backup made a moment ago is a copy of the file that is still in place.
    uint32_t ignored = 0;
    old.reset();
    fileSystem_->Delete(backup, ignored);
    return;
  }
  report.Replaced = true;
  report.BackupFileName = backup;
}

}  // namespace zdb
