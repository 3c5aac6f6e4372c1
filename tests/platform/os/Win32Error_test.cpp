// errno values onto Win32 numbers, and the texts the engine's messages quote.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/os/File.h"

namespace {

namespace win32 = os::win32;

TEST(Win32Error, ErrnoValuesMapOntoTheirWin32Counterparts) {
  struct Case {
    int err;
    uint32_t expected;
  };
  const Case cases[] = {
      {0, win32::Success},
      {ENOENT, win32::FileNotFound},
      {ENOTDIR, win32::PathNotFound},
      {EMFILE, win32::TooManyOpenFiles},
      {ENFILE, win32::TooManyOpenFiles},
      {EACCES, win32::AccessDenied},
      {EPERM, win32::AccessDenied},
      {EISDIR, win32::AccessDenied},
      {EBADF, win32::InvalidHandle},
      {ENOMEM, win32::NotEnoughMemory},
      {EROFS, win32::WriteProtect},
      {EIO, win32::GenFailure},
      {ETXTBSY, win32::SharingViolation},
      {EAGAIN, win32::LockViolation},
      {EWOULDBLOCK, win32::LockViolation},
      {ENOLCK, win32::SharingBufferExceeded},
      {EOPNOTSUPP, win32::NotSupported},
      {ETIMEDOUT, win32::UnexpectedNetworkError},
      {ESTALE, win32::NetNameDeleted},
      {EEXIST, win32::FileExists},
      {EINVAL, win32::InvalidParameter},
      {EOVERFLOW, win32::InvalidParameter},
      {ENOSPC, win32::DiskFull},
      {EDQUOT, win32::DiskFull},
      {EBUSY, win32::Busy},
      {ENAMETOOLONG, win32::FilenameTooLong},
      {EFBIG, win32::FileTooLarge},
      {ELOOP, win32::CannotResolveFilename},
      {EDOM, win32::GenFailure},  // nothing closer
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os::Win32ErrorFromErrno(c.err), c.expected) << "errno " << c.err;
  }
}

TEST(Win32Error, MessagesAreThePlatformTexts) {
  EXPECT_EQ(os::SystemErrorMessage(win32::FileNotFound),
            "The system cannot find the file specified.");
  EXPECT_EQ(os::SystemErrorMessage(win32::PathNotFound),
            "The system cannot find the path specified.");
  EXPECT_EQ(os::SystemErrorMessage(win32::AccessDenied), "Access is denied.");
  EXPECT_EQ(os::SystemErrorMessage(win32::SharingViolation),
            "The process cannot access the file because it is being used by another process.");
  EXPECT_EQ(os::SystemErrorMessage(win32::LockViolation),
            "The process cannot access the file because another process has locked a portion "
            "of the file.");
  EXPECT_EQ(os::SystemErrorMessage(win32::DiskFull), "There is not enough space on the disk.");
  EXPECT_EQ(os::SystemErrorMessage(win32::NotLocked), "The segment is already unlocked.");
  EXPECT_EQ(os::SystemErrorMessage(12345), "Unknown error 12345.");
}

TEST(Win32Error, EveryNumberTheLayerReportsHasItsOwnText) {
  for (int err = 0; err < 256; ++err) {
    const uint32_t code = os::Win32ErrorFromErrno(err);
    EXPECT_EQ(os::SystemErrorMessage(code).rfind("Unknown error", 0), std::string::npos)
        << "errno " << err << " gives " << code;
  }
  for (uint32_t code : {win32::NegativeSeek, win32::NotLocked, win32::AlreadyExists,
                        win32::WriteFault, win32::ReadFault, win32::BadNetPath,
                        win32::AdapterHardwareError, win32::NetworkAccessDenied,
                        win32::BadNetName, win32::HandleEof, win32::HandleDiskFull}) {
    EXPECT_EQ(os::SystemErrorMessage(code).rfind("Unknown error", 0), std::string::npos)
        << code;
  }
}

}  // namespace
