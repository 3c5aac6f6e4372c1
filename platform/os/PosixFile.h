// An open file of the machine: a descriptor with Win32-style calls (see File.h).
#pragma once

#include <cstdint>
#include <map>

#include "platform/os/File.h"

namespace os {

class PosixFile final : public IFile {
 public:
  // Takes ownership of fd; writable says whether it was opened for writing.
  PosixFile(int fd, bool writable);
  ~PosixFile() override;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  bool Read(void* buffer, int64_t position, size_t count, size_t& bytesRead) override;
  bool Write(const void* buffer, int64_t position, size_t count) override;
  bool Flush() override;
  bool GetSize(int64_t& size) override;
  bool SetSize(int64_t size) override;
  bool Lock(int64_t position, int64_t count) override;
  bool Unlock(int64_t position, int64_t count) override;
  // One question to the kernel instead of a lock and an unlock.
  bool TestLock(int64_t position, int64_t count, bool& locked) override;
  uint32_t LastError() const override { return lastError_; }
  const volatile uint8_t* SharedView(size_t count) override;

 private:
  bool Succeed();
  bool Fail(uint32_t error);
  bool FailWithErrno();
  bool OverlapsHeldLock(int64_t position, int64_t count) const;

  int fd_;
  bool writable_;
  uint32_t lastError_ = win32::Success;
  // The ranges this handle has locked (start -> count); they never overlap. The kernel
  // merges adjacent OFD locks, so this is also what makes Unlock exact.
  std::map<int64_t, int64_t> heldLocks_;
  // A read-only shared mapping of the file's start, made on first request.
  void* view_ = nullptr;
  size_t viewSize_ = 0;
};

}  // namespace os
