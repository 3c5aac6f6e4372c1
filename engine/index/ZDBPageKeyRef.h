// Keys of the page-number trees: one signed 32-bit page number, no null byte, compared as
// a number; each leaf entry carries a 16-bit value.
#pragma once

#include <cstdint>

#include "engine/index/ZDBBTreeKeyRef.h"

namespace zdb {

class TZDBPageKeyRef : public TZDBBTreeKeyRef {
 public:
  static constexpr int32_t PageKeySize = 4;
  static constexpr uint16_t PageValueSize = 2;

  TZDBPageKeyRef() {
    keySize_ = PageKeySize;
    fullKeySize_ = PageKeySize;
    entryDataSize_ = PageValueSize;
  }

  static void WriteKey(uint8_t* key, int32_t pageNo);
  static int32_t ReadKey(const uint8_t* key);

  // The two page numbers as signed integers; the other arguments are not used.
  int CompareKeys(const uint8_t* searchKey, const uint8_t* entryKey, const uint8_t* entryData,
                  const uint8_t* searchData, int32_t session, bool resolve) override;
  bool KeysAreUnique() const override { return true; }
};

}  // namespace zdb
