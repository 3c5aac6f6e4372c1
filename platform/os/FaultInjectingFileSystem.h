// A FileSystem for tests that makes chosen calls fail and can simulate a crash.
//
// It passes every call to another FileSystem (normally FileSystem::Default()) and to the
// files that one opens, except:
//   - a planted fault: the nth call of an operation, counted from the moment it is planted
//     over every file opened through this object, fails with the given Win32 error and
//     touches nothing (persistent: that call and all later ones fail);
//   - a crash: after a chosen number of further writes the process is taken to have died.
//     The next write stores only its first tornBytes bytes (a torn write), and from then on
//     Write, SetSize, Flush, Delete, Rename and Copy report success without reaching the
//     file. Reopening the file
//     through the target afterwards shows what the dead process left behind. Reads, sizes,
//     locks and opens keep working, so the code under test runs on to its end.
//   - a full disk: after a chosen number of further writes, a write that needs new room in
//     its file (bytes the file never held: beyond the size it had when opened through this
//     object and every byte written since, holes left by a size change included) fails
//     with win32::DiskFull and changes nothing; overwriting bytes the file holds still
//     works, as on a real disk. ClearFaults gives the room back;
//   - a path denied write access, as for a user without write permission there: opening
//     it for writing, creating, deleting or renaming it fails with win32::AccessDenied,
//     and IsReadOnly answers true for it; reading it works;
//   - a power cut: as a crash, and besides every write and size change that no Flush of
//     its file made durable is undone at the moment of the crash (newest first), before the
//     torn part of the last write reaches the file.
// Files opened through it stay usable after it is destroyed; it is thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/os/File.h"

namespace os {

enum class FileOperation : uint8_t {
  Create,
  Open,
  Delete,
  CreateTemporary,
  Read,
  Write,
  Flush,
  GetSize,
  SetSize,
  Lock,
  Unlock,
  Rename,
  Copy,
};

class FaultInjectingFileSystem final : public FileSystem {
 public:
  explicit FaultInjectingFileSystem(FileSystem& target);
  ~FaultInjectingFileSystem() override;
  FaultInjectingFileSystem(const FaultInjectingFileSystem&) = delete;
  FaultInjectingFileSystem& operator=(const FaultInjectingFileSystem&) = delete;

  // The nth (from 1) next call of operation fails with error; with persistent, every call
  // from that one on. A call matched by several faults gets the first one planted.
  void FailCall(FileOperation operation, uint64_t nth, uint32_t error, bool persistent = false);
  // Lets writes more writes through, then crashes (see above); with losesUnflushed the crash
  // is a power cut.
  void CrashAfterWrites(uint64_t writes, size_t tornBytes = 0, bool losesUnflushed = false);
  bool Crashed() const;
  // Calls of operation since construction or Reset, failed ones included.
  uint64_t CallCount(FileOperation operation) const;
  // After writes more writes pass, the disk is full (see above).
  void FillDiskAfterWrites(uint64_t writes);
  // Removes the planted faults and nothing else: a disk that was full has room again,
  // a device that failed works again, while the counts and a crash stay as they are.
  void ClearFaults();
  // From now on the path (a file, or a name a file may get) cannot be written (see above).
  void DenyWriteAccess(const std::string& path);
  // Removes the faults and the crash and restarts the counts.
  void Reset();

  std::unique_ptr<IFile> Create(const std::string& path, uint32_t& error) override;
  std::unique_ptr<IFile> Open(const std::string& path, AccessMode access, ShareMode share,
                              uint32_t& error) override;
  bool Exists(const std::string& path) override;
  bool IsReadOnly(const std::string& path) override;
  bool Delete(const std::string& path, uint32_t& error) override;
  std::unique_ptr<IFile> CreateTemporary(uint32_t& error) override;
  bool Rename(const std::string& from, const std::string& to, uint32_t& error) override;
  bool Copy(const std::string& from, const std::string& to, uint32_t& error) override;
  bool Identify(const std::string& path, FileIdentity& identity) override;
  bool ListFolder(const std::string& folder, std::vector<std::string>& names) override;

  // Shared with the files opened through this object.
  struct State;

 private:
  std::unique_ptr<IFile> Wrap(std::unique_ptr<IFile> file, const std::string& path);

  FileSystem& target_;
  std::shared_ptr<State> state_;
};

}  // namespace os
