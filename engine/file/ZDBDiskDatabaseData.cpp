#include "engine/file/ZDBDiskDatabaseData.h"

#include <exception>
#include <limits>
#include <mutex>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBSessionSlots.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableLockManager.h"

namespace zdb {
namespace {

constexpr int32_t SystemSession = TZDBPageManager::SystemSession;

std::mutex factoryMutex;
TZDBTableDataFactory& Factory() {
  static TZDBTableDataFactory factory;
  return factory;
}

// The start page a directory entry names; a file without it is damaged.
int32_t RequireEntry(const TZDBSystemDirectory& directory, uint8_t fileId) {
  const int32_t start = directory.Find(fileId);
  if (start < 0)
    RaiseError(errors::ChainPageMissing, {0});
  return start;
}

}  // namespace

TZDBDiskDatabaseData::TZDBDiskDatabaseData(std::string fileName, os::FileSystem& fileSystem)
    : TZDBDatabaseData(std::move(fileName)), fileSystem_(fileSystem) {}

TZDBDiskDatabaseData::~TZDBDiskDatabaseData() {
  try {
    Close();
  } catch (...) {  // a destructor cannot report; the file is closed all the same
  }
}

void TZDBDiskDatabaseData::SetTableDataFactory(TZDBTableDataFactory factory) {
  std::lock_guard<std::mutex> guard(factoryMutex);
  Factory() = std::move(factory);
}

// --- open and close ----------------------------------------------------------------------------

void TZDBDiskDatabaseData::Open(TZDBSessionConnection& session) {
  // Built aside and taken over only when every step worked, so a failure leaves nothing open.
  auto pageManager = std::make_unique<TZDBDiskPageManager>(fileSystem_);
  bool multiUser = session.MultiUser;
  bool readOnly = session.ReadOnly;
  const bool needsRepair =
      pageManager->OpenDatabaseFile(fileName_, session.Password, multiUser, session.Exclusive, readOnly);
  // From here on the page manager's destructor closes the file on any failure.
  auto directory = std::make_unique<TZDBSystemDirectory>(*pageManager);
  directory->Open();
  auto slots = std::make_unique<TZDBActiveSessionsFile>(*pageManager);
  const int32_t slotCount = slots->Open(RequireEntry(*directory, TZDBSystemDirectory::ActiveSessionsFileId));
  auto tableList = std::make_unique<TZDBTableListFile>(*pageManager);
  tableList->Open(RequireEntry(*directory, TZDBSystemDirectory::TableListFileId));
  tableList->Load();
  auto lockManager = std::make_unique<TZDBDatabaseTableLockManager>(*pageManager, slotCount);

  password_ = session.Password;
  pageSize_ = pageManager->Header().PageSize;
  pagesPerExtent_ = pageManager->Header().PagesPerExtent;
  slotCount_ = slotCount;
  multiUser_ = multiUser;
  readOnly_ = readOnly;
  slotsClaimed_ = false;
  readingAmongOthers_ = false;
  systemDirectory_ = std::move(directory);
  activeSessions_ = std::move(slots);
  tableList_ = std::move(tableList);
  lockManager_ = std::move(lockManager);
  diskPageManager_ = pageManager.get();
  pageManager_ = std::move(pageManager);

  session.NeedsRepair = needsRepair;
  session.KeptAsideJournal = diskPageManager_->KeptAsideJournal();
  session.MultiUser = multiUser;
  session.ReadOnly = readOnly;
}

void TZDBDiskDatabaseData::Close() {
  if (!IsOpen()) return;
  systemDirectory_.reset();
  tableList_.reset();
  activeSessions_.reset();
  lockManager_.reset();
  slotsClaimed_ = false;
  std::exception_ptr error;
  try {
    diskPageManager_->CloseDatabaseFile();
  } catch (...) {
    // Uncommitted pages of a session that never ended its transaction: they are lost
    // either way, and the file must not stay open with nobody to close it.
    error = std::current_exception();
  }
  diskPageManager_ = nullptr;
  pageManager_.reset();
  if (error) std::rethrow_exception(error);
}

// --- sessions ----------------------------------------------------------------------------------

void TZDBDiskDatabaseData::AddSession(TZDBSessionConnection& session) {
  Guard guard(lock_);
  if (HasSession(session)) return;
  const bool opening = !IsOpen();
  if (opening) Open(session);
  try {
    // A single-user session joins a process that reads a file others use as they do.
    if (session.MultiUser != multiUser_ && !(readingAmongOthers_ && !session.MultiUser))
      RaiseError(errors::ModeMismatch);
    if (!multiUser_ && !slotsClaimed_) {
      slotsClaimed_ = ClaimAllSlots(*activeSessions_);
      if (!slotsClaimed_) ReadAmongOthers();
    }
    if (multiUser_) {
      session.SessionID = ConnectSession(*activeSessions_);
      session.MultiUser = true;
    } else {
      session.SessionID = 0;
    }
    session.ReadOnly = session.ReadOnly || readOnly_;
    sessions_.push_back(&session);
  } catch (...) {
    session.SessionID = -1;
    if (opening) {
      try {
        Close();
      } catch (...) {  // the connect's own error is the one to report
      }
    }
    throw;
  }
}

void TZDBDiskDatabaseData::ReadAmongOthers() {
  // Others are connected: this process may look, not change; and it looks the way they
  // do, with the read locks, the commit stamps and the recovery of a dead writer, or it
  // would read their commits half done and trust its cache for ever.
  readOnly_ = true;
  multiUser_ = true;
  readingAmongOthers_ = true;
  diskPageManager_->SetMultiUser(true);
}

void TZDBDiskDatabaseData::GiveBackNumber(const TZDBSessionConnection& session) {
  if (multiUser_) {
    DisconnectSession(*activeSessions_, session.SessionID);
  } else if (slotsClaimed_ && sessions_.size() == 1) {
    slotsClaimed_ = false;
    ReleaseAllSlots(*activeSessions_);
  }
}

void TZDBDiskDatabaseData::RemoveSession(TZDBSessionConnection& session) {
  Guard guard(lock_);
  if (!HasSession(session)) return;
  std::exception_ptr error;
  try {
    GiveBackNumber(session);
  } catch (...) {
    error = std::current_exception();
  }
  UnlistSession(session);
  session.SessionID = -1;
  if (sessions_.empty()) {
    try {
      Close();
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
}

// --- creating a database -----------------------------------------------------------------------

void TZDBDiskDatabaseData::CreateDatabase() {
  Guard guard(lock_);
  if (IsOpen()) RaiseError(errors::DatabaseAlreadyOpen);
  if (pageSize_ < layout::MinPageSize || pageSize_ > layout::MaxPageSize)
    RaiseError(errors::InvalidPageSize, {pageSize_, layout::MinPageSize, layout::MaxPageSize});
  if (pagesPerExtent_ < layout::MinPagesPerExtent || pagesPerExtent_ > layout::MaxPagesPerExtent)
    RaiseError(errors::InvalidPagesPerExtent, {pagesPerExtent_, layout::MinPagesPerExtent, layout::MaxPagesPerExtent});

  auto pageManager = std::make_unique<TZDBDiskPageManager>(fileSystem_);
  pageManager->CreateDatabaseFile(fileName_, password_, static_cast<uint16_t>(pagesPerExtent_),
                                  static_cast<uint16_t>(pageSize_));
  try {
    TZDBSystemDirectory directory(*pageManager);
    directory.Create();
    TZDBActiveSessionsFile slots(*pageManager);
    directory.AddEntry(TZDBSystemDirectory::ActiveSessionsFileId, slots.Create(slotCount_));
    TZDBTableListFile tableList(*pageManager);
    directory.AddEntry(TZDBSystemDirectory::TableListFileId, tableList.Create(SystemSession));
    directory.Save();
    pageManager->ApplyChanges(SystemSession);
    pageManager->CloseDatabaseFile();
  } catch (...) {
    // A file without its system files is no database: take it away.
    pageManager.reset();
    uint32_t ignored = 0;
    fileSystem_.Delete(fileName_, ignored);
    throw;
  }
}

// --- table data and transactions --------------------------------------------------------------

TZDBBaseTableData& TZDBDiskDatabaseData::CreateTableData(std::string_view tableName) {
  Guard guard(lock_);
  TZDBTableDataFactory factory;
  {
    std::lock_guard<std::mutex> factoryGuard(factoryMutex);
    factory = Factory();
  }
  if (!factory) RaiseError(errors::NoTableDataFactory);
  return AdoptTableData(factory(*this, tableName));
}

int32_t TZDBDiskDatabaseData::GetNextObjectID() {
  Guard guard(lock_);
  if (!IsOpen()) RaiseError(errors::ClosedObjectID);
  return diskPageManager_->TakeObjectID();
}

void TZDBDiskDatabaseData::Commit(int32_t session, bool flush) {
  Guard guard(lock_);
  if (!IsOpen()) return;
  // The system session creates and restructures tables under the tables lock byte and
  // holds no table locks of its own.
  const bool tableLocks = multiUser_ && session >= 0;
  if (tableLocks && !lockManager_->LockModifiedTables(session)) RaiseError(errors::CommitLocks);
  try {
    diskPageManager_->ApplyChanges(session);
  } catch (...) {
    // A commit that could not keep the session's transaction for a retry rolled it back
    // whole in the file: the tables' own state and locks follow it.
    if (!diskPageManager_->HasSessionChanges(session)) {
      try {
        Rollback(session);
      } catch (...) {  // the commit's own failure is the one to report
      }
    }
    throw;
  }
  // The commit is durable now; what fails from here on must not report it as failed,
  // or a caller would do it twice. A flush has nothing left to do, and locks that cannot
  // be released go with the session.
  try {
    if (flush) FlushBuffers();
    if (tableLocks) lockManager_->ReleaseTransactionLocks(session);
  } catch (const EZDBException&) {
  }
}

void TZDBDiskDatabaseData::Rollback(int32_t session) {
  Guard guard(lock_);
  if (!IsOpen()) return;
  if (multiUser_ && session >= 0) lockManager_->ReleaseTransactionLocks(session);
  TZDBDatabaseData::Rollback(session);
}

void TZDBDiskDatabaseData::FlushBuffers() {
  Guard guard(lock_);
  if (IsOpen()) diskPageManager_->FlushFileBuffers();
}

// --- table list --------------------------------------------------------------------------------

void TZDBDiskDatabaseData::GetTableNames(std::vector<std::string>& list) {
  Guard guard(lock_);
  if (!tableList_) return;
  for (std::string& name : tableList_->List(SystemSession)) list.push_back(std::move(name));
}

TZDBTableListFile& TZDBDiskDatabaseData::RequireTableList(const TZDBError& errorCode) {
  if (!tableList_ || !tableList_->IsOpen()) RaiseError(errorCode);
  return *tableList_;
}

template <typename Change>
void TZDBDiskDatabaseData::ChangeTableList(const TZDBError& nilErrorCode, Change change) {
  Guard guard(lock_);
  TZDBTableListFile& tableList = RequireTableList(nilErrorCode);
  change(tableList);
  try {
    tableList.Save(SystemSession);
  } catch (...) {
    // The copy in memory must not claim a change the file does not have.
    try {
      tableList.Load(SystemSession);
    } catch (...) {  // the save's error is the one to report
    }
    throw;
  }
}

void TZDBDiskDatabaseData::AddTableToList(std::string_view tableName, int32_t objectID, int32_t metaDataStartPageNo,
                                          int32_t mostUpdatedStartPageNo, int32_t locksStartPageNo) {
  ChangeTableList(errors::TableListGetNil, [&](TZDBTableListFile& tableList) {
    tableList.Add(tableName, objectID, metaDataStartPageNo, mostUpdatedStartPageNo, locksStartPageNo);
  });
}

TZDBTableListEntry TZDBDiskDatabaseData::GetTableFromList(std::string_view tableName) {
  Guard guard(lock_);
  return RequireTableList(errors::TableListGetNil).Get(tableName);
}

void TZDBDiskDatabaseData::RemoveTableFromList(std::string_view tableName) {
  ChangeTableList(errors::TableListRemoveNil, [&](TZDBTableListFile& tableList) { tableList.Remove(tableName); });
}

void TZDBDiskDatabaseData::RenameTableInList(std::string_view oldName, std::string_view newName) {
  ChangeTableList(errors::TableListRenameNil,
                  [&](TZDBTableListFile& tableList) { tableList.Rename(oldName, newName); });
}

// --- file-wide operations ----------------------------------------------------------------------

void TZDBDiskDatabaseData::LockTables() {
  Guard guard(lock_);
  if (IsOpen()) diskPageManager_->LockTables();
}

void TZDBDiskDatabaseData::UnlockTables() {
  Guard guard(lock_);
  if (IsOpen()) diskPageManager_->UnlockTables();
}

void TZDBDiskDatabaseData::TrimFile() {
  Guard guard(lock_);
  if (!IsOpen()) return;
  TZDBDiskPageManager& pageManager = *diskPageManager_;
  TZDBDatabaseLockGuard databaseLock(pageManager.DatabaseLock(), errors::CommitLocked,
                                     pageManager.LockRetry());
  TZDBFileHeader& header = pageManager.MutableHeader();
  header = pageManager.ReadHeader();
  const int32_t pageCount = header.LastUsedPageNo + 1;
  // The header first: a crash before the cut leaves a longer file than the header says,
  // which opens; the other way round it would claim pages the file no longer has.
  header.TotalPageCount = pageCount;
  pageManager.WriteHeader();
  pageManager.File().SetSize(pageManager.PageAreaStart() + static_cast<int64_t>(pageCount) * pageManager.PageSize());
  pageManager.FreeSpaceManager().LoadCounts();
}

}  // namespace zdb
