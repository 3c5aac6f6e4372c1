// The page manager over a database file: the pager of the engine.
//
// Contract: on top of the page cache of TZDBPageManager, it creates and opens database
// files (prologue written, or found by its signature and validated), reads and writes
// pages at PageAreaStart + PageNo * PageSize, numbers new pages through the free-space
// manager, and turns a session's commit into an atomic, durable write through the
// rollback journal beside the file (ZDBRollbackJournal.h has the protocol): under the
// database lock byte the old images go to the journal and are flushed, then the header
// is marked WriteState 1, the pages are written and flushed, and WriteState 2 with
// CommitCounter + 1 is written and flushed. A commit cut short by a crash, a power cut
// or an error is rolled back from the journal by whoever next holds the database lock
// byte: the next open of the file, in any process, or a process that has it open and
// finds WriteState 1 under the lock. A commit that fails while the process lives on
// leaves the session's transaction whole for a retry, or (after a failed flush) loses
// it whole with the file's rollback; never a part. A journal is rolled back only over
// the database it was written for. A file marked WriteState 1 without a journal was
// damaged by other means and opens with NeedsRepair. The free-space bitmap pages (PFS
// and EAM) are the free-space manager's alone and are refused here (30434). In
// multi-user mode, cached pages are revalidated against their PageVersion in the file.
//
// One manager serves one file for its lifetime: create or open it once, close it once.
// A file created with a password is encrypted (ZDBEncryption.h): its page data areas are
// enciphered for each write and deciphered, CRC checked, on each read, except bitmap
// pages and the pages of direct internal files; pages in memory are always plain.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBPassword.h"
#include "engine/file/ZDBDatabaseFile.h"
#include "engine/file/ZDBFilePrologue.h"
#include "engine/file/ZDBLockBytes.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBTablePagesCache.h"
#include "platform/os/File.h"

namespace zdb {

class TZDBCommitUndo;
class TZDBDatabaseEncryption;
class TZDBDatabaseFreeSpaceManager;
class TZDBRollbackJournal;
struct TZDBJournalContents;
struct TZDBJournalIdentity;

class TZDBDiskPageManager : public TZDBPageManager {
 public:
  explicit TZDBDiskPageManager(os::FileSystem& fileSystem = os::FileSystem::Default(),
                               int32_t cacheCapacity = DefaultCacheCapacity());
  // Closes the file if it is still open; uncommitted pages are lost.
  ~TZDBDiskPageManager() override;

  // --- the file --------------------------------------------------------------------------
  // Creates a new database file (an existing one of that name is replaced) and leaves it
  // open, read-write and exclusive, with no pages yet. 10461 when this manager already
  // serves a file; 30455 / 30456 for a page size or extent size out of range; 30454 for
  // a non-empty password with a cipher code above 7. A non-empty password makes the file
  // encrypted with the password's cipher code.
  void CreateDatabaseFile(const std::string& fileName, const TZDBPassword& password,
                          uint16_t pagesPerExtent = layout::DefaultPagesPerExtent,
                          uint16_t pageSize = layout::DefaultPageSize);
  // Opens a database file. readOnly and multiUser come back as the open turned out: a
  // file that this process cannot write opens read-only in the mode asked for (others may
  // write it), an exclusive open is single-user. Answers NeedsRepair: a commit was cut
  // short or the format is older than 2.99. 10462 when this manager already serves a
  // file; 20230 when the database stays locked; 10470 bad signature; 20237 a prologue
  // that does not describe this file; 30445 an encrypted file and a password that does
  // not open it. A commit left unfinished is rolled back; a process that cannot write
  // the file or its journal reads the file as rolled back instead (an open asked for
  // read-only does the recovery first when the file can be written). A failed open leaves the file closed and the manager free to try
  // again.
  bool OpenDatabaseFile(const std::string& fileName, const TZDBPassword& password, bool& multiUser,
                        bool exclusive, bool& readOnly);
  // Closes the file, and deletes the journal when no other process uses it. 20097 while a
  // session still has uncommitted pages.
  void CloseDatabaseFile();
  bool IsFileOpen() const { return file_.IsOpen(); }
  // For a salvage only, set before the open: a file shorter than its header says (an
  // interrupted copy) opens all the same, as the pages it holds (the header in memory
  // counts no more).
  void AcceptCutShortFile() { acceptCutShort_ = true; }
  void FlushFileBuffers() { file_.FlushFileBuffers(); }

  // --- page manager operations --------------------------------------------------------------
  // The header's TotalPageCount, re-read under the database lock byte (a single attempt;
  // 20236 when another process holds it).
  int32_t GetTotalPageCount() override;
  // Single-user: always. Multi-user: when the cache tracker proves the page current.
  bool IsPageCacheValid(int32_t session, TZDBPage& page) override;
  void MarkPageCacheValid(int32_t session, TZDBPage& page) override;
  // 30434 for a bitmap page, then the page cache's own rules.
  void RemovePage(int32_t session, int32_t pageNo) override;
  // 30434 for a bitmap page, 10471 for a negative number, 20299 for a page beyond the
  // end of the database, then the page cache's own rules.
  TZDBPage* GetPage(int32_t session, int32_t pageNo, bool checkVersions, uint16_t expectedType) override;
  // Commit, journaled as described above; 20213 when the database stays locked. A session
  // without changes commits without touching the file.
  void ApplyChanges(int32_t session) override;

  // Before the file changes while a write transaction runs: the page's old image (NoPage:
  // the journal's record of the header and size) is made durable in the journal first.
  static constexpr int32_t NoPage = -1;
  void JournalBeforeWrite(int32_t pageNo);
  // Before the file's tail is cut: the bitmap pages cut off go to the journal, since a
  // rollback gives the size back with zeros in them.
  void JournalBeforeCut(const std::vector<int32_t>& bitmapPages);

  // --- lock bytes ---------------------------------------------------------------------------
  // The counted database lock byte; hold it with TZDBDatabaseLockGuard.
  TZDBDatabaseLock& DatabaseLock() { return databaseLock_; }
  // Attempts and delay of every waiting lock of this database (4500 x 20 ms by default).
  const TZDBLockRetry& LockRetry() const { return lockRetry_; }
  void SetLockRetry(const TZDBLockRetry& retry) { lockRetry_ = retry; }
  // The tables lock byte: 20210 when it stays locked, 20211 when it cannot be released.
  void LockTables();
  void UnlockTables();
  // The next value of the NextObjectID counter (see TakeObjectID in ZDBLockBytes.h).
  int32_t TakeObjectID();

  // --- raw page access, for direct internal files -------------------------------------------
  // count bytes at offset inside a page, straight from / into the file. 10476 / 10477 when
  // offset + count leaves the page; file errors 10474 / 10475.
  void ReadPageBytes(int32_t pageNo, int32_t offset, void* buffer, int32_t count);
  void WritePageBytes(int32_t pageNo, int32_t offset, const void* buffer, int32_t count);

  // --- prologue -------------------------------------------------------------------------------
  // Re-reads the header from the file (10459 closed file; 10464 read error) / writes the
  // in-memory header (10460; 10462).
  const TZDBFileHeader& ReadHeader();
  // The header re-read by a holder of the database lock byte before it changes the file:
  // a commit that another writer left unfinished is rolled back first.
  const TZDBFileHeader& ReadHeaderForChange();
  // For a reader that finds the header's WriteState 1: when the database lock byte is free
  // at once, the writer that set it died in its commit, and its journal is rolled back now
  // rather than at the next write or open (or read through, by a process that may not
  // write), so that nobody reads its half-written pages. A live writer holds the byte
  // through its whole commit; then nothing happens. Answers whether no other process is in
  // the middle of a commit (the byte was taken at once, or this process holds it).
  bool RecoverDeadWriter();
  // For a read about to begin: false while another process stays in a commit (LockRetry's
  // attempts and delay; a dead writer's commit is undone or read through at once). stamp
  // is the file's commit stamp, none for a file marked in a commit that nobody writes and
  // no journal undoes (damaged; read as it is).
  bool AwaitCompleteCommit(std::optional<int64_t>& stamp);
  void WriteHeader();
  // The header as last read or written.
  const TZDBFileHeader& Header() const { return header_; }
  TZDBFileHeader& MutableHeader() { return header_; }
  const TZDBEncryptionRecord& EncryptionRecord() const { return encryptionRecord_; }
  uint16_t LockAreaSize() const { return lockArea_.LockAreaSize; }

  int64_t HeaderPosition() const { return headerPosition_; }
  // The header's commit counter and write state as one number, read from the file without a
  // system call where the file can be viewed in place; none while a commit is writing or
  // when the bytes cannot be read. While it stays the same, no process changed a page.
  std::optional<int64_t> CommitStamp();
  int64_t EncryptionRecordPosition() const { return encryptionRecordPosition_; }
  int64_t LockAreaPosition() const { return lockAreaPosition_; }
  int64_t ObjectIDCounterPosition() const { return objectIDCounterPosition_; }
  int64_t PageAreaStart() const { return pageAreaStart_; }
  // Byte offset of a page in the file, in 64 bits. 10471 for a negative number.
  int64_t PagePosition(int32_t pageNo) const;

  // --- state ----------------------------------------------------------------------------------
  TZDBDatabaseFile& File() { return file_; }
  TZDBDatabaseFreeSpaceManager& FreeSpaceManager();
  TZDBDiskTablePagesCacheManager& CacheTracker() { return cacheTracker_; }
  const TZDBPassword& Password() const { return password_; }
  bool ReadOnly() const { return readOnly_; }
  bool Exclusive() const { return exclusive_; }

  // The journal found beside the file at open that belonged to another database, renamed
  // aside (empty when there was none).
  const std::string& KeptAsideJournal() const { return keptAsideJournal_; }

  // Scans the whole file for the first header signature followed by HeaderSize 76; 0
  // when there is none (the signature check then fails).
  static int64_t FindHeaderPosition(TZDBDatabaseFile& file);

 protected:
  void InternalAddPage(TZDBPage& page) override;
  void InternalRemovePage(int32_t pageNo) override;
  bool InternalReadPage(TZDBPage& page) override;
  void InternalWritePage(TZDBPage& page) override;
  void RevalidateCachedPage(int32_t session, TZDBPage& page) override;
  void ChangesCancelled(int32_t session) override;

 private:
  friend class TZDBDatabaseFreeSpaceManager;

  void CheckNotServing(const TZDBError& errorCode) const;
  // Page reads of the file; the wrapper gives the page the commit stamp it was read under
  // (multi-user), so that it needs no revalidation while no commit follows.
  template <typename Read>
  bool ReadUnderFileStamp(TZDBPage& page, Read read);
  bool ReadPageFromFile(TZDBPage& page);
  void RevalidateFromFile(TZDBPage& page);
  // 30376 "Cannot perform this operation (%s) on a closed file".
  void RequireOpenFile(const char* operation) const;
  void SetProloguePositions(int64_t headerPosition, uint16_t headerSize, uint16_t lockAreaSize);
  // Whether a file that exists can be opened for writing the way the open will.
  bool IsWritable(const std::string& fileName, bool multiUser);
  void ReadPrologue(bool& needsRepair);
  void ValidatePrologue();
  void ReadEncryptionRecord();
  void WriteEncryptionRecord();
  void ReadLockArea();
  void WriteLockArea();
  void WriteInitialObjectID();
  void CloseAfterFailure();
  // --- the journaled write transaction (ZDBDiskPageManagerJournal.cpp) ---------------------
  // The process's write transaction runs from the first change of the file (a page
  // allocated, or a commit) until no session has changes left in the file: the database
  // lock byte is held all along, so no other process changes the file meanwhile, and the
  // journal holds the old image of every page written and the header and size as they
  // were. A journal a dead writer left is rolled back first.
  void BeginWriteTransaction(const TZDBError& errorCode);
  // After a commit or rollback: the transaction ends when no session has added pages
  // left; otherwise the journal starts anew from the file as it is now, listing those
  // pages, so the finished commit is never rolled back with them.
  void EndOrRenewWriteTransaction();
  void EndWriteTransaction() noexcept;
  void ApplyJournaledChanges(int32_t session);
  // The file's flush inside a write transaction; a failure marks every write since the
  // last good flush as lost, which only a rollback from the journal can mend.
  void FlushDatabase();
  // The old images of every existing page the commit overwrites or may free, flushed.
  void JournalCommit(int32_t session);
  void JournalPage(int32_t pageNo);
  // After a commit failed before its commit point: the file goes back to where the commit
  // found it and the session keeps its transaction for a retry; or, when the writes or the
  // journal cannot be trusted any more, the whole transaction is rolled back from the
  // journal and the session loses it (its added pages went with the file's rollback).
  void UndoFailedCommit(int32_t session, const TZDBCommitUndo& undo) noexcept;
  bool RestoreCommitStart(const TZDBCommitUndo& undo) noexcept;
  // Ends the write transaction by rolling the file back from its journal, or leaves that
  // to the next holder of the database lock byte when it fails too.
  void AbandonWriteTransaction() noexcept;
  // Under the database lock byte: rolls back what a valid journal protects, unless its
  // commit finished. Answers whether the file was rolled back, or is read as rolled back:
  // a process that cannot write the file or the journal reads through the journal.
  // The journal of this process's own transaction that failed is rolled back whatever the
  // header says: a header whose flush failed may read as finished.
  bool RecoverJournal();
  // The journal's commit is rolled back unless it finished (the journal is then only
  // invalidated). Answers whether the file was rolled back.
  bool RecoverFrom(TZDBRollbackJournal& journal, const TZDBJournalContents& contents);
  void RollBack(TZDBRollbackJournal& journal, const TZDBJournalContents& contents);
  // A page image restored by a rollback gets a version that neither it nor the interrupted
  // commit's image had.
  void SkipInterruptedVersion(int64_t position, std::vector<uint8_t>& image) const;
  // The rollback in memory only: the journal's old images laid over the file's reads
  // (ZDBReadOverlay.h), until someone who may write rolls the file back.
  void ReadThroughJournal(const TZDBJournalContents& contents);
  // Whether a valid journal was written for this database: the same page size, header
  // place and geometry, the same encryption record, and a commit counter that the
  // journal's commit can have left. Another database's journal is never rolled back.
  bool JournalBelongsHere(const TZDBJournalContents& contents);
  // Renames a journal that belongs to another database out of the way, so that it is
  // neither rolled back over this one nor overwritten; KeptAsideJournal names it.
  void KeepJournalAside(TZDBRollbackJournal& journal, uint32_t salt);
  // Journals that a writer left under another name of this same file (a hard link).
  bool RecoverJournalsOfOtherNames();
  TZDBJournalIdentity JournalIdentity() const;
  TZDBFileHeader ReadHeaderAt(int64_t position);
  // Frees the pages an interrupted transaction had added, as its rollback would have.
  void FreeAbandonedPages(const std::vector<int32_t>& pageNos);
  // The open's recovery, under the database lock byte; answers NeedsRepair afterwards.
  bool RecoverOnOpen();
  // Before a read-only open: a journal left behind is recovered through a writable open of
  // the file when this process may write it.
  void RecoverWithWriteAccess(const std::string& fileName);
  void CloseJournal() noexcept;
  // The header's page count for a read, refreshed from the file when the cached copy
  // says the page lies beyond the end (another process may have grown the file).
  bool PageWithinFile(int32_t pageNo);
  // Whether the page's data area is stored enciphered: an encrypted file, not a bitmap
  // page, not a page of a direct internal file.
  bool IsEnciphered(int32_t pageNo, uint16_t pageType) const;
  // Deciphers a page buffer just read from the file, if it is stored enciphered. 30446
  // when its CRC does not match.
  void DecipherReadPage(int32_t pageNo, uint8_t* buffer);

  TZDBDatabaseFile file_;
  std::unique_ptr<TZDBDatabaseFreeSpaceManager> freeSpace_;
  std::unique_ptr<TZDBDatabaseEncryption> encryption_;  // null for a plain file
  TZDBFileHeader header_;
  TZDBEncryptionRecord encryptionRecord_;
  TZDBLockArea lockArea_;
  TZDBPassword password_;
  TZDBDatabaseLock databaseLock_;
  TZDBLockRetry lockRetry_;
  TZDBDiskTablePagesCacheManager cacheTracker_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool served_ = false;  // a file was created or opened through this manager, and used
  bool acceptCutShort_ = false;
  int64_t headerPosition_ = 0;
  int64_t encryptionRecordPosition_ = layout::DefaultEncryptionRecordPosition;
  int64_t lockAreaPosition_ = layout::DefaultLockAreaPosition;
  int64_t objectIDCounterPosition_ = layout::DefaultObjectIDCounterPosition;
  int64_t pageAreaStart_ = layout::DefaultPageAreaStart;
  std::unique_ptr<TZDBRollbackJournal> journal_;
  std::optional<os::FileIdentity> fileIdentity_;  // the database file, whatever its name
  std::string keptAsideJournal_;
  std::vector<int32_t> unjournaledPages_;  // sorted: pages added before the journal began
  int64_t journaledFileSize_ = 0;          // the file's size when the journal began
  bool writeTransaction_ = false;          // the database lock byte is held for it
  bool recovering_ = false;
  TZDBCommitUndo* commitUndo_ = nullptr;  // while a commit writes: what it found
  // A flush of the file failed in this write transaction: see FlushDatabase.
  bool databaseWritesLost_ = false;
  // A failed commit whose rollback failed too: nothing may change the file before it is
  // rolled back, and that rollback does not trust the header.
  bool recoveryPending_ = false;
  std::optional<uint32_t> failedJournalSalt_;  // the salt of that transaction's journal
};

}  // namespace zdb
