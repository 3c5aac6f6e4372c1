// A read-only look at the structures of a database file, for tools that show them: the
// header and state, the session slots and the system directory, the header of every page,
// the table list. The answers are plain data; nothing of the file is changed.
//
// The file is opened read-only and shared with whoever uses it, and no session slot is
// taken, so that looking never changes it. An encrypted file needs its password: a wrong
// or missing one gives 30445 (the other failures of an open are those of
// TZDBDiskPageManager::OpenDatabaseFile).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBPassword.h"

namespace zdb {

class TZDBDiskPageManager;

// Opens the file in manager the way the inspector does; answers NeedsRepair.
bool OpenForInspection(TZDBDiskPageManager& manager, const std::string& fileName, const TZDBPassword& password);

// The header as stored, and the state of the open file.
struct TZDBFileHeaderInfo {
  std::string Signature;  // unprintable bytes shown as '.'
  int64_t HeaderPosition = 0;
  double FormatVersion = 0;
  uint16_t PageSize = 0;
  uint16_t PagesPerExtent = 0;
  int32_t TotalPageCount = 0;
  int32_t LastUsedPageNo = 0;
  int32_t CommitCounter = 0;
  uint8_t WriteState = 0;
  bool Encrypted = false;
  std::string CipherName;  // of an encrypted file; empty for a plain one
  bool NeedsRepair = false;
  int64_t FileSize = 0;
};

struct TZDBSystemDirectoryEntry {
  uint8_t FileId = 0;
  int32_t StartPageNo = 0;
};

// The session slot count and the system directory's entries in stored order; when they
// cannot be read, Readable is false and Problem says why.
struct TZDBSystemFilesInfo {
  bool Readable = false;
  std::string Problem;
  int32_t SlotCount = 0;
  std::vector<TZDBSystemDirectoryEntry> Entries;
};

// The header of one page, and its bit in the free-space bitmap.
struct TZDBPageSummary {
  int32_t PageNo = 0;
  uint16_t Type = 0;
  std::string TypeName;  // "Unknown Page Type: (N)" for a code the engine does not know
  int32_t NextPageNo = 0;
  int32_t OwnerObjectID = 0;
  int32_t Version = 0;
  bool Used = false;
};

// The slots taken at the moment of looking, in order. A single-user process holds every
// slot.
struct TZDBSessionSlotsInfo {
  int32_t SlotCount = 0;
  std::vector<int32_t> Taken;
};

struct TZDBTableListRow {
  std::string Name;
  int32_t ObjectID = 0;
  int32_t MetaDataStartPageNo = 0;
  int32_t MostUpdatedStartPageNo = 0;
  int32_t LocksStartPageNo = 0;
};

// The file is open from construction to Close or destruction.
class TZDBFileInspector {
 public:
  TZDBFileInspector(const std::string& fileName, const TZDBPassword& password);
  ~TZDBFileInspector();
  TZDBFileInspector(const TZDBFileInspector&) = delete;
  TZDBFileInspector& operator=(const TZDBFileInspector&) = delete;

  TZDBFileHeaderInfo Header();
  // Never raises: a failure to read them is its answer.
  TZDBSystemFilesInfo SystemFiles();
  // Pages 0 .. the header's TotalPageCount - 1, each read raw (bitmap pages too).
  int32_t PageCount() const;
  TZDBPageSummary Page(int32_t pageNo);
  // Looked at under the slots file's guard byte, so that the look never makes a process
  // that is connecting at the same moment skip a free slot; a guard that stays taken for
  // about two seconds raises std::runtime_error.
  TZDBSessionSlotsInfo SessionSlots();
  // The tables in stored order.
  std::vector<TZDBTableListRow> Tables();

  void Close();

 private:
  std::unique_ptr<TZDBDiskPageManager> manager_;
  bool needsRepair_ = false;
  std::vector<uint8_t> pageBuffer_;
};

}  // namespace zdb
