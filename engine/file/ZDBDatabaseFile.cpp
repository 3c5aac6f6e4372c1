#include "engine/file/ZDBDatabaseFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/base/ZDBException.h"
#include "platform/os/System.h"

namespace zdb {
namespace {

// The system errors that mean "this file system has no byte-range locks at all", as
// opposed to a lock held elsewhere or a failing device, network or handle: those fail
// the lock, since another process may be relying on the byte.
bool MeansLockingUnavailable(uint32_t error) {
  using namespace os::win32;
  return error == NotSupported || error == SharingBufferExceeded;
}

bool ToAccessMode(uint8_t mode, os::AccessMode& result) {
  switch (mode) {
    case TZDBDatabaseFile::AccessReadOnly: result = os::AccessMode::Read; return true;
    case TZDBDatabaseFile::AccessReadWrite: result = os::AccessMode::ReadWrite; return true;
    default: return false;
  }
}

bool ToShareMode(uint8_t mode, os::ShareMode& result) {
  switch (mode) {
    case TZDBDatabaseFile::ShareExclusive: result = os::ShareMode::Exclusive; return true;
    case TZDBDatabaseFile::ShareReadWrite: result = os::ShareMode::ReadWrite; return true;
    case TZDBDatabaseFile::ShareRead: result = os::ShareMode::Read; return true;
    default: return false;
  }
}

}  // namespace

TZDBDatabaseFile::TZDBDatabaseFile(os::FileSystem& fileSystem) : fileSystem_(fileSystem) {}

TZDBDatabaseFile::~TZDBDatabaseFile() = default;

void TZDBDatabaseFile::CheckOpen(const char* operation) const {
  if (!isOpen_) RaiseError(errors::FileClosed, {operation});
}

void TZDBDatabaseFile::CheckClosed(const char* operation) const {
  if (isOpen_) RaiseError(errors::FileOpened, {operation});
}

std::string TZDBDatabaseFile::LastErrorText() const { return os::SystemErrorMessage(lastError_); }

void TZDBDatabaseFile::CreateFile(const std::string& fileName) {
  CheckClosed("CreateFile");
  if (fileName.empty()) RaiseError(errors::BlankFileName);
  uint32_t error = 0;
  // The platform refuses to delete a file that is open (a sharing violation), so a
  // database in use elsewhere is never pulled from under its users.
  if (fileSystem_.Exists(fileName) && !fileSystem_.Delete(fileName, error))
    RaiseError(errors::FileCreateFailed, {fileName, error, os::SystemErrorMessage(error)});
  std::unique_ptr<os::IFile> handle = fileSystem_.Create(fileName, error);
  if (!handle)
    RaiseError(errors::FileCreateFailed, {fileName, error, os::SystemErrorMessage(error)});
  handle_ = std::move(handle);
  fileName_ = fileName;
  accessMode_ = AccessReadWrite;
  shareMode_ = ShareExclusive;
  isOpen_ = true;
  ForgetHandleState();
}

void TZDBDatabaseFile::OpenFile(const std::string& fileName, uint8_t accessMode, uint8_t shareMode) {
  CheckClosed("OpenFile");
  os::AccessMode access;
  os::ShareMode share;
  if (!ToAccessMode(accessMode, access)) RaiseError(errors::UnknownAccessMode, {accessMode});
  if (!ToShareMode(shareMode, share)) RaiseError(errors::UnknownShareMode, {shareMode});
  uint32_t error = 0;
  std::unique_ptr<os::IFile> handle = fileSystem_.Open(fileName, access, share, error);
  if (!handle)
    RaiseError(errors::FileOpenFailed, {fileName, error, os::SystemErrorMessage(error)});
  handle_ = std::move(handle);
  fileName_ = fileName;
  accessMode_ = accessMode;
  shareMode_ = shareMode;
  isOpen_ = true;
  ForgetHandleState();
}

void TZDBDatabaseFile::CloseFile() {
  CheckOpen("CloseFile");
  // Releasing the handle closes it; the platform layer has no failure to report there.
  handle_.reset();
  isOpen_ = false;
  overlay_.reset();
  ForgetHandleState();
}

void TZDBDatabaseFile::ForgetHandleState() {
  lockErrorsIgnored_ = false;
  position_ = 0;
  unflushedChanges_ = true;
  unflushedWritesLost_ = false;
  heldLocks_.clear();
  lostLocks_.clear();
}

bool TZDBDatabaseFile::RecoverHandle() {
  int64_t size = 0;
  if (handle_ && handle_->GetSize(size)) return UsableWithLocks();
  handle_.reset();
  // Whatever the old handle had not flushed is beyond anyone's knowledge now.
  if (unflushedChanges_) unflushedWritesLost_ = true;
  os::AccessMode access = os::AccessMode::ReadWrite;
  os::ShareMode share = os::ShareMode::Exclusive;
  ToAccessMode(accessMode_, access);
  ToShareMode(shareMode_, share);
  for (int32_t attempt = 0; attempt < reopenPolicy_.attempts; ++attempt) {
    uint32_t error = 0;
    handle_ = fileSystem_.Open(fileName_, access, share, error);
    if (handle_) return RetakeLocks();
    lastError_ = error;
    os::SleepMs(reopenPolicy_.pauseMs);
  }
  return false;
}

bool TZDBDatabaseFile::RetakeLocks() {
  // The old handle's locks died with it; until they are back another process may hold
  // the bytes, and the holder here must not go on as if nothing happened.
  std::vector<LockRange> kept;
  for (const LockRange& range : heldLocks_) {
    if (handle_->Lock(range.position, range.count)) {
      kept.push_back(range);
    } else {
      lostLocks_.push_back(range);
    }
  }
  heldLocks_ = std::move(kept);
  return UsableWithLocks();
}

bool TZDBDatabaseFile::UsableWithLocks() {
  if (lostLocks_.empty()) return true;
  lastError_ = os::win32::NotLocked;
  return false;
}

template <typename Operation>
bool TZDBDatabaseFile::WithRetry(Operation operation) {
  if (!UsableWithLocks()) return false;
  if (handle_ && operation()) return true;
  if (handle_) lastError_ = handle_->LastError();
  const uint32_t firstError = handle_ ? lastError_ : os::win32::InvalidHandle;
  if (!RecoverHandle()) {
    if (lostLocks_.empty()) lastError_ = firstError;
    return false;
  }
  if (operation()) return true;
  lastError_ = handle_->LastError();
  return false;
}

int64_t TZDBDatabaseFile::SizeForMessage() {
  int64_t size = -1;
  if (!handle_ || !handle_->GetSize(size)) return -1;
  return size;
}

void TZDBDatabaseFile::Seek(int64_t position, const TZDBError& errorCode) {
  CheckOpen("Seek");
  // Positions are kept by this object (every read and write names its own); only a
  // negative one can fail, as it does for the system call.
  if (position < 0)
    RaiseError(errorCode, {position, fileName_, position_, SizeForMessage()});
  position_ = position;
}

int64_t TZDBDatabaseFile::GetPosition() {
  CheckOpen("GetPosition");
  return position_;
}

void TZDBDatabaseFile::SetSize(int64_t size) {
  CheckOpen("SetSize");
  unflushedChanges_ = true;
  bool ok = size >= 0 ? WithRetry([&] { return handle_->SetSize(size); })
                      : (lastError_ = os::win32::NegativeSeek, false);
  if (!ok) {
    RaiseError(errors::FileTruncateFailed, {fileName_, size, lastError_, LastErrorText()});
  }
}

int64_t TZDBDatabaseFile::GetSize() {
  CheckOpen("GetSize");
  if (HasReadOverlay()) return overlay_->FileSize();
  int64_t size = 0;
  if (!WithRetry([&] { return handle_->GetSize(size); }))
    RaiseError(errors::FileSizeFailed, {fileName_, lastError_, LastErrorText()});
  return size;
}

bool TZDBDatabaseFile::HasReadOverlay() {
  CheckOverlayGuard();
  return overlay_ != nullptr;
}

void TZDBDatabaseFile::CheckOverlayGuard() {
  if (!overlay_ || !handle_) return;
  std::vector<uint8_t> now(overlay_->Guard().size());
  size_t bytesRead = 0;
  // Only bytes read and found changed end it: a failed read proves nothing, and the reads
  // that follow would show a half-written commit without it.
  if (handle_->Read(now.data(), overlay_->GuardPosition(), now.size(), bytesRead) && bytesRead == now.size() &&
      now != overlay_->Guard())
    overlay_.reset();
}

bool TZDBDatabaseFile::ReadAt(void* buffer, int64_t position, size_t count, bool requireAll) {
  if (position < 0) {
    lastError_ = os::win32::NegativeSeek;
    return false;
  }
  CheckOverlayGuard();
  size_t bytesRead = 0;
  bool ok = WithRetry([&] {
    bytesRead = 0;
    return handle_->Read(buffer, position, count, bytesRead);
  });
  if (!ok) return false;
  if (overlay_) {
    // The file as it was: its old size decides where it ends, whatever the cut-short
    // change did to the size since.
    const int64_t oldEnd = overlay_->FileSize();
    const int64_t available = std::clamp<int64_t>(oldEnd - position, 0, static_cast<int64_t>(count));
    if (static_cast<int64_t>(bytesRead) < available)
      std::memset(static_cast<uint8_t*>(buffer) + bytesRead, 0, static_cast<size_t>(available) - bytesRead);
    bytesRead = static_cast<size_t>(available);
    overlay_->Apply(static_cast<uint8_t*>(buffer), position, bytesRead);
  }
  if (bytesRead < count) {
    std::memset(static_cast<uint8_t*>(buffer) + bytesRead, 0, count - bytesRead);
    if (requireAll) {
      lastError_ = os::win32::HandleEof;
      return false;
    }
  }
  position_ = position + static_cast<int64_t>(bytesRead);
  return true;
}

bool TZDBDatabaseFile::ReadBuffer(void* buffer, int64_t position, size_t count) {
  CheckOpen("ReadBuffer");
  return ReadAt(buffer, position, count, false);
}

bool TZDBDatabaseFile::ReadBufferFully(void* buffer, int64_t position, size_t count) {
  CheckOpen("ReadBuffer");
  return ReadAt(buffer, position, count, true);
}

bool TZDBDatabaseFile::ReadStartBytes(void* buffer, int64_t position, size_t count) {
  CheckOpen("ReadBuffer");
  if (position >= 0 && count <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - position)) {
    if (const volatile uint8_t* view =
            handle_ && !overlay_ ? handle_->SharedView(static_cast<size_t>(position) + count) : nullptr;
        view != nullptr && UsableWithLocks()) {
      auto* out = static_cast<uint8_t*>(buffer);
      for (size_t i = 0; i < count; ++i) out[i] = view[static_cast<size_t>(position) + i];
      return true;
    }
  }
  return ReadAt(buffer, position, count, true);
}

void TZDBDatabaseFile::ReadBuffer(void* buffer, int64_t position, size_t count, const TZDBError& errorCode) {
  CheckOpen("ReadBuffer");
  if (!ReadAt(buffer, position, count, false)) {
    const uint32_t error = lastError_;
    RaiseError(errorCode, {fileName_, position, count, position_, SizeForMessage(), error, os::SystemErrorMessage(error)});
  }
}

void TZDBDatabaseFile::WriteBuffer(const void* buffer, int64_t position, size_t count, const TZDBError& errorCode) {
  CheckOpen("WriteBuffer");
  unflushedChanges_ = true;
  bool ok = position >= 0 ? WithRetry([&] { return handle_->Write(buffer, position, count); })
                          : (lastError_ = os::win32::NegativeSeek, false);
  if (!ok) {
    const uint32_t error = lastError_;
    RaiseError(errorCode, {fileName_, position, count, position_, SizeForMessage(), error, os::SystemErrorMessage(error)});
  }
  position_ = position + static_cast<int64_t>(count);
}

void TZDBDatabaseFile::FlushFileBuffers() {
  CheckOpen("FlushFileBuffers");
  // A commit has flushed its header already when its caller asks for a flush.
  if (!unflushedChanges_) return;
  // One attempt only: after a failure the system may have dropped the pages it could not
  // write, and a second flush would answer for them with success.
  bool flushed = false;
  if (unflushedWritesLost_) {
    unflushedWritesLost_ = false;
    lastError_ = os::win32::WriteFault;
  } else if (!UsableWithLocks()) {
  } else if (!handle_) {
    lastError_ = os::win32::InvalidHandle;
  } else {
    flushed = handle_->Flush();
    if (!flushed) lastError_ = handle_->LastError();
  }
  if (!flushed) RaiseError(errors::FileFlushFailed, {fileName_, lastError_, LastErrorText()});
  unflushedChanges_ = false;
}

bool TZDBDatabaseFile::TryLock(int64_t count, int64_t position, bool lock) {
  if (handle_ && (lock ? handle_->Lock(position, count) : handle_->Unlock(position, count))) return true;
  if (lockErrorsIgnored_) return true;
  lastError_ = handle_ ? handle_->LastError() : os::win32::InvalidHandle;
  // Without locks only a file nobody else can open is safe to use.
  if (MeansLockingUnavailable(lastError_) && shareMode_ == ShareExclusive) lockErrorsIgnored_ = true;
  return lockErrorsIgnored_;
}

bool TZDBDatabaseFile::RetryLock(int64_t count, int64_t position, bool lock) {
  if (TryLock(count, position, lock)) return true;
  if (!RecoverHandle()) return false;
  lockErrorsIgnored_ = false;
  return TryLock(count, position, lock);
}

bool TZDBDatabaseFile::LockByte(int64_t count, int64_t position) {
  CheckOpen("LockByte");
  if (!UsableWithLocks()) return false;
  if (!RetryLock(count, position, true)) return false;
  heldLocks_.push_back({position, count});
  return true;
}

bool TZDBDatabaseFile::UnlockByte(int64_t count, int64_t position) {
  CheckOpen("UnlockByte");
  const LockRange range{position, count};
  // A lock lost with an old handle is let go of here: its holder knows now.
  if (const auto lost = std::find(lostLocks_.begin(), lostLocks_.end(), range); lost != lostLocks_.end()) {
    lostLocks_.erase(lost);
    return true;
  }
  if (!RetryLock(count, position, false)) return false;
  if (const auto held = std::find(heldLocks_.begin(), heldLocks_.end(), range); held != heldLocks_.end())
    heldLocks_.erase(held);
  return true;
}

bool TZDBDatabaseFile::IsByteLocked(int64_t position) {
  CheckOpen("IsByteLocked");
  return IsRegionLocked(1, position);
}

bool TZDBDatabaseFile::IsRegionLocked(int64_t count, int64_t position) {
  CheckOpen("IsRegionLocked");
  bool locked = false;
  if (!lockErrorsIgnored_ && handle_ && handle_->TestLock(position, count, locked)) return locked;
  // Without an answer, as a lock would see it: with its recovery of a lost handle and of a
  // medium that cannot lock.
  if (!LockByte(count, position)) return true;
  UnlockByte(count, position);
  return false;
}

}  // namespace zdb
