// A fresh folder for one test's files, removed with everything in it afterwards.
#pragma once

#include <string>

namespace ostest {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The path of a file in the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Small file helpers that bypass the layer under test.
void WriteWholeFile(const std::string& path, const std::string& content);
std::string ReadWholeFile(const std::string& path);

}  // namespace ostest
