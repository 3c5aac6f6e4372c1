// A stream over an operating-system file.
//
// Made either by creating the file new (read-write, not shared, an existing file
// replaced; with the temporary flag the file goes when the stream does) or by opening an
// existing file with one of the open modes below. The position is the stream's own; the
// file is read and written at it. A failed read or write moves 0 bytes, so the stream
// helpers report it with their caller's code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/ZDBStream.h"
#include "platform/os/File.h"

namespace zdb {

// Open modes: one access value combined with one share value.
namespace FileOpenMode {
constexpr uint16_t OpenRead = 0x0000;
constexpr uint16_t OpenWrite = 0x0001;  // opened read-write: the platform has no write-only files
constexpr uint16_t OpenReadWrite = 0x0002;
constexpr uint16_t ShareCompat = 0x0000;  // as exclusive
constexpr uint16_t ShareExclusive = 0x0010;
constexpr uint16_t ShareDenyWrite = 0x0020;
constexpr uint16_t ShareDenyRead = 0x0030;  // no such sharing here: as exclusive
constexpr uint16_t ShareDenyNone = 0x0040;
// The mode of a stream that created its file.
constexpr uint16_t Create = 0xFFFF;
}  // namespace FileOpenMode

class TZDBFileStream : public TZDBStream {
 public:
  // Creates fileName new; raises 10104 when it cannot.
  static std::unique_ptr<TZDBFileStream> Create(const std::string& fileName, bool temporary = false,
                                                os::FileSystem& fileSystem = os::FileSystem::Default());
  // Opens an existing file; raises 10105 when it cannot.
  static std::unique_ptr<TZDBFileStream> Open(const std::string& fileName, uint16_t mode,
                                              os::FileSystem& fileSystem = os::FileSystem::Default());
  // A new file of the platform's temporary-file service, gone when the stream is.
  static std::unique_ptr<TZDBFileStream> CreateTemporary(os::FileSystem& fileSystem = os::FileSystem::Default());

  ~TZDBFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() override { return position_; }
  int64_t Size() override;
  void SetSize(int64_t size) override;

  const std::string& FileName() const { return fileName_; }
  uint16_t Mode() const { return mode_; }
  bool IsTemporary() const { return temporary_; }
  os::IFile& File() { return *file_; }

 private:
  TZDBFileStream(std::unique_ptr<os::IFile> file, std::string fileName, uint16_t mode, bool temporary,
                 bool deleteOnClose, os::FileSystem& fileSystem);

  std::unique_ptr<os::IFile> file_;
  std::string fileName_;
  uint16_t mode_;
  bool temporary_;
  bool deleteOnClose_;  // a named temporary file; the platform's own ones delete themselves
  os::FileSystem& fileSystem_;
  int64_t position_ = 0;
};

}  // namespace zdb
