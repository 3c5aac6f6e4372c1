// One page held in memory: its buffer (page header + data area) and the bookkeeping the
// page manager needs to share it between sessions.
//
// Contract: a page object belongs to exactly one page manager and, while it is cached,
// to exactly one list of it (the shared cache or one session's private pages). Callers
// never create or free page objects themselves: they get one from the manager
// (GetPage/AddPage), read or change its data area, MarkDirty() when changed, and give it
// back with PutPage (TZDBPageRef does the pairing). Every header field is read and
// written little-endian through the accessors below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/file/ZDBFileLayout.h"

namespace zdb {

class TZDBPageManager;
class TZDBSortedPageList;

class TZDBPage {
 public:
  // Page header layout: offsets of the header fields inside the page buffer.
  static constexpr size_t PageTagOffset = 0;
  static constexpr size_t PageVersionOffset = 4;
  static constexpr size_t PageTypeOffset = 8;
  static constexpr size_t NextPageNoOffset = 10;
  static constexpr size_t DataCRCOffset = 14;
  static constexpr size_t PageCipherCodeOffset = 20;
  static constexpr size_t OwnerObjectIDOffset = 22;
  static constexpr size_t ReservedMinusOneOffset = 26;  // int32, -1 on a fresh page
  static constexpr size_t HeaderSize = layout::PageHeaderSize;

  static constexpr uint32_t PageTagValue = 0x5042445A;  // "ZDBP"
  static constexpr int32_t NoPage = -1;
  // PageVersion of a page whose read failed in memory, or of a page freed on disk.
  static constexpr int32_t FreedPageVersion = layout::PageVersionFreed;
  // AddPage draws the version of a new page from 0 .. MaxInitialPageVersion.
  static constexpr int32_t MaxInitialPageVersion = 0x3FFFFFFE;

  TZDBPage(TZDBPageManager& manager, int32_t pageNo);
  ~TZDBPage();
  TZDBPage(const TZDBPage&) = delete;
  TZDBPage& operator=(const TZDBPage&) = delete;

  TZDBPageManager& PageManager() const { return *manager_; }

  int32_t PageNo() const { return pageNo_; }
  void SetPageNo(int32_t pageNo) { pageNo_ = pageNo; }

  // --- buffer -------------------------------------------------------------------------
  bool HasBuffer() const { return buffer_ != nullptr; }
  // Allocates PageSize zero-filled bytes unless the page already has a buffer.
  void AllocateBuffer();
  // Zero-fills the buffer (allocating it if needed) and writes the initial header values:
  // tag, version 0, type 0, NextPageNo -1, DataCRC 0, cipher code 0, OwnerObjectID -1.
  void InitializeHeader();
  // Grows the buffer to newSize bytes, keeping its content and zero-filling the rest.
  // 20038 without a buffer, 20039 when newSize is below PageSize.
  void EnlargeBuffer(size_t newSize);
  // Lets the page work on a caller's buffer of at least PageSize bytes (OwnsBuffer false).
  void AttachBuffer(uint8_t* buffer, size_t size);
  uint8_t* Buffer() { return buffer_; }
  const uint8_t* Buffer() const { return buffer_; }
  size_t BufferSize() const { return bufferSize_; }
  bool OwnsBuffer() const { return ownsBuffer_; }

  // The data area: the buffer after the page header, PageDataSize bytes.
  uint8_t* Data();
  const uint8_t* Data() const;
  size_t DataSize() const;

  // --- header fields --------------------------------------------------------------------
  uint32_t PageTag() const;
  void SetPageTag(uint32_t value);
  int32_t PageVersion() const;
  void SetPageVersion(int32_t value);
  uint16_t PageType() const;
  void SetPageType(uint16_t value);
  int32_t NextPageNo() const;
  void SetNextPageNo(int32_t value);
  uint32_t DataCRC() const;
  void SetDataCRC(uint32_t value);
  uint8_t PageCipherCode() const;
  void SetPageCipherCode(uint8_t value);
  int32_t OwnerObjectID() const;
  void SetOwnerObjectID(int32_t value);

  // --- state ----------------------------------------------------------------------------
  bool Dirty() const { return dirty_; }
  void MarkDirty() { dirty_ = true; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  int32_t UseCount() const { return useCount_; }
  // The session using the page, or the one that changed it.
  int32_t SessionID() const { return sessionID_; }
  // The list the page is kept in (the shared cache or a session's private pages), or null.
  TZDBSortedPageList* OwnerList() const { return ownerList_; }
  bool ReadFromFile() const { return readFromFile_; }
  void SetReadFromFile(bool value) { readFromFile_ = value; }
  // False for pages of direct internal files, which other processes read in place.
  bool EncryptOnWrite() const { return encryptOnWrite_; }
  void SetEncryptOnWrite(bool value) { encryptOnWrite_ = value; }

  // --- per-session validity stamps (multi-user cache revalidation) ---------------------
  // True and the stamp when one was stored for the session.
  bool SessionStamp(int32_t session, int32_t& stamp) const;
  void SetSessionStamp(int32_t session, int32_t stamp);
  // Also forgets the file stamp: what was known of the old content no longer holds.
  void InvalidateSessionStamps();
  // The file's commit stamp under which the content was read or found current, unchanged
  // from before the read to after it; NoFileStamp when none is known.
  static constexpr int64_t NoFileStamp = -1;
  int64_t FileStamp() const { return fileStamp_; }
  void SetFileStamp(int64_t stamp) { fileStamp_ = stamp; }
  // Read while another process may have been in the middle of a commit: the content may be
  // that commit's, and versions can come back after its rollback, so the page is not kept
  // in the shared cache once its last user releases it.
  bool Transient() const { return transient_; }
  void SetTransient(bool transient) { transient_ = transient; }

 private:
  friend class TZDBPageManager;
  friend class TZDBSortedPageList;

  struct Stamp {
    int32_t value = -1;
    bool valid = false;
  };

  void RequireHeader() const;

  TZDBPageManager* manager_;
  int32_t pageNo_;
  uint8_t* buffer_ = nullptr;
  size_t bufferSize_ = 0;
  std::unique_ptr<uint8_t[]> ownedBuffer_;
  bool ownsBuffer_ = true;
  bool dirty_ = false;
  int32_t useCount_ = 0;
  TZDBSortedPageList* ownerList_ = nullptr;
  int64_t fileStamp_ = NoFileStamp;
  bool transient_ = false;
  uint64_t useClock_ = 0;  // the owner list's clock when the page was last added or touched
  // The owner list's order of use, least recent first.
  TZDBPage* lessRecent_ = nullptr;
  TZDBPage* moreRecent_ = nullptr;
  int32_t sessionID_ = -1;
  bool readFromFile_ = false;
  bool encryptOnWrite_ = true;
  std::vector<Stamp> stamps_;  // indexed by session number + 2
};

}  // namespace zdb
