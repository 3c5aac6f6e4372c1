// The database's list of tables: a transacted internal file of "TableList Page"s holding
// one 272-byte record per table, uncompressed, in creation order:
//   0    256  name: a length byte (0..255), then the characters; the rest is not significant
//   256  4    the table's ObjectID
//   260  4    StartPageNo of its "TableMetaData Page" file
//   264  4    StartPageNo of its "TableMostUpdated Page" file
//   268  4    StartPageNo of its lock region (TZDBTableLocksFile)
//
// Contract: the whole list is kept in memory. It is read from the file when loaded (at
// open) and when tables are listed; lookups and changes work on the copy in memory, and
// each change is made durable by saving the whole list (the database data object saves
// after every change). Names are compared after upper-casing the ASCII letters a-z only,
// so "abc" finds "ABC" but "ñ" does not find "Ñ". Serialising access, within the process
// and between processes, is the caller's (the database data object's lock and the tables
// lock byte).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBPageManager.h"

namespace zdb {

struct TZDBTableListEntry {
  std::string Name;
  int32_t ObjectID = 0;
  int32_t MetaDataStartPageNo = -1;
  int32_t MostUpdatedStartPageNo = -1;
  int32_t LocksStartPageNo = -1;
};

class TZDBTableListFile {
 public:
  static constexpr int32_t RecordSize = 272;
  static constexpr int NameOffset = 0;  // length byte, then the characters
  static constexpr int32_t NameFieldSize = 256;
  static constexpr int32_t MaxNameLength = NameFieldSize - 1;
  static constexpr int ObjectIDOffset = 256;
  static constexpr int MetaDataStartOffset = 260;
  static constexpr int MostUpdatedStartOffset = 264;
  static constexpr int LocksStartOffset = 268;

  explicit TZDBTableListFile(TZDBPageManager& pageManager);

  // A new empty list; answers its StartPageNo. 30393 when a list is open.
  int32_t Create(int32_t session = TZDBPageManager::SystemSession);
  // 30393 "Table list file already opened." when a list is open.
  void Open(int32_t startPageNo);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  int32_t StartPageNo() const { return file_.StartPageNo(); }

  // Reads every record from the file into memory (a trailing partial record is not one).
  void Load(int32_t session = TZDBPageManager::SystemSession);
  // Writes every record of the copy in memory.
  void Save(int32_t session = TZDBPageManager::SystemSession);

  // --- the copy in memory -----------------------------------------------------------------
  // Appends a record. 30395 when the name exists; 30394 for a name longer than 255 bytes.
  void Add(std::string_view name, int32_t objectID, int32_t metaDataStartPageNo, int32_t mostUpdatedStartPageNo,
           int32_t locksStartPageNo);
  // 30396 when there is no such table.
  TZDBTableListEntry Get(std::string_view name) const;
  bool Exists(std::string_view name) const { return Find(name) >= 0; }
  // Later records move up. 30405 when there is no such table.
  void Remove(std::string_view name);
  // Replaces the name in place. 30397 when there is no such table; 30395 when the new name
  // belongs to another table; 30394 for a new name longer than 255 bytes.
  void Rename(std::string_view oldName, std::string_view newName);
  // Reloads from the file, then the names in file order.
  std::vector<std::string> List(int32_t session = TZDBPageManager::SystemSession);
  const std::vector<TZDBTableListEntry>& Entries() const { return entries_; }

  // Whether two names are the same table name: equal after upper-casing ASCII a-z.
  static bool SameName(std::string_view a, std::string_view b);

 private:
  // Index of the record with that name, or -1.
  int32_t Find(std::string_view name) const;
  static void CheckNameLength(std::string_view name);

  TZDBInternalDBTransactedAccessFile file_;
  std::vector<TZDBTableListEntry> entries_;
};

}  // namespace zdb
