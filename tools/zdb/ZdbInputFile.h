// The input of a command read as it comes: a file, or standard input when the name is
// "-". A pipe is read piece by piece, so a load from a pipe that stays open still notices
// an interruption (ZdbInterrupt.h).
#pragma once

#include <string>

namespace zdbtool {

class TZdbInputFile {
 public:
  static constexpr const char* StandardInputName = "-";

  // std::runtime_error naming the file when it cannot be opened.
  explicit TZdbInputFile(const std::string& fileName);
  ~TZdbInputFile();
  TZdbInputFile(const TZdbInputFile&) = delete;
  TZdbInputFile& operator=(const TZdbInputFile&) = delete;

  // The next piece of the input; empty at its end. std::runtime_error when a read fails,
  // TZdbInterrupted when a signal came while it waited.
  std::string Read();

 private:
  std::string name_;
  int fd_ = -1;
  bool owned_ = false;
};

}  // namespace zdbtool
