// An internal file kept through the page cache on behalf of a session: its changes are
// private to that session until it commits (ApplyChanges) and vanish when it rolls back.
// The system directory, the table list and a table's metadata and most-updated data are
// such files.
//
// Contract: the file is a chain of pages of one type, linked through NextPageNo (-1 ends
// it), whose first data area opens with the 10-byte internal-file header: header size 10,
// stored size, FileSize (the content size before compression) and the compression
// algorithm. Content byte i lies in chain page (i + 10) div D at data offset
// (i + 10) mod D, D = PageDataSize. Every page is fetched with the file's page type, so a
// chain that runs into a page of another type fails with 20153, and one that ends before
// the bytes it must hold with 20300 or 30388; a damaged chain is always an engine error.
//
// The chain always has exactly the pages the stored size needs: a smaller size gives the
// pages beyond the new end back (freed in the file at the session's commit) and a larger
// one first reuses pages still linked past the end (files written elsewhere may keep
// them), then links new ones. Every operation before Create or Open raises 30389.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/file/ZDBPageRef.h"

namespace zdb {

class TZDBPageManager;

// What GetSize reports of the header.
struct TZDBInternalFileSize {
  int32_t StoredSize = 0;  // bytes in the chain (compressed size when compressed)
  int32_t FileSize = 0;    // content size before compression
  uint8_t Algorithm = 0;   // 0 none, 1 ZLIB, 2 BZIP, 3 PPM
  bool ReadFromFile = false;  // the first page had to be read from the file for this call
};

class TZDBInternalDBTransactedAccessFile {
 public:
  static constexpr int32_t NoFile = -1;

  TZDBInternalDBTransactedAccessFile(TZDBPageManager& pageManager, uint16_t pageType);
  TZDBInternalDBTransactedAccessFile(const TZDBInternalDBTransactedAccessFile&) = delete;
  TZDBInternalDBTransactedAccessFile& operator=(const TZDBInternalDBTransactedAccessFile&) = delete;

  // A new empty file of one page (header 10 / 0 / 0 / 0). 30383 when a file is open.
  void Create(int32_t session);
  // Remembers the start page; -1 leaves the object as it is.
  void Open(int32_t startPageNo);
  // Gives every page of the chain back (freed at the session's commit); closed afterwards.
  void Delete(int32_t session);
  // Forgets the file without touching it.
  void Close() { startPageNo_ = NoFile; }

  bool IsOpen() const { return startPageNo_ != NoFile; }
  int32_t StartPageNo() const { return startPageNo_; }
  uint16_t PageType() const { return pageType_; }

  // Page n of the chain (0 is the first), reached by following n links. 20300 when the
  // chain ends before it.
  TZDBPageRef GetChainPage(int32_t session, int32_t index, bool checkVersions = true);

  TZDBInternalFileSize GetSize(int32_t session, bool checkVersions = true);
  // Makes the chain exactly as long as storedSize needs and writes the three header fields.
  // 20158 for a negative size.
  void SetSize(int32_t session, int32_t storedSize, uint8_t algorithm, int32_t fileSize);

  // The first count content bytes, decompressed when stored compressed. 30387 when the
  // file holds fewer than count bytes; 30388 when the chain ends too early; 20189 when
  // the stored bytes do not decompress to FileSize bytes.
  void ReadFile(int32_t session, void* buffer, bool checkVersions, int32_t count);
  // The whole content.
  std::vector<uint8_t> ReadAll(int32_t session, bool checkVersions = true);
  // Replaces the content by count bytes, compressed with the algorithm at the level unless
  // the algorithm is 0 (20187 when compression fails). An empty content is stored plain;
  // 20158 for a negative count.
  void WriteFile(int32_t session, const void* data, uint8_t level, uint8_t algorithm, int32_t count);

 private:
  void CheckOpen(const char* operation) const;
  TZDBPageRef FirstPage(int32_t session, bool checkVersions);
  // The page after `page` in the chain, or an empty handle at the end of the chain.
  TZDBPageRef NextPage(int32_t session, const TZDBPageRef& page, bool checkVersions);
  // Hands count stored bytes from content offset 0 to `take`, a page's piece at a time
  // (30388 when the chain ends first or runs into itself).
  void CopyStoredBytes(int32_t session, bool checkVersions, int32_t count, const TZDBInternalFileSize& size,
                       int32_t requested, const std::function<void(const uint8_t* piece, int32_t length)>& take);
  // The first count stored bytes. The buffer grows with the pages actually read, so a
  // damaged size cannot ask for more memory than the chain holds.
  std::vector<uint8_t> ReadStoredBytes(int32_t session, bool checkVersions, int32_t count,
                                       const TZDBInternalFileSize& size, int32_t requested);
  // The first count content bytes of a compressed file (20189 as ReadFile).
  std::vector<uint8_t> ReadDecompressed(int32_t session, bool checkVersions, const TZDBInternalFileSize& size,
                                        int32_t count);
  // Gives back the chain that follows `pageNo` (its pages are not linked anywhere else).
  void RemoveChainFrom(int32_t session, int32_t pageNo);

  TZDBPageManager& pageManager_;
  int32_t startPageNo_ = NoFile;
  uint16_t pageType_;
};

}  // namespace zdb
