// An internal file read and written straight in the database file, past the page cache
// and every transaction: the form the engine's lock regions take (session slots, table
// lock regions), whose bytes other processes lock while this one runs.
//
// Contract: the file is a chain of pages of one type, linked through NextPageNo, with
// the 10-byte internal-file header at data offset 0 of the first page (header size 10,
// stored size, then FileSize 0 and algorithm 0). Content byte i lies in chain page
// (i + 10) div D at data offset (i + 10) mod D, D = PageDataSize. Create adds the pages
// for the system session (-2), so they reach the file at that session's commit; they are
// never encrypted, since other processes lock and read their bytes in place. Open reads
// the stored size and the chain straight from the file, never touching byte 0 of a page
// (the guard byte another process may hold). Content bytes are only ever addressed
// inside the stored size, so a damaged chain or a bad position is an engine error, not a
// stray read. Every lock is exclusive and non-blocking and answers whether it was
// obtained.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdb {

class TZDBDiskPageManager;

class TZDBInternalDBDirectAccessFile {
 public:
  static constexpr int32_t NoFile = -1;

  TZDBInternalDBDirectAccessFile(TZDBDiskPageManager& pageManager, uint16_t pageType);
  TZDBInternalDBDirectAccessFile(const TZDBInternalDBDirectAccessFile&) = delete;
  TZDBInternalDBDirectAccessFile& operator=(const TZDBInternalDBDirectAccessFile&) = delete;

  // A new chain that holds size content bytes (zero). 20157 when a file is open; 20158
  // for a negative size.
  void Create(int32_t size);
  // Opens the chain at startPageNo: the stored size and the page numbers, straight from
  // the file. 20155 for a page of another type; 20300 for a chain that ends (or turns back
  // on itself) before the size is covered, or a stored size that cannot be. 20157 when a
  // file is open already.
  void Open(int32_t startPageNo);
  // Removes every page of the chain for the system session (freed in the file at its
  // commit) and leaves the object closed.
  void Delete();
  // Forgets the file without touching it.
  void Close();

  bool IsOpen() const { return startPageNo_ != NoFile; }
  int32_t StartPageNo() const { return startPageNo_; }
  uint16_t PageType() const { return pageType_; }
  // The stored size as read when opened (or given at create).
  int32_t Size() const { return size_; }
  // The chain's pages in order, as collected at create or open.
  const std::vector<int32_t>& PageNumbers() const { return pageNumbers_; }
  TZDBDiskPageManager& PageManager() const { return pageManager_; }

  // The stored size, read from the file now.
  int32_t GetSize();

  // count content bytes at position, straight from / into the file. Read: 20159 when
  // position (or position + count) lies beyond the size. Write: 20158 when
  // position + count does. Page headers and versions are not touched.
  void DirectReadBuffer(void* buffer, int32_t count, int32_t position);
  void DirectWriteBuffer(const void* buffer, int32_t count, int32_t position);

  // The guard byte: byte 0 of the first page.
  bool LockFile();
  bool UnlockFile();
  // The file byte that holds content byte position. 20159 for a position outside the
  // content.
  bool LockByte(int32_t position);
  bool UnlockByte(int32_t position);
  bool IsByteLocked(int32_t position);
  // Whether any file byte holding content bytes position .. position + count - 1 is locked
  // (tested page by page); false for count <= 0. 20159 for a range outside the content.
  bool IsRegionLocked(int32_t position, int32_t count);

  // File offsets of the guard byte and of the byte that holds content byte position.
  int64_t GuardBytePosition() const;
  int64_t ContentBytePosition(int32_t position) const;

 private:
  void CheckOpen(const char* operation) const;
  void CheckContentRange(int32_t position, int32_t count) const;
  int32_t ReadStoredSize();
  // Calls visit(file offset, byte count) for each page-sized piece of the content range.
  template <typename Visit>
  void ForEachPiece(int32_t position, int32_t count, Visit visit) const;

  TZDBDiskPageManager& pageManager_;
  int32_t startPageNo_ = NoFile;
  uint16_t pageType_;
  int32_t size_ = 0;
  std::vector<int32_t> pageNumbers_;
};

}  // namespace zdb
