// FileSystem::Default(): the machine's files through POSIX calls.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/os/File.h"
#include "platform/os/PosixFile.h"
#include "platform/os/ShareModes.h"

namespace os {
namespace {

// Never the controlling terminal; never inherited by programs this process starts (a child
// holding the descriptor would keep the locks alive); never blocked by a FIFO's open.
constexpr int kOpenFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// A descriptor closed on every path that does not hand it on.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Win32 tells a missing folder (3) from a missing file (2); ENOENT covers both.
uint32_t ErrorForPath(const std::string& path, int err) {
  if (err != ENOENT) return Win32ErrorFromErrno(err);
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return win32::PathNotFound;
  }
  return win32::FileNotFound;
}

int OpenDescriptor(const std::string& path, int flags, uint32_t& error) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | kOpenFlags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) error = ErrorForPath(path, errno);
  return fd;
}

// Only regular files are database files; a folder or device is refused the way Win32
// refuses to open a folder as a file.
uint32_t CheckRegularFile(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Win32ErrorFromErrno(errno);
  if (!S_ISREG(status.st_mode)) return win32::AccessDenied;
  return win32::Success;
}

// A file deleted between our open() and the share-mode gate is gone for Win32 callers.
uint32_t CheckNotDeleted(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Win32ErrorFromErrno(errno);
  return status.st_nlink == 0 ? win32::FileNotFound : win32::Success;
}

uint32_t ClearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return Win32ErrorFromErrno(errno);
  }
  return win32::Success;
}

// Makes a new name in the folder durable; a failure here only weakens durability.
void SyncFolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  const Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Valid()) ::fsync(dir.Get());
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<IFile> Create(const std::string& path, uint32_t& error) override {
    error = win32::Success;
    if (Exists(path) && !Delete(path, error)) return nullptr;
    Descriptor fd(OpenDescriptor(path, O_RDWR | O_CREAT | O_EXCL, error));
    if (!fd.Valid()) {
      struct stat status {};
      if (error == win32::FileExists && ::stat(path.c_str(), &status) == 0 &&
          S_ISDIR(status.st_mode)) {
        error = win32::AccessDenied;  // a folder of that name, as Win32 reports it
      }
      return nullptr;
    }
    error = Finish(fd.Get(), true, AccessMode::ReadWrite, ShareMode::Exclusive);
    if (error != win32::Success) return nullptr;
    SyncFolderOf(path);
    return std::make_unique<PosixFile>(fd.Release(), true);
  }

  std::unique_ptr<IFile> Open(const std::string& path, AccessMode access, ShareMode share,
                              uint32_t& error) override {
    error = win32::Success;
    const bool writable = access == AccessMode::ReadWrite;
    if ((access != AccessMode::Read && !writable) ||
        (share != ShareMode::Exclusive && share != ShareMode::ReadWrite &&
         share != ShareMode::Read)) {
      error = win32::InvalidParameter;
      return nullptr;
    }
    Descriptor fd(OpenDescriptor(path, writable ? O_RDWR : O_RDONLY, error));
    if (!fd.Valid()) return nullptr;
    error = Finish(fd.Get(), writable, access, share);
    if (error != win32::Success) return nullptr;
    return std::make_unique<PosixFile>(fd.Release(), writable);
  }

  bool Exists(const std::string& path) override {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
  }

  bool IsReadOnly(const std::string& path) override {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    // The owner's write bit plays the read-only attribute; access() adds what else keeps
    // this process from writing (a read-only mount, another owner).
    return (status.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
  }

  bool Delete(const std::string& path, uint32_t& error) override {
    error = win32::Success;
    // Linux removes a file whatever its permission bits, so there is no read-only attribute
    // to clear. What Win32 does refuse is deleting a file that is open: look for opens
    // under the gate, and keep the gate until the name is gone.
    uint32_t openError = win32::Success;
    const Descriptor fd(OpenDescriptor(path, O_RDONLY, openError));
    if (!fd.Valid() && openError != win32::AccessDenied) {
      error = openError;  // missing, or otherwise unreachable
      return false;
    }
    std::unique_ptr<share::Gate> gate;
    if (fd.Valid() && CheckRegularFile(fd.Get()) == win32::Success) {
      gate = std::make_unique<share::Gate>(fd.Get(), false);
      if (gate->Error() != win32::Success) {
        error = gate->Error();
        return false;
      }
      bool open = false;
      if (uint32_t lockError = share::OpenElsewhere(fd.Get(), open)) {
        error = lockError;
        return false;
      }
      if (open) {
        error = win32::SharingViolation;
        return false;
      }
    }
    if (::unlink(path.c_str()) != 0) {
      error = ErrorForPath(path, errno);
      return false;
    }
    return true;
  }

  std::unique_ptr<IFile> CreateTemporary(uint32_t& error) override {
    error = win32::Success;
    const std::string folder = TemporaryFolder();
    // An unnamed file vanishes with its last descriptor, even if the process dies.
    int fd = ::open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
      // The file system has no unnamed files: create a named one and drop the name at once.
      std::string name = folder + "/zdb-XXXXXX";
      fd = ::mkostemp(name.data(), O_CLOEXEC);
      if (fd >= 0) ::unlink(name.c_str());
    }
    if (fd < 0) {
      error = ErrorForPath(folder + "/", errno);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, true);
  }

  bool Rename(const std::string& from, const std::string& to, uint32_t& error) override {
    error = win32::Success;
    if (::rename(from.c_str(), to.c_str()) != 0) {
      error = ErrorForPath(errno == ENOENT && !Exists(from) ? from : to, errno);
      return false;
    }
    SyncFolderOf(to);
    if (std::filesystem::path(from).parent_path() != std::filesystem::path(to).parent_path()) SyncFolderOf(from);
    return true;
  }

  bool Identify(const std::string& path, FileIdentity& identity) override {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    identity.Device = static_cast<uint64_t>(status.st_dev);
    identity.Inode = static_cast<uint64_t>(status.st_ino);
    identity.LinkCount = static_cast<uint64_t>(status.st_nlink);
    return true;
  }

  bool ListFolder(const std::string& folder, std::vector<std::string>& names) override {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder.empty() ? "." : folder, error);
    if (error) return false;
    for (const std::filesystem::directory_entry& entry : entries) {
      if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
    }
    return true;
  }

  bool Copy(const std::string& from, const std::string& to, uint32_t& error) override {
    error = win32::Success;
    const Descriptor in(OpenDescriptor(from, O_RDONLY, error));
    if (!in.Valid()) return false;
    if ((error = CheckRegularFile(in.Get())) != win32::Success) return false;
    if ((error = ClearNonBlocking(in.Get())) != win32::Success) return false;
    Descriptor out(OpenDescriptor(to, O_WRONLY | O_CREAT | O_EXCL, error));
    if (!out.Valid()) return false;
    error = CopyBytes(in.Get(), out.Get());
    if (error == win32::Success && ::fsync(out.Get()) != 0) error = Win32ErrorFromErrno(errno);
    if (error != win32::Success) {
      ::close(out.Release());
      ::unlink(to.c_str());
      return false;
    }
    SyncFolderOf(to);
    return true;
  }

 private:
  static uint32_t CopyBytes(int in, int out) {
    constexpr size_t ChunkSize = 64 * 1024;
    std::vector<char> chunk(ChunkSize);
    for (;;) {
      const ssize_t got = ::read(in, chunk.data(), chunk.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Win32ErrorFromErrno(errno);
      if (got == 0) return win32::Success;
      for (ssize_t done = 0; done < got;) {
        const ssize_t put = ::write(out, chunk.data() + done, static_cast<size_t>(got - done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return Win32ErrorFromErrno(errno);
        done += put;
      }
    }
  }

  // The steps shared by Create and Open once the descriptor exists.
  static uint32_t Finish(int fd, bool writable, AccessMode access, ShareMode share) {
    if (uint32_t error = CheckRegularFile(fd)) return error;
    if (uint32_t error = ClearNonBlocking(fd)) return error;
    if (uint32_t error = share::Claim(fd, writable, access, share)) return error;
    return CheckNotDeleted(fd);
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace os
