// The key descriptor a B-tree compares its keys with: the size of the keys kept in the
// pages, the bytes of leaf data after each key, and the comparison itself.
//
// Entries with equal keys are ordered by their leaf data (CompareRecordIDs), so that
// (key, data) is unique within a tree.
#pragma once

#include <cstdint>

#include "engine/index/ZDBRecordID.h"

namespace zdb {

class TZDBBTreeKeyRef {
 public:
  virtual ~TZDBBTreeKeyRef() = default;

  // Size of the page key (the form kept in B-tree pages and used for searching).
  int32_t KeySize() const { return keySize_; }
  // Size of the key without truncation.
  int32_t FullKeySize() const { return fullKeySize_; }
  // Bytes after the key in a leaf entry.
  uint16_t EntryDataSize() const { return entryDataSize_; }
  void SetEntryDataSize(uint16_t size) { entryDataSize_ = size; }

  // -1, 0, +1: a search key against a stored key. entryData is the stored entry's leaf
  // data when known, searchData the search's own (both may be null). resolve lets the
  // comparison read whole rows to decide between keys whose stored part is equal.
  virtual int CompareKeys(const uint8_t* searchKey, const uint8_t* entryKey, const uint8_t* entryData,
                          const uint8_t* searchData, int32_t session, bool resolve) = 0;
  // Whether equal page keys may stand for different values that only resolve tells
  // apart (keys of truncated columns).
  virtual bool HasTruncatedColumns() const { return false; }
  // Whether no two entries of a tree may have equal keys.
  virtual bool KeysAreUnique() const { return false; }

  // The order of two entries whose keys are equal.
  int CompareEntryData(const uint8_t* a, const uint8_t* b) const { return CompareRecordIDs(a, b, entryDataSize_); }

 protected:
  int32_t keySize_ = 0;
  int32_t fullKeySize_ = 0;
  uint16_t entryDataSize_ = 0;
};

}  // namespace zdb
