// The disk page manager's recovery: whether a journal found beside the file belongs to it,
// under its own name or another name of the same file, and the rollback of the commit it
// protects. The protocol is described in ZDBRollbackJournal.h.
#include <array>
#include <memory>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBScopedFlag.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBReadOverlay.h"
#include "engine/file/ZDBRollbackJournal.h"

namespace zdb {
namespace {

namespace L = layout;

}  // namespace

bool TZDBDiskPageManager::RecoverJournal() {
  if (!journal_) return false;
  // Decided on the file as it is, not as an earlier read through the journal showed it.
  file_.ClearReadOverlay();
  std::optional<TZDBJournalContents> contents = journal_->ReadValid();
  if (contents && !JournalBelongsHere(*contents)) {
    // A reader leaves it where it is: it writes nothing, names included.
    if (!readOnly_) KeepJournalAside(*journal_, contents->Prologue.Salt);
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
  // A rollback must end with the journal invalidated, or it would be rolled back again
  // over later commits: whoever cannot write both leaves the rollback to someone who can.
  const bool mayRollBack = !readOnly_ && journal.Writable();
  if (!ownFailedTransaction && current.WriteState == L::WriteStateConsistent &&
      current.CommitCounter == TZDBFileHeader::NextCommitCounter(prologue.CommitCounter)) {
    // The commit reached its end; only the journal's invalidation was lost.
    if (mayRollBack) journal.Invalidate(false);
    journal.Close();
    return false;
  }
  if (!mayRollBack) {
    ReadThroughJournal(contents);
    journal.Close();
    return true;
  }
  RollBack(journal, contents);
  return true;
}

void TZDBDiskPageManager::ReadThroughJournal(const TZDBJournalContents& contents) {
  const TZDBJournalPrologue& prologue = contents.Prologue;
  std::vector<uint8_t> guard(L::HeaderSize);
  file_.ReadBuffer(guard.data(), prologue.HeaderPosition, guard.size(), errors::HeaderRead);
  auto overlay = std::make_unique<TZDBReadOverlay>(prologue.FileSize, prologue.HeaderPosition, std::move(guard));
  for (const TZDBJournalRecord& record : contents.Records) overlay->Add(record.Position, record.Image);
  overlay->Add(prologue.HeaderPosition, std::vector<uint8_t>(prologue.Header.begin(), prologue.Header.end()));
  file_.SetReadOverlay(std::move(overlay));
  ReadHeader();
  if (freeSpace_) freeSpace_->LoadCounts();
  DiscardCachedPages();
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
  for (const TZDBJournalRecord& record : contents.Records) {
    std::vector<uint8_t> image = record.Image;
    SkipInterruptedVersion(record.Position, image);
    file_.WriteBuffer(image.data(), record.Position, image.size(), errors::PageWrite);
  }
  // The header as it was, but for its commit counter, which moves past the values both of
  // the state before and of the interrupted commit: a reader in another process that read
  // pages while the commit was under way must not find its commit stamp unchanged.
  TZDBFileHeader header = TZDBFileHeader::Decode(prologue.Header);
  header.CommitCounter = TZDBFileHeader::NextCommitCounter(TZDBFileHeader::NextCommitCounter(prologue.CommitCounter));
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

void TZDBDiskPageManager::SkipInterruptedVersion(int64_t position, std::vector<uint8_t>& image) const {
  const int64_t offset = position - pageAreaStart_;
  if (offset < 0 || offset % PageSize() != 0 || image.size() != static_cast<size_t>(PageSize())) return;
  const auto pageNo = static_cast<int32_t>(offset / PageSize());
  // Bitmap pages carry no version.
  if (freeSpace_ && freeSpace_->IsSystemPage(pageNo)) return;
  const int32_t version = le::GetI32(image.data() + TZDBPage::PageVersionOffset);
  if (version < 0 || version >= L::PageVersionWrap) return;
  // The interrupted commit wrote version + 1; the restored page takes the one after, so
  // that no reader who saw that commit's page takes it for the restored one.
  const auto next = [](int64_t v) { return v + 1 >= L::PageVersionWrap ? 0 : v + 1; };
  le::PutI32(image.data() + TZDBPage::PageVersionOffset, static_cast<int32_t>(next(next(version))));
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
