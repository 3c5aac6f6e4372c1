#include "engine/file/ZDBRollbackJournal.h"

#include <algorithm>
#include <cstring>

#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

namespace J = journal_layout;

// A journal claiming more new pages than this is not one we wrote: 2^31 pages at most
// exist, and its header block would have to be read whole.
constexpr uint32_t MaxNewPages = 1u << 24;
constexpr uint32_t MinJournalPageSize = layout::MinPageSize;
constexpr uint32_t MaxJournalPageSize = 65536;

uint32_t RecordCrc(uint32_t salt, int64_t position, const uint8_t* image, size_t size) {
  std::array<uint8_t, 12> prefix{};
  le::PutU32(prefix.data(), salt);
  le::PutI64(prefix.data() + 4, position);
  return Crc32(image, size, Crc32(prefix.data(), prefix.size()));
}

uint32_t NewSalt() {
  // Two draws: Random gives 31 bits, and a salt of 0 would match a zero-filled record.
  const uint32_t salt = (static_cast<uint32_t>(os::Random(0x10000)) << 16) ^
                        static_cast<uint32_t>(os::Random(0x7FFFFFFF)) ^ os::TickCountMs();
  return salt == 0 ? 1 : salt;
}

}  // namespace

TZDBRollbackJournal::TZDBRollbackJournal(os::FileSystem& fileSystem, const std::string& databaseFileName)
    : fileSystem_(fileSystem), fileName_(FileNameFor(databaseFileName)) {}

TZDBRollbackJournal::~TZDBRollbackJournal() = default;

void TZDBRollbackJournal::RaiseFileError(const TZDBError& code, uint32_t error) const {
  RaiseError(code, {fileName_, error, os::SystemErrorMessage(error)});
}

void TZDBRollbackJournal::OpenFile() {
  // A handle opened only for reading cannot serve a write: it is opened anew.
  if (file_ && writable_) return;
  file_.reset();
  uint32_t error = 0;
  if (!fileSystem_.Exists(fileName_)) {
    // Created alone (creation is exclusive), then opened as every process shares it.
    if (!fileSystem_.Create(fileName_, error))
      RaiseFileError(errors::JournalOpenFailed, error);
  }
  file_ = fileSystem_.Open(fileName_, os::AccessMode::ReadWrite, os::ShareMode::ReadWrite, error);
  if (!file_) RaiseFileError(errors::JournalOpenFailed, error);
  writable_ = true;
}

void TZDBRollbackJournal::OpenForReading() {
  if (file_) return;
  uint32_t error = 0;
  file_ = fileSystem_.Open(fileName_, os::AccessMode::ReadWrite, os::ShareMode::ReadWrite, error);
  writable_ = file_ != nullptr;
  // A process that may not write the journal can still read what it protects.
  if (!file_) file_ = fileSystem_.Open(fileName_, os::AccessMode::Read, os::ShareMode::ReadWrite, error);
  if (!file_) RaiseFileError(errors::JournalOpenFailed, error);
}

void TZDBRollbackJournal::WriteAt(const void* data, size_t size, int64_t position) {
  if (!file_->Write(data, position, size))
    RaiseFileError(errors::JournalWriteFailed, file_->LastError());
}

// --- writing -----------------------------------------------------------------------------------

void TZDBRollbackJournal::Begin(const TZDBJournalPrologue& prologue) {
  OpenFile();
  salt_ = NewSalt();
  pageSize_ = prologue.PageSize;
  journaled_.clear();
  pending_.assign(J::HeaderBlockSize(prologue.NewPages.size()), 0);
  uint8_t* block = pending_.data();
  std::memcpy(block + J::MagicOffset, J::Magic.data(), J::MagicSize);
  le::PutU32(block + J::FormatOffset, J::FormatVersion);
  le::PutU32(block + J::SaltOffset, salt_);
  le::PutU32(block + J::PageSizeOffset, prologue.PageSize);
  le::PutU32(block + J::NewPageCountOffset, static_cast<uint32_t>(prologue.NewPages.size()));
  le::PutI64(block + J::FileSizeOffset, prologue.FileSize);
  le::PutI64(block + J::HeaderPositionOffset, prologue.HeaderPosition);
  le::PutI32(block + J::CommitCounterOffset, prologue.CommitCounter);
  std::memcpy(block + J::HeaderImageOffset, prologue.Header.data(), prologue.Header.size());
  const TZDBJournalIdentity identity = prologue.Identity.value_or(TZDBJournalIdentity{});
  le::PutU64(block + J::DeviceOffset, identity.Device);
  le::PutU64(block + J::InodeOffset, identity.Inode);
  le::PutU32(block + J::EncryptionCrcOffset, identity.EncryptionCrc);
  const size_t newPagesOffset = J::NewPagesOffset(J::FormatVersion);
  for (size_t k = 0; k < prologue.NewPages.size(); ++k)
    le::PutI32(block + newPagesOffset + k * J::NewPageEntrySize, prologue.NewPages[k]);
  const size_t crcOffset = pending_.size() - J::CrcSize;
  le::PutU32(block + crcOffset, Crc32(block, crcOffset));
  pendingPosition_ = 0;
  failedError_.reset();
  active_ = true;
}

void TZDBRollbackJournal::AddImage(int64_t position, const uint8_t* image, size_t size) {
  const auto at = std::lower_bound(journaled_.begin(), journaled_.end(), position);
  if (at != journaled_.end() && *at == position) return;
  journaled_.insert(at, position);
  const size_t start = pending_.size();
  pending_.resize(start + J::RecordHeaderSize + size);
  uint8_t* record = pending_.data() + start;
  le::PutI64(record + J::RecordPositionOffset, position);
  le::PutU32(record + J::RecordSizeOffset, static_cast<uint32_t>(size));
  le::PutU32(record + J::RecordCrcOffset, RecordCrc(salt_, position, image, size));
  std::memcpy(record + J::RecordHeaderSize, image, size);
}

bool TZDBRollbackJournal::HasImage(int64_t position) const {
  return std::binary_search(journaled_.begin(), journaled_.end(), position);
}

void TZDBRollbackJournal::Sync() {
  // After a failure the records of the failed batch may be garbage on the disk, and a
  // record behind garbage is never read back: nothing more may rely on this journal.
  if (failedError_) RaiseFileError(errors::JournalWriteFailed, *failedError_);
  if (!pending_.empty()) {
    // One write for the whole batch: the header block and the records behind it.
    if (!file_->Write(pending_.data(), pendingPosition_, pending_.size())) Fail(file_->LastError());
    pendingPosition_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
  }
  // Never flushed twice for one batch: a failed flush may have dropped what it could not
  // write, and a second one would answer for it with success.
  if (!file_->Flush()) Fail(file_->LastError());
}

void TZDBRollbackJournal::Fail(uint32_t error) {
  failedError_ = error;
  RaiseFileError(errors::JournalWriteFailed, error);
}

void TZDBRollbackJournal::Invalidate(bool flush) {
  active_ = false;
  pending_.clear();
  journaled_.clear();
  OpenFile();
  const std::array<uint8_t, J::MagicSize> zeros{};
  WriteAt(zeros.data(), zeros.size(), J::MagicOffset);
  if (flush && !file_->Flush())
    RaiseFileError(errors::JournalWriteFailed, file_->LastError());
}

// --- reading -----------------------------------------------------------------------------------

bool TZDBRollbackJournal::Exists() { return file_ != nullptr || fileSystem_.Exists(fileName_); }

std::optional<TZDBJournalContents> TZDBRollbackJournal::ReadValid() {
  if (!Exists()) return std::nullopt;
  OpenForReading();
  int64_t size = 0;
  if (!file_->GetSize(size))
    RaiseFileError(errors::JournalReadFailed, file_->LastError());
  auto read = [&](void* buffer, int64_t position, size_t count) {
    size_t got = 0;
    if (!file_->Read(buffer, position, count, got))
      RaiseFileError(errors::JournalReadFailed, file_->LastError());
    return got == count;
  };

  std::array<uint8_t, J::IdentityOffset> fixed{};
  if (size < static_cast<int64_t>(J::HeaderBlockSize(0, J::FormatWithoutIdentity)) ||
      !read(fixed.data(), 0, fixed.size()))
    return std::nullopt;
  if (!std::equal(J::Magic.begin(), J::Magic.end(), fixed.begin() + J::MagicOffset)) return std::nullopt;
  const uint32_t format = le::GetU32(fixed.data() + J::FormatOffset);
  const uint32_t newPageCount = le::GetU32(fixed.data() + J::NewPageCountOffset);
  const uint32_t pageSize = le::GetU32(fixed.data() + J::PageSizeOffset);
  if ((format != J::FormatVersion && format != J::FormatWithoutIdentity) || newPageCount > MaxNewPages ||
      pageSize < MinJournalPageSize || pageSize > MaxJournalPageSize)
    return std::nullopt;
  const size_t blockSize = J::HeaderBlockSize(newPageCount, format);
  if (static_cast<int64_t>(blockSize) > size) return std::nullopt;
  std::vector<uint8_t> block(blockSize);
  if (!read(block.data(), 0, block.size())) return std::nullopt;
  const size_t crcOffset = blockSize - J::CrcSize;
  if (Crc32(block.data(), crcOffset) != le::GetU32(block.data() + crcOffset)) return std::nullopt;

  TZDBJournalContents contents;
  TZDBJournalPrologue& prologue = contents.Prologue;
  const uint32_t salt = le::GetU32(block.data() + J::SaltOffset);
  prologue.Salt = salt;
  prologue.PageSize = pageSize;
  prologue.FileSize = le::GetI64(block.data() + J::FileSizeOffset);
  prologue.HeaderPosition = le::GetI64(block.data() + J::HeaderPositionOffset);
  prologue.CommitCounter = le::GetI32(block.data() + J::CommitCounterOffset);
  std::memcpy(prologue.Header.data(), block.data() + J::HeaderImageOffset, prologue.Header.size());
  if (format != J::FormatWithoutIdentity) {
    prologue.Identity = TZDBJournalIdentity{le::GetU64(block.data() + J::DeviceOffset),
                                            le::GetU64(block.data() + J::InodeOffset),
                                            le::GetU32(block.data() + J::EncryptionCrcOffset)};
  }
  prologue.NewPages.resize(newPageCount);
  const size_t newPagesOffset = J::NewPagesOffset(format);
  for (size_t k = 0; k < newPageCount; ++k)
    prologue.NewPages[k] = le::GetI32(block.data() + newPagesOffset + k * J::NewPageEntrySize);
  if (prologue.FileSize < 0 || prologue.HeaderPosition < 0) return std::nullopt;

  // Records up to the first one that is not whole and of this commit.
  int64_t position = static_cast<int64_t>(blockSize);
  std::array<uint8_t, J::RecordHeaderSize> head{};
  while (position + static_cast<int64_t>(J::RecordHeaderSize + pageSize) <= size) {
    if (!read(head.data(), position, head.size())) break;
    TZDBJournalRecord record;
    record.Position = le::GetI64(head.data() + J::RecordPositionOffset);
    if (le::GetU32(head.data() + J::RecordSizeOffset) != pageSize || record.Position < 0) break;
    record.Image.resize(pageSize);
    if (!read(record.Image.data(), position + static_cast<int64_t>(J::RecordHeaderSize), pageSize)) break;
    if (RecordCrc(salt, record.Position, record.Image.data(), pageSize) != le::GetU32(head.data() + J::RecordCrcOffset))
      break;
    contents.Records.push_back(std::move(record));
    position += static_cast<int64_t>(J::RecordHeaderSize + pageSize);
  }
  return contents;
}

// --- closing -----------------------------------------------------------------------------------

void TZDBRollbackJournal::Close() {
  file_.reset();
  writable_ = false;
  active_ = false;
  pending_.clear();
  journaled_.clear();
}

bool TZDBRollbackJournal::CloseAndDeleteIfUnused() {
  if (!Exists()) {
    Close();
    return true;
  }
  if (ReadValid()) {
    Close();
    return false;
  }
  Close();
  uint32_t error = 0;
  // Refused while another process has it open: that one will use it again.
  return fileSystem_.Delete(fileName_, error);
}

}  // namespace zdb
