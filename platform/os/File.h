// The operating-system file the engine reads, writes and locks through.
//
// Contract: Win32 semantics on Linux. A file is opened with an access mode and a share
// mode (a conflicting open fails like a sharing violation); positions and sizes are
// 64-bit; byte-range locks are exclusive, never block, and are held per handle: a second
// lock of a held byte fails even through the same handle, and unlocking a range that this
// handle does not hold exactly as it was locked fails. Every call answers true/false and
// leaves a Win32 error number in LastError() (0 after a call that succeeded), as the
// engine's messages quote those numbers.
//
// Share modes. Every access mode includes reading, so an open conflicts with an earlier,
// still open one of the same file when
//   - either of the two is Exclusive, or
//   - one of them has ReadWrite access and the other's share mode is Read.
// Hence two ShareMode::Read opens with AccessMode::Read coexist, and a ReadWrite-access
// open with ShareMode::Read admits only later opens with Read access and ShareMode::ReadWrite.
// A conflicting Open fails with win32::SharingViolation; so do Create and Delete of a
// file that is open elsewhere. The modes bind only opens made through this layer.
//
// Byte locks lie in [0, MaxLockEnd), far beyond the end of any real file if need be.
// Other handles, in this process or another, cannot lock a locked byte, but a lock does
// not refuse their reads and writes (Win32 does): the engine locks dedicated bytes that it
// never reads or writes as data. A lock refused because the byte is taken always reports
// win32::LockViolation, never AccessDenied: the engine reads AccessDenied from a lock call
// as a broken lock service and stops honouring lock failures.
//
// Calls on one IFile come one at a time (the engine serialises them); different IFile
// objects may be used from different threads. A file is closed when its IFile is
// destroyed, which releases all of its locks. A forked child shares the parent's open files
// and their locks: a child opens the files it needs anew.
//
// The engine reaches files only through IFile, and opens them only through a FileSystem,
// so that tests can inject failures (FaultInjectingFileSystem).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace os {

enum class AccessMode : uint8_t { Read = 0, ReadWrite = 1 };
enum class ShareMode : uint8_t { Exclusive = 0, ReadWrite = 1, Read = 2 };

// Win32 error numbers the engine names; errno values are mapped onto these.
namespace win32 {
constexpr uint32_t Success = 0;
constexpr uint32_t FileNotFound = 2;
constexpr uint32_t PathNotFound = 3;
constexpr uint32_t TooManyOpenFiles = 4;
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t InvalidHandle = 6;
constexpr uint32_t NotEnoughMemory = 8;
constexpr uint32_t WriteProtect = 19;
constexpr uint32_t WriteFault = 29;
constexpr uint32_t ReadFault = 30;
constexpr uint32_t GenFailure = 31;
constexpr uint32_t SharingViolation = 32;
constexpr uint32_t LockViolation = 33;
constexpr uint32_t SharingBufferExceeded = 36;
constexpr uint32_t HandleEof = 38;
constexpr uint32_t HandleDiskFull = 39;
constexpr uint32_t NotSupported = 50;
constexpr uint32_t BadNetPath = 53;
constexpr uint32_t AdapterHardwareError = 57;
constexpr uint32_t UnexpectedNetworkError = 59;
constexpr uint32_t NetNameDeleted = 64;
constexpr uint32_t NetworkAccessDenied = 65;
constexpr uint32_t BadNetName = 67;
constexpr uint32_t FileExists = 80;
constexpr uint32_t InvalidParameter = 87;
constexpr uint32_t DiskFull = 112;
constexpr uint32_t NegativeSeek = 131;
constexpr uint32_t NotLocked = 158;
constexpr uint32_t Busy = 170;
constexpr uint32_t AlreadyExists = 183;
constexpr uint32_t FilenameTooLong = 206;
constexpr uint32_t FileTooLarge = 223;
constexpr uint32_t NoAccess = 998;
constexpr uint32_t CannotResolveFilename = 1921;
}  // namespace win32

// Byte locks must end at or before this position; the share modes are kept beyond it.
constexpr int64_t MaxLockEnd = int64_t{1} << 62;

// The Win32 number for an errno value (0 for 0; an errno without a closer match gives
// win32::GenFailure).
uint32_t Win32ErrorFromErrno(int err);
// The platform's text for a Win32 error number ("Access is denied." ...); a number it does
// not know gives "Unknown error <number>.".
std::string SystemErrorMessage(uint32_t code);

class IFile {
 public:
  virtual ~IFile() = default;

  // Reads up to count bytes at position; fewer (even 0) at the end of the file is success.
  virtual bool Read(void* buffer, int64_t position, size_t count, size_t& bytesRead) = 0;
  // Writes all count bytes at position; a position beyond the end extends the file.
  virtual bool Write(const void* buffer, int64_t position, size_t count) = 0;
  // Makes the written bytes and the size durable.
  virtual bool Flush() = 0;
  virtual bool GetSize(int64_t& size) = 0;
  // Truncates or extends (with zero bytes) the file.
  virtual bool SetSize(int64_t size) = 0;
  // Locks count bytes at position exclusively, without waiting.
  virtual bool Lock(int64_t position, int64_t count) = 0;
  // Releases a lock taken with exactly this position and count.
  virtual bool Unlock(int64_t position, int64_t count) = 0;
  // Whether any handle, this one included, holds a lock on a byte of the range: locked is
  // what Lock would have found, without taking anything. False when there is no answer.
  virtual bool TestLock(int64_t position, int64_t count, bool& locked) {
    if (Lock(position, count)) {
      locked = false;
      return Unlock(position, count);
    }
    if (LastError() != win32::LockViolation) return false;
    locked = true;
    return true;
  }
  virtual uint32_t LastError() const = 0;
  // The file's first count bytes as memory that shows every write to the file at once, from
  // any handle or process, without a call to the system; null when the file has no such
  // view (fewer bytes, or a file kind that cannot be mapped). Valid while the IFile lives.
  virtual const volatile uint8_t* SharedView(size_t /*count*/) { return nullptr; }
};

// What tells one file on the machine from another, whatever path reaches it: two hard
// links, or one folder seen through two mount points, are the same file.
struct FileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint64_t LinkCount = 0;  // how many names the file has
  bool SameFile(const FileIdentity& other) const { return Device == other.Device && Inode == other.Inode; }
};

// Opens files. The engine holds one (normally Default()); tests hand in a wrapper.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Creates the file new (an existing one is replaced), read-write and exclusive.
  virtual std::unique_ptr<IFile> Create(const std::string& path, uint32_t& error) = 0;
  // Opens an existing file; nullptr and a Win32 error number on failure.
  virtual std::unique_ptr<IFile> Open(const std::string& path, AccessMode access,
                                      ShareMode share, uint32_t& error) = 0;
  // Whether a file (not a directory) of that name exists.
  virtual bool Exists(const std::string& path) = 0;
  // Whether the file carries the read-only attribute or cannot be written by this process;
  // false when it does not exist.
  virtual bool IsReadOnly(const std::string& path) = 0;
  // Clears a read-only attribute and deletes the file; fails while it is open elsewhere.
  virtual bool Delete(const std::string& path, uint32_t& error) = 0;
  // A new empty temporary file, read-write, deleted when it is closed.
  virtual std::unique_ptr<IFile> CreateTemporary(uint32_t& error) = 0;
  // Gives the file `from` the name `to` in one step, replacing a file of that name, so that
  // the name always stands for one whole file; handles open on the replaced file keep it
  // until they close. The change of names is made durable.
  virtual bool Rename(const std::string& from, const std::string& to, uint32_t& error) = 0;
  // The identity of the file at path; false when there is none to read.
  virtual bool Identify(const std::string& path, FileIdentity& identity) = 0;
  // The names (not paths) of the files in a folder, folders left out; false when the
  // folder cannot be read.
  virtual bool ListFolder(const std::string& folder, std::vector<std::string>& names) = 0;
  // A copy of the file `from` under the new name `to`, its bytes made durable. It never
  // replaces anything: a file of that name fails with win32::FileExists. `from` is read
  // whatever share modes its opens hold, as a backup reads a file in use. A copy that
  // fails half way is removed again.
  virtual bool Copy(const std::string& from, const std::string& to, uint32_t& error) = 0;

  // The machine's own files (POSIX).
  static FileSystem& Default();
};

}  // namespace os
