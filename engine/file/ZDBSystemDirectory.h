// The database's system directory: where its system files start. A transacted internal
// file of "FileSystemDirectory Page"s that always starts at page 2; its content is an
// array of 5-byte entries (uint8 system file id, int32 StartPageNo), uncompressed, which
// is kept whole in memory. All work is done for the system session (-2).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/file/ZDBInternalDBTransactedAccessFile.h"

namespace zdb {

class TZDBPageManager;

class TZDBSystemDirectory {
 public:
  static constexpr int32_t SystemDirectoryPageNo = 2;
  static constexpr uint8_t TableListFileId = 1;
  static constexpr uint8_t ActiveSessionsFileId = 2;
  static constexpr int32_t EntrySize = 5;
  static constexpr int EntryFileIdOffset = 0;       // uint8
  static constexpr int EntryStartPageNoOffset = 1;  // int32

  struct Entry {
    uint8_t FileId = 0;
    int32_t StartPageNo = -1;
  };

  explicit TZDBSystemDirectory(TZDBPageManager& pageManager);

  // A new empty directory. 30392 when its page is not page 2 (the page is left to the
  // system session's rollback); 30383 when a directory is open.
  void Create();
  // Opens the directory at page 2 and loads its entries.
  void Open();
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  // Appends an entry to the copy in memory.
  void AddEntry(uint8_t fileId, int32_t startPageNo);
  // Writes every entry of the copy in memory.
  void Save();
  // Reads every entry from the file (a trailing partial entry is not one).
  void Load();
  // StartPageNo of the first entry with that id, or -1.
  int32_t Find(uint8_t fileId) const;
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  TZDBInternalDBTransactedAccessFile file_;
  std::vector<Entry> entries_;
};

}  // namespace zdb
