// A FileSystem for tests that writes down, in order, every call that can change what a
// disk holds, so that a test can later rebuild what a power cut at any moment could have
// left behind.
//
// It passes every call to another FileSystem (normally FileSystem::Default()) and to the
// files that one opens, and logs Create, Open, Delete, Rename and Copy of the file system
// and Write, SetSize and Flush of its files, each with whether it succeeded, plus the
// notes a test adds with Mark. Each file opened through it gets a handle number, so that
// the log tells which file a write went to. Temporary files are handles without a path.
// Reads, sizes, existence and locks pass through unlogged.
//
// How the POSIX file system makes names durable matters to whoever reads the log: Create,
// Rename and Copy flush the folder of the new name themselves; Delete does not, so a
// delete stays undoable until the next of those in the same folder.
//
// A call is logged once it has returned, under the recorder's lock, so the log's order is
// the order in which the calls took effect, also across threads. Files opened through it
// stay usable (and go on logging) after it is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/File.h"

namespace os {

struct FileCall {
  enum class Kind : uint8_t { Create, Open, Delete, Rename, Copy, Write, SetSize, Flush, Mark };

  Kind kind = Kind::Mark;
  bool succeeded = true;
  // Create, Open: the handle the file got (0 when the call failed); Write, SetSize, Flush:
  // the handle the call went through.
  uint64_t handle = 0;
  // The file's path (for a handle, the path it was opened by; empty for a temporary file).
  // Rename and Copy: the old name.
  std::string path;
  // Rename and Copy: the new name.
  std::string target;
  // Write: the position; SetSize: the new size.
  int64_t position = 0;
  // Write: the bytes written.
  std::vector<uint8_t> bytes;
  // Mark: the test's note.
  std::string note;
};

// "write #3 power.zdb @4096 +4096 bytes", "mark: commit 2 acknowledged", ...
std::string Describe(const FileCall& call);

class RecordingFileSystem final : public FileSystem {
 public:
  explicit RecordingFileSystem(FileSystem& target);
  ~RecordingFileSystem() override;
  RecordingFileSystem(const RecordingFileSystem&) = delete;
  RecordingFileSystem& operator=(const RecordingFileSystem&) = delete;

  // Logs a note between the calls; answers its position in the log.
  size_t Mark(std::string note);
  // A copy of the log so far.
  std::vector<FileCall> Calls() const;
  size_t CallCount() const;

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
  struct Log;

 private:
  FileSystem& target_;
  std::shared_ptr<Log> log_;
};

}  // namespace os
