// The rollback journal that makes every commit of a database file atomic and durable.
//
// Why rollback and not redo. A redo journal holds the new page images; until they are
// copied into the database every reader, in every process, would have to look in the
// journal first, and the copy would need a second checkpoint protocol. A rollback journal
// holds the old images of the pages a commit overwrites: readers keep reading the
// database file alone, the journal is read only after a crash, and a commit costs the
// same two writes per page as a redo log with its checkpoint. Pages the commit's session
// added are not journaled at all (nothing reaches them before the commit), so a bulk
// insert journals only the few pages it changed in place.
//
// The file lies beside the database ("<database>-journal") and is kept between commits;
// only its first bytes change meaning. Layout (little-endian), see JournalLayout below:
//   header block: magic "ZDBJRNL1", format, salt, page size, count of new pages, the
//                 database's size and header position before the commit, the header's
//                 CommitCounter and its 76 bytes before the commit, the database file's
//                 identity, the new page numbers, CRC-32 of all of it;
//   records:      position of the page in the database file, size, CRC-32 of salt,
//                 position and image; then the image as the file held it (enciphered
//                 pages stay enciphered).
// A record is valid when its CRC matches; the salt is new for every commit, so a record
// left over from an earlier, longer journal never passes for one of this commit.
//
// The commit, under the database lock byte (TZDBDiskPageManager::ApplyChanges):
//   1. journal written: header block, then one record per existing page the commit will
//      overwrite or free, and per bitmap page a free may change;
//   2. journal flushed (flush 1);
//   3. database header written with WriteState 1; the pages written; removed pages freed;
//   4. database flushed (flush 2);
//   5. database header written with WriteState 2 and CommitCounter + 1; flushed (flush 3);
//      this write is the commit point;
//   6. the journal's magic overwritten with zeros (not flushed).
// Invariants:
//   - no byte of the database file changes before the old image of its page is in the
//     journal and flushed (a page journaled late gets its own record and flush first);
//   - a valid journal whose header CommitCounter + 1 equals the database header's, with
//     WriteState 2, belongs to a commit that finished: the header write of step 5 is
//     issued only after flush 2, so it can only be on the disk with every page;
//   - any other valid journal belongs to a commit that may have written some pages: the
//     recovery writes every valid record back, the header and the size as they were, frees
//     the commit's new pages and flushes; doing it twice does no harm;
//   - a journal whose header block is not valid (torn, never flushed, invalidated) proves
//     that the database was not touched by its commit, and is ignored.
// Only the holder of the database lock byte writes, reads or recovers the journal, so a
// journal found valid under that lock belongs to a writer that is no longer running (its
// byte-range locks died with it).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/file/ZDBFileLayout.h"
#include "platform/os/File.h"

namespace zdb {

namespace journal_layout {
constexpr std::string_view Magic = "ZDBJRNL1";
// Format 2 names the database file it belongs to; format 1 journals are still read.
constexpr uint32_t FormatVersion = 2;
constexpr uint32_t FormatWithoutIdentity = 1;
constexpr size_t MagicOffset = 0;
constexpr size_t MagicSize = 8;
constexpr size_t FormatOffset = 8;
constexpr size_t SaltOffset = 12;
constexpr size_t PageSizeOffset = 16;
constexpr size_t NewPageCountOffset = 20;
constexpr size_t FileSizeOffset = 24;
constexpr size_t HeaderPositionOffset = 32;
constexpr size_t CommitCounterOffset = 40;
constexpr size_t ReservedOffset = 44;
constexpr size_t HeaderImageOffset = 48;
// Format 2: the database file's identity follows the header image.
constexpr size_t IdentityOffset = HeaderImageOffset + layout::HeaderSize;  // 124
constexpr size_t DeviceOffset = IdentityOffset;                              // uint64
constexpr size_t InodeOffset = IdentityOffset + 8;                           // uint64
constexpr size_t EncryptionCrcOffset = IdentityOffset + 16;                  // uint32
constexpr size_t IdentityReservedOffset = IdentityOffset + 20;               // uint32, 0
constexpr size_t IdentitySize = 24;
constexpr size_t NewPageEntrySize = 4;
constexpr size_t CrcSize = 4;
// The record header: position (int64), image size (uint32), CRC (uint32).
constexpr size_t RecordPositionOffset = 0;
constexpr size_t RecordSizeOffset = 8;
constexpr size_t RecordCrcOffset = 12;
constexpr size_t RecordHeaderSize = 16;

// Where the new page numbers start: after the header image (format 1) or the identity.
constexpr size_t NewPagesOffset(uint32_t format) {
  return format == FormatWithoutIdentity ? IdentityOffset : IdentityOffset + IdentitySize;
}
// Bytes of the header block for that many new pages, CRC included.
constexpr size_t HeaderBlockSize(size_t newPageCount, uint32_t format = FormatVersion) {
  return NewPagesOffset(format) + newPageCount * NewPageEntrySize + CrcSize;
}
}  // namespace journal_layout

// The database file a journal belongs to: the file itself (device and inode, the same for
// every path that reaches it) and a CRC-32 of its encryption record, which a file
// replaced by another one does not share unless it is a copy.
struct TZDBJournalIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint32_t EncryptionCrc = 0;
};

// What the database was before the commit that a journal protects.
struct TZDBJournalPrologue {
  uint32_t Salt = 0;  // read back; Begin draws a new one
  uint32_t PageSize = 0;
  int64_t FileSize = 0;
  int64_t HeaderPosition = 0;
  int32_t CommitCounter = 0;
  std::array<uint8_t, layout::HeaderSize> Header{};
  std::vector<int32_t> NewPages;
  // Written always; none in a journal of the first format.
  std::optional<TZDBJournalIdentity> Identity;
};

struct TZDBJournalRecord {
  int64_t Position = 0;
  std::vector<uint8_t> Image;
};

// A journal read back whole: its prologue and every valid record, in order.
struct TZDBJournalContents {
  TZDBJournalPrologue Prologue;
  std::vector<TZDBJournalRecord> Records;
};

class TZDBRollbackJournal {
 public:
  static constexpr std::string_view FileNameSuffix = "-journal";
  static std::string FileNameFor(const std::string& databaseFileName) {
    return databaseFileName + std::string(FileNameSuffix);
  }

  TZDBRollbackJournal(os::FileSystem& fileSystem, const std::string& databaseFileName);
  ~TZDBRollbackJournal();
  TZDBRollbackJournal(const TZDBRollbackJournal&) = delete;
  TZDBRollbackJournal& operator=(const TZDBRollbackJournal&) = delete;

  const std::string& FileName() const { return fileName_; }

  // --- writing a commit's journal (the caller holds the database lock byte) ---------------
  // Starts the journal of a new commit: the header block, with a new salt. The file is
  // created on first use. 30461 / 30460 when it cannot be opened or written.
  void Begin(const TZDBJournalPrologue& prologue);
  // Appends the old image of the page at that position of the database file (not
  // flushed); an image already journaled for this commit is not written again.
  void AddImage(int64_t position, const uint8_t* image, size_t size);
  bool HasImage(int64_t position) const;
  // Whether something was added since the last Sync.
  bool HasUnsynced() const { return !pending_.empty(); }
  // Makes everything written so far durable; 30460 when the write or the flush fails.
  // After such a failure every Sync fails until the next Begin: what the failed batch
  // left on the disk is unknown, and records behind it would never be read back.
  void Sync();
  bool Failed() const { return failedError_.has_value(); }
  // Makes the journal invalid (its magic zeroed), flushed only when asked. A failure is
  // reported (30460): a valid journal left behind after a finished commit is harmless.
  void Invalidate(bool flush);
  bool Active() const { return active_; }
  // The salt of the journal begun last.
  uint32_t Salt() const { return salt_; }

  // --- reading (the caller holds the database lock byte) ----------------------------------
  // The journal's valid contents; nothing when there is no file, or its header block is
  // not valid (such a journal protects nothing). A journal this process may not write is
  // read through a read-only handle. 30461 when an existing file cannot be opened at all,
  // 30462 when it cannot be read.
  std::optional<TZDBJournalContents> ReadValid();
  // Whether the journal, as last opened, can be written: a rollback from it must be able to
  // invalidate it afterwards, or it would be rolled back again over later commits.
  bool Writable() const { return file_ != nullptr && writable_; }
  // Whether a journal file exists.
  bool Exists();

  // Closes the file and deletes it when no other process has it open; a valid journal
  // is never deleted. Answers whether it is gone.
  bool CloseAndDeleteIfUnused();
  void Close();

 private:
  // For writing, created when missing; reopened when the handle was opened for reading.
  void OpenFile();
  void OpenForReading();
  void WriteAt(const void* data, size_t size, int64_t position);
  [[noreturn]] void Fail(uint32_t error);
  [[noreturn]] void RaiseFileError(const TZDBError& code, uint32_t error) const;

  os::FileSystem& fileSystem_;
  std::string fileName_;
  std::unique_ptr<os::IFile> file_;
  bool writable_ = false;  // file_ was opened for writing
  uint32_t salt_ = 0;
  uint32_t pageSize_ = 0;
  std::vector<uint8_t> pending_;     // written but not yet handed to the file
  int64_t pendingPosition_ = 0;      // where pending_ goes in the file
  std::vector<int64_t> journaled_;   // sorted positions of the images of this commit
  bool active_ = false;
  std::optional<uint32_t> failedError_;  // a Sync failed with this error
};

}  // namespace zdb
