// The in-memory values of a table's BLOB fields: what cursors loaded or changed, until
// the row is written or the buffer released. Each value is named by a handle that the
// record buffer keeps in the field's last 4 bytes.
//
// Handles are never 0 (a fresh row's bytes) and are not given again while the counter
// has not wrapped, so a stale copy of a record buffer does not find a newer value by
// chance; a value also answers only for the field it was made for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/table/ZDBBlobLayout.h"

namespace zdb {

struct TZDBBlobValue {
  int32_t FieldNo = -1;
  TZDBBlobParams Params;
  bool Modified = false;
  std::vector<uint8_t> Bytes;
};

class TZDBBlobCache {
 public:
  static constexpr uint32_t NoHandle = 0;

  // A new, empty value of the field, and its handle.
  uint32_t Add(int32_t fieldNo);
  // The value of that handle made for that field, or null.
  TZDBBlobValue* Find(uint32_t handle, int32_t fieldNo);
  void Remove(uint32_t handle) { values_.erase(handle); }
  size_t Count() const { return values_.size(); }

 private:
  std::unordered_map<uint32_t, std::unique_ptr<TZDBBlobValue>> values_;
  uint32_t lastHandle_ = NoHandle;
};

}  // namespace zdb
