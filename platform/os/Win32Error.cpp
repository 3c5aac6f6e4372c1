// errno to Win32 error numbers, and the Win32 texts for them.
#include <cerrno>
#include <string>

#include "platform/os/File.h"

namespace os {

uint32_t Win32ErrorFromErrno(int err) {
  switch (err) {
    case 0: return win32::Success;
    case ENOENT: return win32::FileNotFound;
    case ENOTDIR: return win32::PathNotFound;
    case EMFILE:
    case ENFILE: return win32::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return win32::AccessDenied;
    case EBADF: return win32::InvalidHandle;
    case ENOMEM: return win32::NotEnoughMemory;
    case EROFS: return win32::WriteProtect;
    case EIO:
    case ENXIO:
    case ENODEV: return win32::GenFailure;
    case ETXTBSY: return win32::SharingViolation;
    case EAGAIN: return win32::LockViolation;  // EWOULDBLOCK is the same value on Linux
    case ENOLCK: return win32::SharingBufferExceeded;
    case ENOTSUP:  // EOPNOTSUPP is the same value on Linux
    case ENOSYS: return win32::NotSupported;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ENOLINK:
    case ECOMM:
    case EPROTO:
    case EREMOTEIO: return win32::UnexpectedNetworkError;
    case ECONNRESET:
    case ECONNABORTED:
    case ESTALE: return win32::NetNameDeleted;
    case EEXIST: return win32::FileExists;
    case EINVAL:
    case ESPIPE:
    case EOVERFLOW: return win32::InvalidParameter;
    case ENOSPC:
    case EDQUOT: return win32::DiskFull;
    case EBUSY: return win32::Busy;
    case ENAMETOOLONG: return win32::FilenameTooLong;
    case EFBIG: return win32::FileTooLarge;
    case EFAULT: return win32::NoAccess;
    case ELOOP: return win32::CannotResolveFilename;
    default: return win32::GenFailure;
  }
}

std::string SystemErrorMessage(uint32_t code) {
  switch (code) {
    case win32::Success: return "The operation completed successfully.";
    case win32::FileNotFound: return "The system cannot find the file specified.";
    case win32::PathNotFound: return "The system cannot find the path specified.";
    case win32::TooManyOpenFiles: return "The system cannot open the file.";
    case win32::AccessDenied: return "Access is denied.";
    case win32::InvalidHandle: return "The handle is invalid.";
    case win32::NotEnoughMemory:
      return "Not enough memory resources are available to process this command.";
    case win32::WriteProtect: return "The media is write protected.";
    case win32::WriteFault: return "The system cannot write to the specified device.";
    case win32::ReadFault: return "The system cannot read from the specified device.";
    case win32::GenFailure: return "A device attached to the system is not functioning.";
    case win32::SharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case win32::LockViolation:
      return "The process cannot access the file because another process has locked a "
             "portion of the file.";
    case win32::SharingBufferExceeded: return "Too many files opened for sharing.";
    case win32::HandleEof: return "Reached the end of the file.";
    case win32::HandleDiskFull: return "The disk is full.";
    case win32::NotSupported: return "The request is not supported.";
    case win32::BadNetPath: return "The network path was not found.";
    case win32::AdapterHardwareError: return "A network adapter hardware error occurred.";
    case win32::UnexpectedNetworkError: return "An unexpected network error occurred.";
    case win32::NetNameDeleted: return "The specified network name is no longer available.";
    case win32::NetworkAccessDenied: return "Network access is denied.";
    case win32::BadNetName: return "The network name cannot be found.";
    case win32::FileExists: return "The file exists.";
    case win32::InvalidParameter: return "The parameter is incorrect.";
    case win32::DiskFull: return "There is not enough space on the disk.";
    case win32::NegativeSeek:
      return "An attempt was made to move the file pointer before the beginning of the file.";
    case win32::NotLocked: return "The segment is already unlocked.";
    case win32::Busy: return "The requested resource is in use.";
    case win32::AlreadyExists: return "Cannot create a file when that file already exists.";
    case win32::FilenameTooLong: return "The filename or extension is too long.";
    case win32::FileTooLarge:
      return "The file size exceeds the limit allowed and cannot be saved.";
    case win32::NoAccess: return "Invalid access to memory location.";
    case win32::CannotResolveFilename:
      return "The name of the file cannot be resolved by the system.";
    default: return "Unknown error " + std::to_string(code) + ".";
  }
}

}  // namespace os
