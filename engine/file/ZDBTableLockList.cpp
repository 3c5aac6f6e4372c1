#include "engine/file/ZDBTableLockList.h"

#include <algorithm>

#include "engine/base/ZDBException.h"

namespace zdb {

TZDBTableLockEntry* TZDBTableLockList::Find(TZDBTableLockKind kind, int32_t table) {
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [&](const TZDBTableLockEntry& e) { return e.Kind == kind && e.Table == table; });
  return found == entries_.end() ? nullptr : &*found;
}

TZDBTableLockEntry* TZDBTableLockList::FindCovering(TZDBTableLockKind kind, int32_t table) {
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const TZDBTableLockEntry& e) {
    return e.Table == table && e.Kind != kind && Covers(e.Kind, kind);
  });
  return found == entries_.end() ? nullptr : &*found;
}

void TZDBTableLockList::Remove(TZDBTableLockKind kind, int32_t table) {
  std::erase_if(entries_, [&](const TZDBTableLockEntry& e) { return e.Kind == kind && e.Table == table; });
}

std::vector<int32_t> TZDBTableLockList::TablesWith(TZDBTableLockKind kind) const {
  std::vector<int32_t> tables;
  for (const TZDBTableLockEntry& e : entries_) {
    if (e.Kind == kind) tables.push_back(e.Table);
  }
  return tables;
}

void TZDBTableLockList::CheckEmpty() const {
  if (!entries_.empty()) RaiseError(errors::LocksLeft);
}

}  // namespace zdb
