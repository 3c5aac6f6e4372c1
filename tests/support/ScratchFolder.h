// A scratch folder that is removed with everything in it, in memory where the machine has
// that (/dev/shm): tests that commit, crash and reopen files many times over wait for the
// disk at every flush otherwise.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace zdbtest {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    const bool inMemory = std::filesystem::is_directory("/dev/shm", error);
    std::string pattern =
        ((inMemory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) / "zdb-XXXXXX")
            .string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace zdbtest
