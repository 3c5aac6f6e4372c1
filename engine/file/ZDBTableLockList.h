// One session's table locks as its process knows them: an entry per kind and table, with
// how often the session took it (nesting) and whether its lock byte is actually held in
// the file. An entry that is not applied rides on another lock of the session on the same
// table that covers it, and is applied in the file when that lock goes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/file/ZDBTableLockKinds.h"
#include "engine/file/ZDBTableLocksFile.h"

namespace zdb {

struct TZDBTableLockEntry {
  TZDBTableLockKind Kind = TableLockOpen;
  int32_t Table = -1;  // the StartPageNo of the table's lock region
  int32_t Count = 1;   // nesting: unlocks still needed
  bool Applied = false;
  bool Flag = false;   // the caller's flag when the lock was first taken
  // For TableLockRecord: the record locked, written into the region whenever the entry
  // is applied (also when a covering lock goes and the entry is applied late).
  TZDBTableLocksFile::RecordIDBytes Record{};
};

class TZDBTableLockList {
 public:
  // nullptr when the session has no lock of that kind on the table.
  TZDBTableLockEntry* Find(TZDBTableLockKind kind, int32_t table);
  // A lock of another kind on the table that covers kind; nullptr when there is none.
  TZDBTableLockEntry* FindCovering(TZDBTableLockKind kind, int32_t table);
  void Add(const TZDBTableLockEntry& entry) { entries_.push_back(entry); }
  // Removes the entry of that kind on the table, if any.
  void Remove(TZDBTableLockKind kind, int32_t table);
  // The tables on which the session holds kind, in the order they were locked.
  std::vector<int32_t> TablesWith(TZDBTableLockKind kind) const;

  const std::vector<TZDBTableLockEntry>& Entries() const { return entries_; }
  std::vector<TZDBTableLockEntry>& Entries() { return entries_; }
  bool IsEmpty() const { return entries_.empty(); }
  // 20201 "Some table locks still exist" unless the list is empty; called before the list
  // is given up, since a lock left behind would never be released.
  void CheckEmpty() const;

 private:
  std::vector<TZDBTableLockEntry> entries_;
};

}  // namespace zdb
