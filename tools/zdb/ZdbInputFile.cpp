#include "tools/zdb/ZdbInputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tools/zdb/ZdbInterrupt.h"

namespace zdbtool {
namespace {

constexpr size_t PieceSize = 1 << 16;

std::runtime_error CannotRead(const std::string& name, int error) {
  return std::runtime_error("Cannot read '" + name + "': " + std::strerror(error));
}

}  // namespace

TZdbInputFile::TZdbInputFile(const std::string& fileName) : name_(fileName) {
  if (fileName == StandardInputName) {
    name_ = "standard input";
    fd_ = STDIN_FILENO;
    return;
  }
  // Opening a FIFO waits for its writer; a signal ends the wait.
  while ((fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
    if (errno != EINTR) throw CannotRead(name_, errno);
    ThrowIfInterrupted();
  }
  owned_ = true;
}

TZdbInputFile::~TZdbInputFile() {
  if (owned_) ::close(fd_);
}

std::string TZdbInputFile::Read() {
  std::string piece(PieceSize, '\0');
  for (;;) {
    const ssize_t got = ::read(fd_, piece.data(), piece.size());
    if (got >= 0) {
      piece.resize(static_cast<size_t>(got));
      return piece;
    }
    if (errno != EINTR) throw CannotRead(name_, errno);
    ThrowIfInterrupted();
  }
}

}  // namespace zdbtool
