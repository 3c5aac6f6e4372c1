#include "engine/table/ZDBBlobCache.h"

namespace zdb {

uint32_t TZDBBlobCache::Add(int32_t fieldNo) {
  do {
    ++lastHandle_;
  } while (lastHandle_ == NoHandle || values_.count(lastHandle_) != 0);
  auto value = std::make_unique<TZDBBlobValue>();
  value->FieldNo = fieldNo;
  values_.emplace(lastHandle_, std::move(value));
  return lastHandle_;
}

TZDBBlobValue* TZDBBlobCache::Find(uint32_t handle, int32_t fieldNo) {
  if (handle == NoHandle) return nullptr;
  auto it = values_.find(handle);
  if (it == values_.end() || it->second->FieldNo != fieldNo) return nullptr;
  return it->second.get();
}

}  // namespace zdb
