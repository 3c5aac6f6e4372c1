#include "engine/index/ZDBPageKeyRef.h"

#include "engine/base/ZDBEndian.h"

namespace zdb {

void TZDBPageKeyRef::WriteKey(uint8_t* key, int32_t pageNo) { le::PutI32(key, pageNo); }
int32_t TZDBPageKeyRef::ReadKey(const uint8_t* key) { return le::GetI32(key); }

int TZDBPageKeyRef::CompareKeys(const uint8_t* searchKey, const uint8_t* entryKey, const uint8_t* /*entryData*/,
                                const uint8_t* /*searchData*/, int32_t /*session*/, bool /*resolve*/) {
  const int32_t a = ReadKey(searchKey);
  const int32_t b = ReadKey(entryKey);
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace zdb
