// The disk page manager's write transactions: the journal around every change of the
// file, the commit, and the recovery of a transaction that a crash or a failure cut short.
// The protocol is described in ZDBRollbackJournal.h.
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBRollbackJournal.h"

namespace zdb {
namespace {

namespace L = layout;

int32_t WrappingIncrement(int32_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value) + 1u); }

}  // namespace

// --- the write transaction ---------------------------------------------------------------------

void TZDBDiskPageManager::BeginWriteTransaction(const TZDBError& errorCode) {
  if (writeTransaction_) return;
  databaseLock_.Lock(errorCode, lockRetry_);
  try {
    // A valid journal found under the lock was left by a writer that died.
    if (RecoverJournal()) recoveryPending_ = false;
    ReadHeader();
    if (freeSpace_) freeSpace_->LoadCounts();
    if (!journal_) journal_ = std::make_unique<TZDBRollbackJournal>(file_.FileSystem(), file_.FileName());
    unjournaledPages_ = AllNewPageNumbers();
    std::sort(unjournaledPages_.begin(), unjournaledPages_.end());
    journaledFileSize_ = file_.GetSize();

    TZDBJournalPrologue prologue;
    prologue.PageSize = PageSize();
    prologue.FileSize = journaledFileSize_;
    prologue.HeaderPosition = headerPosition_;
    prologue.CommitCounter = header_.CommitCounter;
    header_.Encode(prologue.Header);
    prologue.NewPages = unjournaledPages_;
    journal_->Begin(prologue);
  } catch (...) {
    databaseLock_.Unlock();
    throw;
  }
  writeTransaction_ = true;
}

void TZDBDiskPageManager::EndWriteTransaction() noexcept {
  if (!writeTransaction_) return;
  writeTransaction_ = false;
  unjournaledPages_.clear();
  try {
    if (journal_ && journal_->Active()) journal_->Invalidate(false);
  } catch (const EZDBException&) {
    // Everything the journal protected is in the file; a journal left valid is
    // recognised as belonging to a finished commit, or rolls back no more than was
    // already undone.
  }
  databaseLock_.Unlock();
}

void TZDBDiskPageManager::EndOrRenewWriteTransaction() {
  if (!writeTransaction_) return;
  if (AllNewPageNumbers().empty()) {
    EndWriteTransaction();
    return;
  }
  // Another session of this process still has pages added: a new journal from the file
  // as it is now keeps what was committed and lists those pages to give back.
  EndWriteTransaction();
  BeginWriteTransaction(errors::CommitLocked);
  journal_->Sync();
}

void TZDBDiskPageManager::ChangesCancelled(int32_t /*session*/) { EndOrRenewWriteTransaction(); }

void TZDBDiskPageManager::JournalBeforeWrite(int32_t pageNo) {
  if (!writeTransaction_ || recovering_ || !journal_ || !journal_->Active()) return;
  if (pageNo != NoPage && !std::binary_search(unjournaledPages_.begin(), unjournaledPages_.end(), pageNo)) {
    // A page added by this process before the journal began has nothing to restore.
    JournalPage(pageNo);
  }
  if (journal_->HasUnsynced()) journal_->Sync();
}

void TZDBDiskPageManager::JournalPage(int32_t pageNo) {
  if (pageNo < 0) return;
  const int64_t position = PagePosition(pageNo);
  // A page beyond the file's end when the journal began has no old content.
  if (position + PageSize() > journaledFileSize_ || journal_->HasImage(position)) return;
  std::vector<uint8_t> image(PageSize());
  file_.ReadBuffer(image.data(), position, image.size(), errors::JournalImageRead);
  journal_->AddImage(position, image.data(), image.size());
}

const TZDBFileHeader& TZDBDiskPageManager::ReadHeaderForChange() {
  ReadHeader();
  // WriteState 1 under the lock and no write transaction of ours: a writer died in its
  // commit, or our own rollback of a failed one could not finish.
  if ((header_.WriteState != L::WriteStateConsistent || recoveryPending_) && !recovering_ && !readOnly_ &&
      !writeTransaction_ && journal_) {
    if (RecoverJournal()) ReadHeader();
    recoveryPending_ = false;
  }
  return header_;
}

void TZDBDiskPageManager::RecoverDeadWriter() {
  if (readOnly_ || recovering_ || writeTransaction_ || !journal_ || databaseLock_.Count() > 0) return;
  if (!databaseLock_.TryLock()) return;
  const TZDBDatabaseLockGuard lock(databaseLock_, std::adopt_lock);
  ReadHeaderForChange();
}

// --- commit ------------------------------------------------------------------------------------

void TZDBDiskPageManager::ApplyChanges(int32_t session) {
  if (!HasSessionChanges(session)) {
    TZDBPageManager::ApplyChanges(session);
    return;
  }
  RequireOpenFile("ApplyChanges");
  TZDBDatabaseLockGuard lock(databaseLock_, errors::CommitLocked, lockRetry_);
  ApplyJournaledChanges(session);
}

void TZDBDiskPageManager::ApplyJournaledChanges(int32_t session) {
  if (recoveryPending_) ReadHeaderForChange();
  BeginWriteTransaction(errors::CommitLocked);
  try {
    JournalCommit(session);
    ReadHeader();
    header_.WriteState = L::WriteStateWriting;
    WriteHeader();
    TZDBPageManager::ApplyChanges(session);
    file_.FlushFileBuffers();
    header_.CommitCounter = WrappingIncrement(header_.CommitCounter);
    header_.WriteState = L::WriteStateConsistent;
    WriteHeader();
    file_.FlushFileBuffers();
  } catch (...) {
    RollBackFailedCommit(session);
    throw;
  }
  EndOrRenewWriteTransaction();
}

void TZDBDiskPageManager::JournalCommit(int32_t session) {
  // Every existing page the commit writes, and for each page it frees the page itself
  // (its version is retired) and the two bitmap pages the free changes.
  std::vector<int32_t> pages = PrivatePageNumbers(session);
  for (const int32_t pageNo : RemovedPageNumbers(session)) {
    pages.push_back(pageNo);
    if (pageNo < 0) continue;
    pages.push_back(static_cast<int32_t>(freeSpace_->PFSPageNo(pageNo / freeSpace_->PagesPerPFSPage())));
    const int64_t extent = pageNo / freeSpace_->PagesPerExtent();
    pages.push_back(static_cast<int32_t>(freeSpace_->EAMPageNo(extent / freeSpace_->ExtentsPerEAMPage())));
  }
  const std::vector<int32_t> added = NewPageNumbers(session);
  for (const int32_t pageNo : pages) {
    if (std::find(added.begin(), added.end(), pageNo) == added.end() &&
        !std::binary_search(unjournaledPages_.begin(), unjournaledPages_.end(), pageNo))
      JournalPage(pageNo);
  }
  // One flush for the lot, before the first byte of the database changes.
  journal_->Sync();
}

// --- failure and recovery ----------------------------------------------------------------------

void TZDBDiskPageManager::RollBackFailedCommit(int32_t session) noexcept {
  writeTransaction_ = false;
  unjournaledPages_.clear();
  try {
    RecoverJournal();
    // The session's added pages went with the rollback.
    ForgetNewPageNumbers(session);
  } catch (...) {
    recoveryPending_ = true;
    if (journal_) journal_->Close();
  }
  databaseLock_.Unlock();
  // What the cache holds may be the failed commit's.
  DiscardCachedPages();
  try {
    ReadHeader();
    if (freeSpace_) freeSpace_->LoadCounts();
  } catch (...) {
    // The next change of the file reads the header again.
  }
}

bool TZDBDiskPageManager::RecoverJournal() {
  if (!journal_) return false;
  const std::optional<TZDBJournalContents> contents = journal_->ReadValid();
  if (!contents) {
    journal_->Close();
    return false;
  }
  const TZDBJournalPrologue& prologue = contents->Prologue;
  std::array<uint8_t, L::HeaderSize> bytes{};
  file_.ReadBuffer(bytes.data(), prologue.HeaderPosition, bytes.size(), errors::HeaderRead);
  const TZDBFileHeader current = TZDBFileHeader::Decode(bytes);
  if (current.WriteState == L::WriteStateConsistent &&
      current.CommitCounter == WrappingIncrement(prologue.CommitCounter)) {
    // The commit reached its end; only the journal's invalidation was lost.
    if (!readOnly_) journal_->Invalidate(false);
    journal_->Close();
    return false;
  }
  if (readOnly_)
    RaiseError(errors::NeedsRecovery, {file_.FileName()});
  RollBack(*contents);
  return true;
}

void TZDBDiskPageManager::RollBack(const TZDBJournalContents& contents) {
  const TZDBScopedFlag scope(recovering_, true);
  const TZDBJournalPrologue& prologue = contents.Prologue;
  if (file_.GetSize() != prologue.FileSize) file_.SetSize(prologue.FileSize);
  for (const TZDBJournalRecord& record : contents.Records)
    file_.WriteBuffer(record.Image.data(), record.Position, record.Image.size(), errors::PageWrite);
  // The header as it was, but for its commit counter, which moves past the values both of
  // the state before and of the interrupted commit: a reader in another process that read
  // pages while the commit was under way must not find its commit stamp unchanged.
  TZDBFileHeader header = TZDBFileHeader::Decode(prologue.Header);
  header.CommitCounter = WrappingIncrement(WrappingIncrement(prologue.CommitCounter));
  std::array<uint8_t, L::HeaderSize> bytes{};
  header.Encode(bytes);
  file_.WriteBuffer(bytes.data(), prologue.HeaderPosition, bytes.size(), errors::HeaderWrite);
  ReadHeader();
  if (freeSpace_) {
    freeSpace_->LoadCounts();
    FreeAbandonedPages(prologue.NewPages);
  }
  file_.FlushFileBuffers();
  journal_->Invalidate(true);
  journal_->Close();
  DiscardCachedPages();
}

void TZDBDiskPageManager::FreeAbandonedPages(const std::vector<int32_t>& pageNos) {
  for (const int32_t pageNo : pageNos) {
    // A page added before may be free already: its allocation never reached the disk, or
    // a repeated recovery freed it before.
    if (pageNo < 0 || pageNo >= freeSpace_->TotalPageCount() || freeSpace_->IsSystemPage(pageNo) ||
        !freeSpace_->IsPageUsed(pageNo))
      continue;
    InternalRemovePage(pageNo);
  }
}

}  // namespace zdb
