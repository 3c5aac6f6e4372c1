// The database component: a named connection to one database file, which the datasets
// of its session reach by DatabaseName.
//
// Connecting checks that the file exists, opens it through a TZDBLocalSession (one open
// file and page cache per file per process, shared by every component that names it),
// asks for a password when the file is encrypted and the one given does not open it, and
// offers to repair a file that was not closed properly (or converts one of an old
// format) through the process's TZDBUserPrompts. With the default KeepConnection, the
// file stays open from the first dataset's open until the component disconnects or goes.
//
// Contract: a failed connect leaves the component disconnected. Disconnecting closes the
// component's datasets first. Errors of misuse are the platform's database errors with
// their plain texts (ZDBComponentErrors.h); errors of the engine pass on as they are.
// The repair runs at most once per connect; a component never repairs while repairing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBPassword.h"
#include "engine/dataset/ZDBLocalSession.h"
#include "engine/dataset/ZDBRepairReport.h"
#include "engine/dataset/ZDBSessionList.h"
#include "engine/file/ZDBTableListFile.h"

namespace zdb {

class TZDBDatabase;
class TZDBDiskDatabaseData;
class TZDBDiskPageManager;
class TZDBSession;

// A dataset as its database sees it: a disconnect closes it.
class TZDBDatabaseClient {
 public:
  virtual ~TZDBDatabaseClient() = default;
  // Closes the dataset; it releases the database as any close does.
  virtual void CloseForDisconnect() = 0;
  // Query datasets close before the others.
  virtual bool IsQuery() const { return false; }

};

// Copies one table's structure and readable rows from the open file of a repair into a
// connected target database and reports what it copied; raises when the table's
// structure cannot be read. The process's default is CopyTable (ZDBTableCopier.h).
using TZDBTableCopier = std::function<TZDBTableRepairReport(TZDBDiskPageManager& source,
                                                            const TZDBTableListEntry& table, TZDBDatabase& target)>;

class TZDBDatabase {
 public:
  static constexpr const char* CurrentVersion = "6.07 ";
  static constexpr const char* RepairQuestion =
      "Database file was not correctly closed last time. Do you want to repair it?";
  static constexpr const char* ConversionNotice =
      "Database file you are opening is of old format. It will be converted to the current database format now. "
      "It is recommended to make a backup of the database before continuing.";
  static constexpr const char* RepairWaitMessage = "Repairing Database...";
  static constexpr const char* ForeignJournalNoticeFormat =
      "A rollback journal beside the database file belonged to another database and was not applied. "
      "It was kept as '%s'.";

  // A component of the session (null: the default session), whose name it takes as its
  // SessionName; owner groups it with the owner's datasets.
  explicit TZDBDatabase(TZDBSession* session = nullptr, TZDBOwner owner = nullptr);
  // Disconnects (errors dropped) and leaves its session.
  ~TZDBDatabase();
  TZDBDatabase(const TZDBDatabase&) = delete;
  TZDBDatabase& operator=(const TZDBDatabase&) = delete;

  // --- names ------------------------------------------------------------------------------
  const std::string& DatabaseName() const { return databaseName_; }
  // Not while connected; "Duplicate database name '%s'" when another component of the
  // session has the name, unless both share handles or the other is an unused temporary
  // component (which is freed).
  void SetDatabaseName(const std::string& databaseName);
  const std::string& DatabaseFileName() const { return databaseFileName_; }
  // A changed name disconnects the component first.
  void SetDatabaseFileName(const std::string& fileName);
  const std::string& SessionName() const { return sessionName_; }
  // Not while connected; moves the component to the session of that name (to none when
  // there is none yet) after the duplicate-name check there.
  void SetSessionName(const std::string& sessionName);

  // --- settings, applied at the next connect; connecting sets them as the file has them --
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  uint8_t EncryptionAlgorithm() const { return encryptionAlgorithm_; }
  void SetEncryptionAlgorithm(uint8_t code) { encryptionAlgorithm_ = code; }
  int32_t PageSize() const { return pageSize_; }
  void SetPageSize(int32_t pageSize) { pageSize_ = pageSize; }
  int32_t PagesPerExtent() const { return pagesPerExtent_; }
  void SetPagesPerExtent(int32_t pagesPerExtent) { pagesPerExtent_ = pagesPerExtent; }
  int32_t MaxConnections() const { return maxConnections_; }
  void SetMaxConnections(int32_t maxConnections) { maxConnections_ = maxConnections; }
  bool MultiUser() const { return multiUser_; }
  void SetMultiUser(bool multiUser) { multiUser_ = multiUser; }
  // The file system the database's files go through (the real one by default); a test hands
  // in a fault-injecting one. It takes effect at the next connect, the repair's included.
  os::FileSystem& FileSystem() const { return *fileSystem_; }
  void SetFileSystem(os::FileSystem& fileSystem) { fileSystem_ = &fileSystem; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive) { exclusive_ = exclusive; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool KeepConnection() const { return keepConnection_; }
  // Off: disconnects when no dataset uses the component.
  void SetKeepConnection(bool keep);
  bool HandleShared() const { return handleShared_; }
  void SetHandleShared(bool shared) { handleShared_ = shared; }
  // No questions to the user: no password prompt, no repair, no wait window.
  bool SilentMode() const { return silentMode_; }
  void SetSilentMode(bool silent) { silentMode_ = silent; }
  bool DisableTempFiles() const { return disableTempFiles_; }
  void SetDisableTempFiles(bool disable) { disableTempFiles_ = disable; }

  // --- connection --------------------------------------------------------------------------
  bool Connected() const { return handle_ != nullptr; }
  void SetConnected(bool connected);
  void Open();
  void Close();
  // The connection while connected (own or shared), else null: what a cursor works with.
  TZDBLocalSession* Handle() const { return handle_; }
  // The file's shared data object while connected, else null.
  TZDBDiskDatabaseData* DatabaseData() const;
  // The session number while connected, else -1.
  int32_t SessionID() const;

  bool IsTemporary() const { return temporary_; }
  bool IsRepairing() const { return repairing_; }
  int32_t UserCount() const { return userCount_; }
  TZDBSession* Session() const { return session_; }
  TZDBOwner Owner() const { return owner_; }

  // --- datasets --------------------------------------------------------------------------
  void AttachDataset(TZDBDatabaseClient& dataset);
  void DetachDataset(TZDBDatabaseClient& dataset);

  // --- operations ----------------------------------------------------------------------
  // Connects when needed, then asks the file.
  bool TableExists(std::string_view tableName);
  // Connects for the call when needed (and disconnects again); any failure gives an
  // empty list.
  void GetTableNames(std::vector<std::string>& list);
  void StartTransaction();
  // 20229 when not within a transaction.
  void Commit(bool flush = true);
  void Rollback();
  bool InTransaction() const;
  // A new file with the component's password, encryption, page size, pages per extent and
  // MaxConnections. Not while connected; 20092 while the file is open in the process.
  void CreateDatabase();
  // Not while connected; the file must exist and be open nowhere.
  void DeleteDatabase();
  // Copies every table, with every row that can still be read, into a fresh file and
  // puts it in place of the old one, which is kept as a backup beside it (ZDBDatabaseRepair.cpp).
  // Not while connected. Answers whether the file was replaced. What was left behind, or
  // why the repair failed (the old file then stays as it was), is shown as a warning
  // unless SilentMode, and kept in LastRepairReport.
  bool Repair();
  // What the last repair of this component did.
  const TZDBRepairReport& LastRepairReport() const { return repairReport_; }

  // --- events ------------------------------------------------------------------------------
  // The password did not open the file: set Password and answer true to try again.
  std::function<bool(TZDBDatabase&)> OnPassword;
  // The file was not closed properly: answer whether to repair it.
  std::function<bool(TZDBDatabase&)> OnNeedRepair;
  // Progress of a repair; when any is set they replace the wait window. OnRepairProgress
  // answers false to abort.
  std::function<void(TZDBDatabase&)> BeforeRepair;
  std::function<bool(TZDBDatabase&, int percent)> OnRepairProgress;
  std::function<void(TZDBDatabase&)> AfterRepair;

  // The copier of one table for every repair of the process; null puts the default back.
  static void SetTableCopier(TZDBTableCopier copier);

 private:
  friend class TZDBSession;

  TZDBConnectionSettings MakeSettings() const;
  // Moves the component to the session its SessionName names (20002 when none).
  TZDBSession& BindToSession();
  void MoveToSession(TZDBSession* session);
  void CheckDuplicateName(TZDBSession& session, const std::string& databaseName);
  bool ShareHandle(TZDBSession& session);
  void ConnectOwnHandle();
  // Whether to repair the file the handle found damaged or old.
  bool DecideRepair(const TZDBLocalSession& handle);
  bool AskPassword();
  // The repair of a disconnected component: answers whether the file was replaced.
  bool RunRepair();
  // Copies every table into a new file of that name; false when there is nothing to put
  // in place (the report says why). The password that opened the file comes back.
  bool CopyIntoFile(const std::string& copyName, TZDBPassword& password);
  // Keeps a backup of the file and puts the copy in its place; the report says how it went.
  void PutCopyInPlace(const std::string& copyName, const TZDBPassword& password);
  void CloseDatasets();
  void DisconnectSharers();

  std::vector<TZDBDatabaseClient*> datasets_;
  bool keepConnection_ = true;
  bool temporary_ = false;
  bool sharedHandle_ = false;
  bool handleShared_ = false;
  bool readOnly_ = false;
  bool exclusive_ = false;
  int32_t userCount_ = 0;
  std::unique_ptr<TZDBLocalSession> ownHandle_;
  TZDBLocalSession* handle_ = nullptr;
  TZDBSession* session_ = nullptr;
  TZDBOwner owner_ = nullptr;
  std::string sessionName_;
  std::string databaseName_;
  std::string databaseFileName_;
  std::string password_;
  uint8_t encryptionAlgorithm_ = 0;
  int32_t pageSize_ = layout::DefaultPageSize;
  int32_t pagesPerExtent_ = layout::DefaultPagesPerExtent;
  bool repairing_ = false;
  TZDBRepairReport repairReport_;
  bool disconnecting_ = false;
  bool silentMode_ = false;
  bool multiUser_ = false;
  int32_t maxConnections_ = DefaultMaxConnections;
  os::FileSystem* fileSystem_ = &os::FileSystem::Default();
  bool disableTempFiles_ = false;
};

}  // namespace zdb
