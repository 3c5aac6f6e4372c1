#include "engine/file/ZDBDiskPageManager.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "engine/base/ZDBCipherCodes.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBEncryption.h"
#include "engine/file/ZDBRollbackJournal.h"

namespace zdb {
namespace {

namespace L = layout;

// Reading GetTotalPageCount never waits: the caller asks again later.
constexpr TZDBLockRetry SingleAttempt{1, 0};

bool MatchesHeaderStart(const uint8_t* bytes) {
  return std::equal(L::Signature.begin(), L::Signature.end(), bytes) &&
         le::GetU16(bytes + L::HeaderSizeOffset) == L::HeaderSize;
}

}  // namespace

TZDBDiskPageManager::TZDBDiskPageManager(os::FileSystem& fileSystem, int32_t cacheCapacity)
    : TZDBPageManager(cacheCapacity), file_(fileSystem), databaseLock_(file_) {}

TZDBDiskPageManager::~TZDBDiskPageManager() {
  // A write transaction still open keeps its journal valid: the next open rolls it back.
  if (journal_) journal_->Close();
  freeSpace_.reset();
  databaseLock_.Reset();
  if (file_.IsOpen()) {
    try {
      file_.CloseFile();
    } catch (...) {
      // A destructor cannot report; the handle is gone either way.
    }
  }
}

void TZDBDiskPageManager::CheckNotServing(const TZDBError& errorCode) const {
  // A manager's cache belongs to the one file it served; it never serves another.
  if (file_.IsOpen() || served_) RaiseError(errorCode, {file_.FileName()});
}

void TZDBDiskPageManager::RequireOpenFile(const char* operation) const {
  if (!freeSpace_) RaiseError(errors::FileClosed, {operation});
}

TZDBDatabaseFreeSpaceManager& TZDBDiskPageManager::FreeSpaceManager() {
  RequireOpenFile("FreeSpaceManager");
  return *freeSpace_;
}

void TZDBDiskPageManager::SetProloguePositions(int64_t headerPosition, uint16_t headerSize, uint16_t lockAreaSize) {
  headerPosition_ = headerPosition;
  encryptionRecordPosition_ = headerPosition + headerSize;
  lockAreaPosition_ = encryptionRecordPosition_ + L::EncryptionRecordSize;
  objectIDCounterPosition_ = lockAreaPosition_ + lockAreaSize;
  pageAreaStart_ = objectIDCounterPosition_ + L::ObjectIDCounterSize;
  databaseLock_.SetPosition(lockAreaPosition_ + L::DatabaseLockByteOffset);
}

void TZDBDiskPageManager::CloseAfterFailure() {
  if (journal_) journal_->Close();
  journal_.reset();
  freeSpace_.reset();
  encryption_.reset();
  databaseLock_.Reset();
  if (file_.IsOpen()) file_.CloseFile();
  // No page was read from the file, so the manager may try again (another password, or
  // once the file is free).
  served_ = false;
}

// --- creating ----------------------------------------------------------------------------------

void TZDBDiskPageManager::CreateDatabaseFile(const std::string& fileName, const TZDBPassword& password,
                                             uint16_t pagesPerExtent, uint16_t pageSize) {
  CheckNotServing(errors::CreateInUse);
  if (pageSize < L::MinPageSize)
    RaiseError(errors::InvalidPageSize, {pageSize, L::MinPageSize, L::MaxPageSize});
  if (pagesPerExtent < L::MinPagesPerExtent)
    RaiseError(errors::InvalidPagesPerExtent, {pagesPerExtent, L::MinPagesPerExtent, L::MaxPagesPerExtent});
  // A cipher code we do not know would leave a file that no password opens.
  std::unique_ptr<TZDBDatabaseEncryption> encryption;
  if (!password.Empty()) {
    encryption = TZDBDatabaseEncryption::Create(password.Password, password.CipherCode);
    if (!encryption)
      RaiseError(errors::InvalidCipherCode, {password.CipherCode, 0, CipherCodeCount - 1});
  }

  password_ = password;
  SetPageSize(pageSize, L::PageHeaderSize);
  file_.CreateFile(fileName);
  served_ = true;
  journal_ = std::make_unique<TZDBRollbackJournal>(file_.FileSystem(), fileName);
  if (os::FileIdentity identity; file_.FileSystem().Identify(fileName, identity)) fileIdentity_ = identity;
  try {
    header_ = TZDBFileHeader::ForNewFile(pageSize, pagesPerExtent, encryption != nullptr);
    encryptionRecord_ = encryption ? encryption->NewEncryptionRecord() : TZDBEncryptionRecord{};
    lockArea_ = TZDBLockArea{};
    SetProloguePositions(0, L::HeaderSize, lockArea_.LockAreaSize);
    WriteHeader();
    WriteEncryptionRecord();
    WriteLockArea();
    WriteInitialObjectID();
    // A journal of an earlier file of this name would roll the new one back to the old.
    uint32_t journalError = 0;
    if (journal_->Exists() && !file_.FileSystem().Delete(journal_->FileName(), journalError)) {
      journal_->Invalidate(true);
      journal_->Close();
    }
    encryption_ = std::move(encryption);
    freeSpace_ = std::make_unique<TZDBDatabaseFreeSpaceManager>(*this);
    readOnly_ = false;
    exclusive_ = true;
    SetMultiUser(false);
  } catch (...) {
    // Half a prologue is no database: take it away rather than leave it to be opened.
    CloseAfterFailure();
    uint32_t error = 0;
    file_.FileSystem().Delete(fileName, error);
    throw;
  }
}

// --- opening -----------------------------------------------------------------------------------

bool TZDBDiskPageManager::IsWritable(const std::string& fileName, bool multiUser) {
  // A single-user open must be the only one, so its test allows no one else in either.
  uint32_t error = 0;
  std::unique_ptr<os::IFile> probe = file_.FileSystem().Open(
      fileName, os::AccessMode::ReadWrite, multiUser ? os::ShareMode::ReadWrite : os::ShareMode::Exclusive, error);
  if (!probe) return false;
  uint8_t firstByte = 0;
  size_t bytesRead = 0;
  if (!probe->Read(&firstByte, 0, 1, bytesRead) || bytesRead != 1) return true;
  return probe->Write(&firstByte, 0, 1);
}

bool TZDBDiskPageManager::OpenDatabaseFile(const std::string& fileName, const TZDBPassword& password,
                                           bool& multiUser, bool exclusive, bool& readOnly) {
  CheckNotServing(errors::OpenInUse);
  password_ = password;

  os::FileSystem& fileSystem = file_.FileSystem();
  if (readOnly) RecoverWithWriteAccess(fileName);
  // A file this process cannot write may still be written by others: it is read with the
  // coordination of the mode asked for.
  if (!readOnly && fileSystem.Exists(fileName) && (fileSystem.IsReadOnly(fileName) || !IsWritable(fileName, multiUser)))
    readOnly = true;
  uint8_t accessMode = TZDBDatabaseFile::AccessReadOnly;
  uint8_t shareMode = TZDBDatabaseFile::ShareReadWrite;
  if (!readOnly) {
    accessMode = TZDBDatabaseFile::AccessReadWrite;
    if (exclusive) {
      shareMode = TZDBDatabaseFile::ShareExclusive;
      multiUser = false;
    }
  }
  file_.OpenFile(fileName, accessMode, shareMode);
  served_ = true;
  readOnly_ = readOnly;
  exclusive_ = exclusive;
  SetMultiUser(multiUser);

  journal_ = std::make_unique<TZDBRollbackJournal>(fileSystem, fileName);
  if (os::FileIdentity identity; fileSystem.Identify(fileName, identity)) fileIdentity_ = identity;
  bool needsRepair = false;
  try {
    ReadPrologue(needsRepair);
    needsRepair = RecoverOnOpen();
  } catch (...) {
    CloseAfterFailure();
    throw;
  }
  return needsRepair;
}

void TZDBDiskPageManager::RecoverWithWriteAccess(const std::string& fileName) {
  os::FileSystem& fileSystem = file_.FileSystem();
  if (!fileSystem.Exists(TZDBRollbackJournal::FileNameFor(fileName)) || fileSystem.IsReadOnly(fileName)) return;
  try {
    TZDBDiskPageManager writer(fileSystem, 0);
    bool multiUser = true;
    bool readOnly = false;
    writer.SetLockRetry(lockRetry_);
    writer.OpenDatabaseFile(fileName, password_, multiUser, false, readOnly);
    writer.CloseDatabaseFile();
  } catch (const EZDBException&) {
    // The read-only open that follows reports what stands in the way.
  }
}

bool TZDBDiskPageManager::RecoverOnOpen() {
  TZDBDatabaseLockGuard lock(databaseLock_, errors::DatabaseLockedAtOpen, lockRetry_);
  if (RecoverJournal() || RecoverJournalsOfOtherNames()) ReadHeader();
  // Checked only now: an interrupted commit may have cut the file short.
  const int64_t described = pageAreaStart_ + static_cast<int64_t>(header_.TotalPageCount) * PageSize();
  if (const int64_t size = file_.GetSize(); size < described) {
    if (!acceptCutShort_) RaiseError(errors::DatabaseCutShort, {size, described});
    // For the salvage the file is what it holds: the pages beyond its end do not exist,
    // whatever count the header gives (nothing is written).
    header_.TotalPageCount = static_cast<int32_t>(std::max<int64_t>(size - pageAreaStart_, 0) / PageSize());
    header_.LastUsedPageNo = std::min(header_.LastUsedPageNo, header_.TotalPageCount - 1);
    freeSpace_->LoadCounts();
  }
  return header_.NeedsRepair();
}

void TZDBDiskPageManager::ReadPrologue(bool& needsRepair) {
  // The header is not found yet, so the lock byte is where a header at 0 puts it.
  SetProloguePositions(0, L::HeaderSize, L::LockAreaSize);
  {
    TZDBDatabaseLockGuard lock(databaseLock_, errors::DatabaseLockedAtOpen, lockRetry_);
    headerPosition_ = FindHeaderPosition(file_);
    ReadHeader();
    needsRepair = header_.NeedsRepair();
  }
  if (!header_.HasValidSignature())
    RaiseError(errors::InvalidSignature, {header_.SignatureText(), std::string(L::Signature)});
  // Nothing below may divide by, or index with, a value the header got wrong.
  if (header_.HeaderSize != L::HeaderSize || header_.PageSize < L::MinPageSize ||
      header_.PagesPerExtent < L::MinPagesPerExtent || header_.TotalPageCount < 0 ||
      header_.LastUsedPageNo < -1 || header_.LastUsedPageNo >= header_.TotalPageCount)
    RaiseError(errors::InvalidDatabaseFormat);
  SetPageSize(header_.PageSize, L::PageHeaderSize);

  SetProloguePositions(headerPosition_, header_.HeaderSize, L::LockAreaSize);
  ReadEncryptionRecord();
  if (header_.IsEncrypted()) {
    // A cipher code we do not know fails like a wrong password: nothing can be deciphered.
    encryption_ = TZDBDatabaseEncryption::Create(password_.Password, encryptionRecord_.CipherCode);
    if (!encryption_ || !encryption_->CheckBlockMatches(encryptionRecord_))
      RaiseError(errors::IncorrectPassword);
  }
  if (encryptionRecordPosition_ + encryptionRecord_.RecordSize != lockAreaPosition_)
    RaiseError(errors::InvalidDatabaseFormat);

  ReadLockArea();
  if (lockArea_.LockAreaSize < L::MinLockAreaSize) RaiseError(errors::InvalidDatabaseFormat);
  SetProloguePositions(headerPosition_, header_.HeaderSize, lockArea_.LockAreaSize);
  // A file shorter than its pages would hand out zeros as pages; that is checked once an
  // interrupted commit is rolled back (RecoverOnOpen).

  freeSpace_ = std::make_unique<TZDBDatabaseFreeSpaceManager>(*this);
}

int64_t TZDBDiskPageManager::FindHeaderPosition(TZDBDatabaseFile& file) {
  const int64_t savedPosition = file.GetPosition();
  std::array<uint8_t, L::HeaderSize + L::SignatureSize> start{};
  int64_t found = -1;
  if (file.ReadBuffer(start.data(), 0, start.size()) && MatchesHeaderStart(start.data())) found = 0;

  const int64_t size = found < 0 ? file.GetSize() : 0;
  std::vector<uint8_t> window(found < 0 ? L::SignatureSearchWindow : 0);
  for (int64_t windowStart = 0; found < 0 && windowStart < size;
       windowStart += L::SignatureSearchWindow - L::SignatureSearchOverlap) {
    const int64_t length = std::min<int64_t>(L::SignatureSearchWindow, size - windowStart);
    file.ReadBuffer(window.data(), windowStart, static_cast<size_t>(length), errors::HeaderRead);
    for (int64_t offset = 0; offset + L::SignatureMatchSize <= length; ++offset) {
      if (MatchesHeaderStart(window.data() + offset)) {
        found = windowStart + offset;
        break;
      }
    }
    if (windowStart + length >= size) break;
  }
  file.Seek(savedPosition);
  return found < 0 ? 0 : found;
}

void TZDBDiskPageManager::CloseJournal() noexcept {
  if (!journal_) return;
  try {
    if (readOnly_ || !file_.IsOpen()) {
      journal_->Close();
    } else {
      // Deleted under the lock, so no writer is between creating and using it.
      TZDBDatabaseLockGuard lock(databaseLock_, errors::CommitLocked, SingleAttempt);
      journal_->CloseAndDeleteIfUnused();
    }
  } catch (const EZDBException&) {
    // The journal stays; it protects nothing, and the next commit reuses it.
    journal_->Close();
  }
  journal_.reset();
}

void TZDBDiskPageManager::CloseDatabaseFile() {
  CheckNoUncommittedPages();
  CloseJournal();
  freeSpace_.reset();
  encryption_.reset();
  databaseLock_.Reset();
  file_.CloseFile();
}

// --- prologue I/O ------------------------------------------------------------------------------

const TZDBFileHeader& TZDBDiskPageManager::ReadHeader() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedHeaderRead);
  header_ = ReadHeaderAt(headerPosition_);
  return header_;
}

TZDBFileHeader TZDBDiskPageManager::ReadHeaderAt(int64_t position) {
  std::array<uint8_t, L::HeaderSize> bytes{};
  file_.ReadBuffer(bytes.data(), position, bytes.size(), errors::HeaderRead);
  return TZDBFileHeader::Decode(bytes);
}

void TZDBDiskPageManager::WriteHeader() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedHeaderWrite);
  JournalBeforeWrite(NoPage);
  std::array<uint8_t, L::HeaderSize> bytes{};
  header_.Encode(bytes);
  file_.WriteBuffer(bytes.data(), headerPosition_, bytes.size(), errors::HeaderWrite);
}

void TZDBDiskPageManager::ReadEncryptionRecord() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedEncryptionRead);
  std::array<uint8_t, L::EncryptionRecordSize> bytes{};
  file_.ReadBuffer(bytes.data(), encryptionRecordPosition_, bytes.size(), errors::EncryptionRead);
  encryptionRecord_ = TZDBEncryptionRecord::Decode(bytes);
}

void TZDBDiskPageManager::WriteEncryptionRecord() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedEncryptionWrite);
  std::array<uint8_t, L::EncryptionRecordSize> bytes{};
  encryptionRecord_.Encode(bytes);
  file_.WriteBuffer(bytes.data(), encryptionRecordPosition_, bytes.size(), errors::EncryptionWrite);
}

void TZDBDiskPageManager::ReadLockArea() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedLockAreaRead);
  std::array<uint8_t, L::LockAreaSize> bytes{};
  file_.ReadBuffer(bytes.data(), lockAreaPosition_, bytes.size(), errors::LockAreaRead);
  lockArea_ = TZDBLockArea::Decode(bytes);
}

void TZDBDiskPageManager::WriteLockArea() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedLockAreaWrite);
  std::array<uint8_t, L::LockAreaSize> bytes{};
  lockArea_.Encode(bytes);
  file_.WriteBuffer(bytes.data(), lockAreaPosition_, bytes.size(), errors::LockAreaWrite);
}

void TZDBDiskPageManager::WriteInitialObjectID() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedCounter);
  InitializeObjectIDCounter(file_, objectIDCounterPosition_, lockRetry_);
}

int64_t TZDBDiskPageManager::PagePosition(int32_t pageNo) const {
  if (pageNo < 0) RaiseError(errors::InvalidPageNo, {pageNo});
  return pageAreaStart_ + static_cast<int64_t>(pageNo) * PageSize();
}

// --- lock bytes --------------------------------------------------------------------------------

void TZDBDiskPageManager::LockTables() {
  LockTablesByte(file_, lockAreaPosition_ + L::TablesLockByteOffset, lockRetry_);
}

void TZDBDiskPageManager::UnlockTables() { UnlockTablesByte(file_, lockAreaPosition_ + L::TablesLockByteOffset); }

int32_t TZDBDiskPageManager::TakeObjectID() {
  if (!file_.IsOpen()) RaiseError(errors::NotOpenedCounter);
  return zdb::TakeObjectID(file_, objectIDCounterPosition_, readOnly_, lockRetry_);
}

// --- raw page access ---------------------------------------------------------------------------

void TZDBDiskPageManager::ReadPageBytes(int32_t pageNo, int32_t offset, void* buffer, int32_t count) {
  if (offset < 0 || count < 0 || static_cast<int64_t>(offset) + count > PageSize())
    RaiseError(errors::PageOffsetRead, {offset, PageSize()});
  file_.ReadBuffer(buffer, PagePosition(pageNo) + offset, static_cast<size_t>(count), errors::PageBytesRead);
}

void TZDBDiskPageManager::WritePageBytes(int32_t pageNo, int32_t offset, const void* buffer, int32_t count) {
  if (offset < 0 || count < 0 || static_cast<int64_t>(offset) + count > PageSize())
    RaiseError(errors::PageOffsetWrite, {offset, PageSize()});
  file_.WriteBuffer(buffer, PagePosition(pageNo) + offset, static_cast<size_t>(count), errors::PageBytesWrite);
}

// --- page manager operations -------------------------------------------------------------------

int32_t TZDBDiskPageManager::GetTotalPageCount() {
  TZDBDatabaseLockGuard lock(databaseLock_, errors::PageCountLocked, SingleAttempt);
  return ReadHeaderForChange().TotalPageCount;
}

bool TZDBDiskPageManager::IsPageCacheValid(int32_t session, TZDBPage& page) {
  if (!MultiUser() || cacheTracker_.IsPageCacheValid(session, page)) return true;
  // No commit since the page was read or revalidated: the file still holds that content.
  return page.FileStamp() != TZDBPage::NoFileStamp && CommitStamp() == page.FileStamp();
}

std::optional<int64_t> TZDBDiskPageManager::CommitStamp() {
  std::array<uint8_t, L::HeaderWriteStateOffset - L::HeaderCommitCounterOffset + 1> bytes{};
  if (!file_.ReadStartBytes(bytes.data(), headerPosition_ + L::HeaderCommitCounterOffset, bytes.size()))
    return std::nullopt;
  const uint8_t writeState = bytes.back();
  if (writeState != L::WriteStateConsistent) return std::nullopt;
  // The bytes are copied while another process may be writing them: a commit that ended
  // between the counter and the WriteState shows its new counter when read once more.
  std::array<uint8_t, sizeof(int32_t)> counterAgain{};
  if (!file_.ReadStartBytes(counterAgain.data(), headerPosition_ + L::HeaderCommitCounterOffset, counterAgain.size()) ||
      !std::equal(counterAgain.begin(), counterAgain.end(), bytes.begin()))
    return std::nullopt;
  return int64_t{le::GetI32(bytes.data())} << 8 | writeState;
}

template <typename Read>
bool TZDBDiskPageManager::ReadUnderFileStamp(TZDBPage& page, Read read) {
  if (!MultiUser()) return read();
  // The stamp counts only when no commit began or ended while the page was read; a page
  // read across a commit is used once and not kept.
  const std::optional<int64_t> before = CommitStamp();
  const bool done = read();
  if (done) {
    const bool steady = before && CommitStamp() == before;
    page.SetFileStamp(steady ? *before : TZDBPage::NoFileStamp);
    page.SetTransient(!steady);
  }
  return done;
}

void TZDBDiskPageManager::MarkPageCacheValid(int32_t session, TZDBPage& page) {
  if (MultiUser()) cacheTracker_.MarkPageCacheValid(session, page);
}

void TZDBDiskPageManager::RemovePage(int32_t session, int32_t pageNo) {
  RequireOpenFile("RemovePage");
  freeSpace_->CheckDeletable(pageNo);
  TZDBPageManager::RemovePage(session, pageNo);
}

TZDBPage* TZDBDiskPageManager::GetPage(int32_t session, int32_t pageNo, bool checkVersions, uint16_t expectedType) {
  RequireOpenFile("GetPage");
  freeSpace_->CheckDeletable(pageNo);
  return TZDBPageManager::GetPage(session, pageNo, checkVersions, expectedType);
}

// --- page I/O ----------------------------------------------------------------------------------

bool TZDBDiskPageManager::PageWithinFile(int32_t pageNo) {
  const int32_t knownCount = freeSpace_ ? freeSpace_->TotalPageCount() : header_.TotalPageCount;
  if (pageNo < knownCount) return true;
  // Another process may have grown the file since; its header says.
  std::array<uint8_t, L::HeaderSize> bytes{};
  if (!file_.ReadBuffer(bytes.data(), headerPosition_, bytes.size())) return false;
  return pageNo < TZDBFileHeader::Decode(bytes).TotalPageCount;
}

void TZDBDiskPageManager::InternalAddPage(TZDBPage& page) {
  RequireOpenFile("AddPage");
  BeginWriteTransaction(errors::AllocateLocked);
  try {
    page.SetPageNo(freeSpace_->AllocatePage());
  } catch (...) {
    EndOrRenewWriteTransaction();
    throw;
  }
  page.InitializeHeader();
}

void TZDBDiskPageManager::InternalRemovePage(int32_t pageNo) {
  RequireOpenFile("RemovePage");
  // A rollback's frees belong to the write transaction too; it may have ended early (a
  // journal that could not be begun anew after a commit). A recovery has its own journal.
  if (!recovering_) BeginWriteTransaction(errors::FreeLocked);
  std::array<uint8_t, 4> version{};
  le::PutI32(version.data(), L::PageVersionFreed);
  JournalBeforeWrite(pageNo);
  file_.WriteBuffer(version.data(), PagePosition(pageNo) + TZDBPage::PageVersionOffset, version.size(), errors::PageRetire);
  freeSpace_->FreePage(pageNo);
}

bool TZDBDiskPageManager::InternalReadPage(TZDBPage& page) {
  return ReadUnderFileStamp(page, [&] { return ReadPageFromFile(page); });
}

bool TZDBDiskPageManager::ReadPageFromFile(TZDBPage& page) {
  const int64_t position = PagePosition(page.PageNo());
  page.AllocateBuffer();
  if (!PageWithinFile(page.PageNo()) || !file_.ReadBufferFully(page.Buffer(), position, PageSize())) {
    page.SetPageVersion(L::PageVersionFreed);
    return false;
  }
  DecipherReadPage(page.PageNo(), page.Buffer());
  page.SetReadFromFile(true);
  return true;
}

void TZDBDiskPageManager::InternalWritePage(TZDBPage& page) {
  const int64_t position = PagePosition(page.PageNo());
  const int64_t next = static_cast<int64_t>(page.PageVersion()) + 1;
  page.SetPageVersion(next >= L::PageVersionWrap || next < 0 ? 0 : static_cast<int32_t>(next));
  JournalBeforeWrite(page.PageNo());
  if (page.EncryptOnWrite() && IsEnciphered(page.PageNo(), page.PageType())) {
    // Enciphered in a copy: the page in memory stays plain whatever the write does. Its
    // header takes the cipher code and CRC that the file's copy carries.
    std::vector<uint8_t> image(page.Buffer(), page.Buffer() + PageSize());
    encryption_->EncipherPage(image, PageHeaderSize());
    page.SetPageCipherCode(encryption_->CipherCode());
    page.SetDataCRC(le::GetU32(image.data() + TZDBPage::DataCRCOffset));
    file_.WriteBuffer(image.data(), position, PageSize(), errors::PageWrite);
    return;
  }
  file_.WriteBuffer(page.Buffer(), position, PageSize(), errors::PageWrite);
}

bool TZDBDiskPageManager::IsEnciphered(int32_t pageNo, uint16_t pageType) const {
  return encryption_ && freeSpace_ && !freeSpace_->IsSystemPage(pageNo) &&
         !TZDBDatabaseEncryption::IsPlainPageType(pageType);
}

void TZDBDiskPageManager::DecipherReadPage(int32_t pageNo, uint8_t* buffer) {
  if (!IsEnciphered(pageNo, le::GetU16(buffer + TZDBPage::PageTypeOffset))) return;
  if (!encryption_->DecipherPage({buffer, PageSize()}, PageHeaderSize()))
    RaiseError(errors::DecryptPage, {pageNo});
}

void TZDBDiskPageManager::RevalidateCachedPage(int32_t /*session*/, TZDBPage& page) {
  ReadUnderFileStamp(page, [&] {
    RevalidateFromFile(page);
    return true;
  });
}

void TZDBDiskPageManager::RevalidateFromFile(TZDBPage& page) {
  const int32_t pageNo = page.PageNo();
  const int64_t position = PagePosition(pageNo);
  std::array<uint8_t, 4> versionBytes{};
  int32_t fileVersion = L::PageVersionFreed;  // what an unreadable version counts as
  if (file_.ReadBufferFully(versionBytes.data(), position + TZDBPage::PageVersionOffset, versionBytes.size()))
    fileVersion = le::GetI32(versionBytes.data());
  if (fileVersion == L::PageVersionFreed || fileVersion == page.PageVersion()) {
    page.SetPageVersion(fileVersion);
    return;
  }
  // Read beside the cached copy, so a failed read leaves that copy whole.
  std::vector<uint8_t> fresh(PageSize());
  if (!PageWithinFile(pageNo) || !file_.ReadBufferFully(fresh.data(), position, fresh.size()))
    RaiseError(errors::PageRead, {pageNo, page.PageType()});
  DecipherReadPage(pageNo, fresh.data());
  std::memcpy(page.Buffer(), fresh.data(), fresh.size());
  page.InvalidateSessionStamps();
  page.SetReadFromFile(true);
}

}  // namespace zdb
