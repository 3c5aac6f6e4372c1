// The disk page manager's write transactions: the journal around every change of the
// file, the commit, and the recovery of a transaction that a crash or a failure cut short.
// The protocol is described in ZDBRollbackJournal.h.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <optional>
#include <vector>

#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/file/ZDBCommitUndo.h"
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
    RecoverJournal();
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
  if ((header_.WriteState != L::WriteStateConsistent || recoveryPending_) && !recovering_ && !readOnly_ &&
      !writeTransaction_ && journal_) {
    if (RecoverJournal() || (header_.WriteState != L::WriteStateConsistent && RecoverJournalsOfOtherNames()))
      ReadHeader();
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
    header_.CommitCounter = WrappingIncrement(header_.CommitCounter);
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

// --- failure and recovery ----------------------------------------------------------------------

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

bool TZDBDiskPageManager::RecoverJournal() {
  if (!journal_) return false;
  std::optional<TZDBJournalContents> contents = journal_->ReadValid();
  if (contents && !JournalBelongsHere(*contents)) {
    KeepJournalAside(*journal_, contents->Prologue.Salt);
    contents.reset();
  }
  if (!contents) {
    journal_->Close();
    return false;
  }
  return RecoverFrom(*journal_, *contents);
}

bool TZDBDiskPageManager::RecoverFrom(TZDBRollbackJournal& journal, const TZDBJournalContents& contents) {
  const TZDBJournalPrologue& prologue = contents.Prologue;
  const TZDBFileHeader current = ReadHeaderAt(prologue.HeaderPosition);
  const bool ownFailedTransaction = failedJournalSalt_ == prologue.Salt;
  if (!ownFailedTransaction && current.WriteState == L::WriteStateConsistent &&
      current.CommitCounter == WrappingIncrement(prologue.CommitCounter)) {
    // The commit reached its end; only the journal's invalidation was lost.
    if (!readOnly_) journal.Invalidate(false);
    journal.Close();
    return false;
  }
  if (readOnly_)
    RaiseError(errors::NeedsRecovery, {file_.FileName()});
  RollBack(journal, contents);
  return true;
}

TZDBFileHeader TZDBDiskPageManager::ReadHeaderAt(int64_t position) {
  std::array<uint8_t, L::HeaderSize> bytes{};
  file_.ReadBuffer(bytes.data(), position, bytes.size(), errors::HeaderRead);
  return TZDBFileHeader::Decode(bytes);
}

TZDBJournalIdentity TZDBDiskPageManager::JournalIdentity() const {
  TZDBJournalIdentity identity;
  if (fileIdentity_) {
    identity.Device = fileIdentity_->Device;
    identity.Inode = fileIdentity_->Inode;
  }
  std::array<uint8_t, L::EncryptionRecordSize> record{};
  encryptionRecord_.Encode(record);
  identity.EncryptionCrc = Crc32(record.data(), record.size());
  return identity;
}

bool TZDBDiskPageManager::JournalBelongsHere(const TZDBJournalContents& contents) {
  const TZDBJournalPrologue& prologue = contents.Prologue;
  if (prologue.PageSize != PageSize() || prologue.HeaderPosition != headerPosition_) return false;
  const TZDBFileHeader before = TZDBFileHeader::Decode(prologue.Header);
  const TZDBFileHeader current = ReadHeaderAt(headerPosition_);
  if (!before.HasValidSignature() || before.PageSize != current.PageSize ||
      before.PagesPerExtent != current.PagesPerExtent || before.IsEncrypted() != current.IsEncrypted())
    return false;
  // A copy of the file keeps its encryption record; another database has its own (an
  // encrypted one a random check block, so a replaced file never matches).
  if (prologue.Identity && prologue.Identity->EncryptionCrc != JournalIdentity().EncryptionCrc) return false;
  // The journal's commit left the counter where it was (cut short), one further
  // (finished) or two (rolled back once already); a file that went on without the
  // journal, or another file, has its own count.
  const uint32_t steps = static_cast<uint32_t>(current.CommitCounter) - static_cast<uint32_t>(prologue.CommitCounter);
  return steps <= 2;
}

void TZDBDiskPageManager::KeepJournalAside(TZDBRollbackJournal& journal, uint32_t salt) {
  journal.Close();
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-kept-%08x", salt);
  const std::string keptName = journal.FileName() + suffix;
  uint32_t error = 0;
  // Renamed, not deleted: it may be all that is left of another database's last commit.
  if (file_.FileSystem().Rename(journal.FileName(), keptName, error)) keptAsideJournal_ = keptName;
}

bool TZDBDiskPageManager::RecoverJournalsOfOtherNames() {
  os::FileSystem& fileSystem = file_.FileSystem();
  os::FileIdentity identity;
  if (!fileSystem.Identify(file_.FileName(), identity) || identity.LinkCount < 2) return false;
  // Another name of this file (a hard link) has a journal of its own name; the identity
  // it carries says whose it is.
  const std::filesystem::path ownPath(file_.FileName());
  std::vector<std::string> names;
  if (!fileSystem.ListFolder(ownPath.parent_path().string(), names)) return false;
  const std::string_view suffix = TZDBRollbackJournal::FileNameSuffix;
  bool recovered = false;
  for (const std::string& name : names) {
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) continue;
    const std::string databaseName = (ownPath.parent_path() / name.substr(0, name.size() - suffix.size())).string();
    if (journal_ && TZDBRollbackJournal::FileNameFor(databaseName) == journal_->FileName()) continue;
    TZDBRollbackJournal other(fileSystem, databaseName);
    const std::optional<TZDBJournalContents> contents = other.ReadValid();
    if (contents && contents->Prologue.Identity && contents->Prologue.Identity->Device == identity.Device &&
        contents->Prologue.Identity->Inode == identity.Inode && JournalBelongsHere(*contents))
      recovered = RecoverFrom(other, *contents) || recovered;
    other.Close();
  }
  return recovered;
}

void TZDBDiskPageManager::RollBack(TZDBRollbackJournal& journal, const TZDBJournalContents& contents) {
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
  // Every page the transaction wrote is rewritten or cut off, and flushed: nothing of the
  // writes a failed flush left in doubt matters any more.
  databaseWritesLost_ = false;
  failedJournalSalt_.reset();
  journal.Invalidate(true);
  journal.Close();
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
