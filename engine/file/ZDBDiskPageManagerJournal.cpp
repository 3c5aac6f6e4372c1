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
#include "engine/file/ZDBCommitUndo.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBRollbackJournal.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

namespace L = layout;

}  // namespace

// --- the write transaction ---------------------------------------------------------------------

void TZDBDiskPageManager::BeginWriteTransaction(const TZDBError& errorCode) {
  if (writeTransaction_) return;
  // A write that cannot succeed touches nothing: no journal is made, no byte written.
  if (readOnly_) RaiseError(errors::DatabaseReadOnly, {file_.FileName()});
  databaseLock_.Lock(errorCode, lockRetry_);
  try {
    // A valid journal found under the lock was left by a writer that died.
    RecoverJournal();
    // Read through, not rolled back: the journal cannot be written by this process.
    if (file_.HasReadOverlay()) RaiseError(errors::NeedsRecovery, {file_.FileName()});
    recoveryPending_ = false;
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
    prologue.Identity = JournalIdentity();
    journal_->Begin(prologue);
  } catch (...) {
    databaseLock_.Unlock();
    throw;
  }
  writeTransaction_ = true;
}

void TZDBDiskPageManager::EndWriteTransaction() noexcept {
  if (!writeTransaction_) return;
  // What the transaction wrote outside a commit (pages allocated, a rollback's pages
  // freed, the size grown or cut) must be durable before the journal stops covering it.
  try {
    FlushDatabase();
  } catch (const EZDBException&) {
    AbandonWriteTransaction();
    return;
  }
  writeTransaction_ = false;
  unjournaledPages_.clear();
  // Once the byte is let go, others may change the bitmaps.
  if (freeSpace_) freeSpace_->LoadCounts();
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
  // A page added by this process before the journal began, or by the committing session,
  // has nothing to restore.
  if (pageNo != NoPage && !std::binary_search(unjournaledPages_.begin(), unjournaledPages_.end(), pageNo) &&
      !(commitUndo_ != nullptr && commitUndo_->IsSessionNewPage(pageNo))) {
    JournalPage(pageNo);
  }
  // A journal that failed protects nothing more: the write must not happen.
  if (journal_->HasUnsynced() || journal_->Failed()) journal_->Sync();
}

void TZDBDiskPageManager::JournalBeforeCut(const std::vector<int32_t>& bitmapPages) {
  // The pages cut off are free, but the bitmap pages among them are not data: a rollback
  // restores the old size with zeros, so their images must be in the journal.
  for (const int32_t pageNo : bitmapPages) JournalBeforeWrite(pageNo);
  JournalBeforeWrite(NoPage);
}

void TZDBDiskPageManager::JournalPage(int32_t pageNo) {
  if (pageNo < 0) return;
  const int64_t position = PagePosition(pageNo);
  // A page beyond the file's end when the journal began has no old content.
  const bool forJournal = position + PageSize() <= journaledFileSize_ && !journal_->HasImage(position);
  const bool forUndo = commitUndo_ != nullptr && commitUndo_->Wants(pageNo, position, PageSize());
  if (!forJournal && !forUndo) return;
  std::vector<uint8_t> image(PageSize());
  file_.ReadBuffer(image.data(), position, image.size(), errors::JournalImageRead);
  if (forJournal) journal_->AddImage(position, image.data(), image.size());
  if (forUndo) commitUndo_->Keep(position, std::move(image));
}

void TZDBDiskPageManager::FlushDatabase() {
  try {
    file_.FlushFileBuffers();
  } catch (const EZDBException&) {
    // Whatever was written since the last good flush may never reach the disk, whatever a
    // later flush says: only a rollback that writes it all again can be trusted now.
    databaseWritesLost_ = true;
    throw;
  }
}

const TZDBFileHeader& TZDBDiskPageManager::ReadHeaderForChange() {
  ReadHeader();
  // WriteState 1 under the lock and no write transaction of ours: a writer died in its
  // commit, or our own rollback of a failed one could not finish.
  if ((header_.WriteState != L::WriteStateConsistent || recoveryPending_) && !recovering_ && !writeTransaction_ &&
      journal_) {
    if (RecoverJournal() || (header_.WriteState != L::WriteStateConsistent && RecoverJournalsOfOtherNames()))
      ReadHeader();
    recoveryPending_ = false;
  }
  return header_;
}

bool TZDBDiskPageManager::RecoverDeadWriter() {
  // This process's own transaction, or its hold of the byte, is nobody else's commit.
  if (recovering_ || writeTransaction_ || !journal_ || databaseLock_.Count() > 0) return true;
  if (!databaseLock_.TryLock()) return false;
  const TZDBDatabaseLockGuard lock(databaseLock_, std::adopt_lock);
  ReadHeaderForChange();
  return true;
}

bool TZDBDiskPageManager::AwaitCompleteCommit(std::optional<int64_t>& stamp) {
  for (int32_t attempt = 1;; ++attempt) {
    stamp = CommitStamp();
    if (stamp) return true;
    const bool noWriterElsewhere = RecoverDeadWriter();
    stamp = CommitStamp();
    // Marked in a commit that nobody writes and no journal undoes, the file was damaged by
    // other means: it is read as it is (it opens with NeedsRepair).
    if (stamp || noWriterElsewhere) return true;
    if (attempt >= lockRetry_.attempts) return false;
    os::SleepMs(lockRetry_.delayMs);
  }
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
  TZDBCommitUndo undo;
  try {
    const TZDBScopedValue<TZDBCommitUndo*> undoing(commitUndo_, &undo);
    std::array<uint8_t, L::HeaderSize> headerBytes{};
    ReadHeader().Encode(headerBytes);
    undo.Begin(file_.GetSize(), headerBytes, NewPageNumbers(session));
    JournalCommit(session);
    header_.WriteState = L::WriteStateWriting;
    WriteHeader();
    WriteSessionChanges(session);
    FlushDatabase();
    header_.CommitCounter = TZDBFileHeader::NextCommitCounter(header_.CommitCounter);
    header_.WriteState = L::WriteStateConsistent;
    WriteHeader();
    FlushDatabase();
  } catch (...) {
    UndoFailedCommit(session, undo);
    throw;
  }
  // The commit point is passed: the commit stands whatever follows, and what fails from
  // here on is for the next change of the file to meet.
  FinishSessionChanges(session);
  try {
    EndOrRenewWriteTransaction();
  } catch (const EZDBException&) {
    // The renewed journal was not begun; the next change of the file begins it.
  }
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
  std::vector<int32_t> added = NewPageNumbers(session);
  std::sort(added.begin(), added.end());
  for (const int32_t pageNo : pages) {
    if (!std::binary_search(added.begin(), added.end(), pageNo) &&
        !std::binary_search(unjournaledPages_.begin(), unjournaledPages_.end(), pageNo))
      JournalPage(pageNo);
  }
  // One flush for the lot, before the first byte of the database changes.
  journal_->Sync();
}

// --- a failed commit ---------------------------------------------------------------------------

void TZDBDiskPageManager::UndoFailedCommit(int32_t session, const TZDBCommitUndo& undo) noexcept {
  // While every write so far can still be trusted to reach the disk and the journal still
  // covers the transaction, the file goes back to where the commit found it and the
  // session keeps its whole transaction for a retry.
  if (!databaseWritesLost_ && journal_ && !journal_->Failed() && RestoreCommitStart(undo)) return;
  // Otherwise the whole transaction goes, in the file and in the session.
  AbandonWriteTransaction();
  DiscardSessionChanges(session);
}

bool TZDBDiskPageManager::RestoreCommitStart(const TZDBCommitUndo& undo) noexcept {
  try {
    if (file_.GetSize() != undo.FileSize()) file_.SetSize(undo.FileSize());
    for (const auto& [position, image] : undo.Images())
      file_.WriteBuffer(image.data(), position, image.size(), errors::PageWrite);
    file_.WriteBuffer(undo.Header().data(), headerPosition_, undo.Header().size(), errors::HeaderWrite);
    FlushDatabase();
    ReadHeader();
    if (freeSpace_) freeSpace_->LoadCounts();
    return true;
  } catch (const EZDBException&) {
    return false;
  }
}

void TZDBDiskPageManager::AbandonWriteTransaction() noexcept {
  writeTransaction_ = false;
  unjournaledPages_.clear();
  // Our own transaction failed before its commit point, whatever its header says by now.
  if (journal_ && journal_->Active()) failedJournalSalt_ = journal_->Salt();
  try {
    RecoverJournal();
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

}  // namespace zdb
