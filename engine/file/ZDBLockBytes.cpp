#include "engine/file/ZDBLockBytes.h"

#include <array>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBFilePrologue.h"
#include "engine/file/ZDBLockWait.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

constexpr int32_t ReadOnlyObjectIDSpread = 10000;

// Releases the object-ID lock byte on every path.
class ObjectIDLock {
 public:
  ObjectIDLock(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry)
      : file_(file), position_(position) {
    if (!LockByteWithRetry(file_, position_, retry))
      RaiseError(errors::ObjectIDLocked);
  }
  ~ObjectIDLock() { file_.UnlockByte(1, position_); }
  ObjectIDLock(const ObjectIDLock&) = delete;
  ObjectIDLock& operator=(const ObjectIDLock&) = delete;

 private:
  TZDBDatabaseFile& file_;
  int64_t position_;
};

}  // namespace

bool LockByteWithRetry(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry) {
  return WaitForLock(retry, [&] { return file.LockByte(1, position); });
}

void TZDBDatabaseLock::Lock(const TZDBError& errorCode, const TZDBLockRetry& retry) {
  if (count_ == 0 && !LockByteWithRetry(file_, position_, retry)) RaiseError(errorCode);
  ++count_;
}

bool TZDBDatabaseLock::TryLock() {
  if (count_ == 0 && !file_.LockByte(1, position_)) return false;
  ++count_;
  return true;
}

void TZDBDatabaseLock::Unlock() {
  if (count_ == 0) return;
  if (--count_ == 0 && file_.IsOpen()) file_.UnlockByte(1, position_);
}

void LockTablesByte(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry) {
  if (!LockByteWithRetry(file, position, retry)) RaiseError(errors::TablesLocked);
}

void UnlockTablesByte(TZDBDatabaseFile& file, int64_t position) {
  if (!file.UnlockByte(1, position)) RaiseError(errors::TablesUnlock);
}

TZDBTablesLockGuard::TZDBTablesLockGuard(TZDBDatabaseFile& file, int64_t position, const TZDBLockRetry& retry)
    : file_(file), position_(position) {
  LockTablesByte(file_, position_, retry);
}

TZDBTablesLockGuard::~TZDBTablesLockGuard() {
  if (held_ && file_.IsOpen()) file_.UnlockByte(1, position_);
}

void TZDBTablesLockGuard::Release() {
  if (!held_) return;
  held_ = false;
  UnlockTablesByte(file_, position_);
}

int32_t TakeObjectID(TZDBDatabaseFile& file, int64_t counterPosition, bool readOnly, const TZDBLockRetry& retry) {
  ObjectIDLock lock(file, counterPosition, retry);
  std::array<uint8_t, layout::ObjectIDCounterSize> bytes{};
  file.ReadBuffer(bytes.data(), counterPosition, bytes.size(), errors::ObjectIDRead);
  // The counter wraps like the signed 32-bit value it is.
  auto wrappingAdd = [](int32_t value, int32_t add) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(add));
  };
  const int32_t next = wrappingAdd(DecodeObjectIDCounter(bytes), 1);
  if (readOnly) return wrappingAdd(next, os::Random(ReadOnlyObjectIDSpread));
  EncodeObjectIDCounter(next, bytes);
  file.WriteBuffer(bytes.data(), counterPosition, bytes.size(), errors::ObjectIDWrite);
  return next;
}

void InitializeObjectIDCounter(TZDBDatabaseFile& file, int64_t counterPosition, const TZDBLockRetry& retry) {
  ObjectIDLock lock(file, counterPosition, retry);
  std::array<uint8_t, layout::ObjectIDCounterSize> bytes{};
  EncodeObjectIDCounter(0, bytes);
  file.WriteBuffer(bytes.data(), counterPosition, bytes.size(), errors::ObjectIDInitialWrite);
}

}  // namespace zdb
