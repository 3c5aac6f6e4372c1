// The peer process of the file tests (see support/PeerProcess.h): opens and locks files
// through the operating-system layer on command and answers each command with the Win32
// error number it got.
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/os/File.h"

namespace {

uint32_t Execute(const std::string& line, std::unique_ptr<os::IFile>& file) {
  os::FileSystem& files = os::FileSystem::Default();
  std::istringstream in(line);
  std::string command;
  in >> command;
  uint32_t error = os::win32::Success;
  if (command == "open") {
    int access = 0;
    int share = 0;
    std::string path;
    in >> access >> share >> std::ws;
    std::getline(in, path);
    file = files.Open(path, static_cast<os::AccessMode>(access),
                      static_cast<os::ShareMode>(share), error);
    return error;
  }
  if (command == "create" || command == "delete") {
    std::string path;
    std::getline(in >> std::ws, path);
    if (command == "delete") return files.Delete(path, error) ? os::win32::Success : error;
    file = files.Create(path, error);
    return error;
  }
  if (command == "close") {
    file.reset();
    return os::win32::Success;
  }
  if (command == "lock" || command == "unlock") {
    int64_t position = 0;
    int64_t count = 0;
    in >> position >> count;
    if (!file) return os::win32::InvalidHandle;
    const bool ok = command == "lock" ? file->Lock(position, count) : file->Unlock(position, count);
    return ok ? os::win32::Success : file->LastError();
  }
  return os::win32::InvalidParameter;
}

}  // namespace

int main() {
  std::unique_ptr<os::IFile> file;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::cout << Execute(line, file) << std::endl;
  }
  return 0;
}
