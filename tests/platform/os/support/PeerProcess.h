// Another process that opens and locks files on a test's command, to check what the
// locks and share modes do between processes. It runs the peer program and speaks to it
// through pipes: one command line in, one Win32 error number (0 = success) back.
//
// Commands: "open <access> <share> <path>", "create <path>", "delete <path>",
// "lock <position> <count>", "unlock <position> <count>", "close" (the open file).
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/ChildProcess.h"

namespace ostest {

class PeerProcess {
 public:
  PeerProcess();

  uint32_t Run(const std::string& command);
  uint32_t Open(const std::string& path, int access, int share);
  uint32_t Lock(int64_t position, int64_t count);
  // Kills the peer abruptly and waits until it is gone.
  void Kill() { peer_.Kill(); }

 private:
  zdbtest::ChildProcess peer_;
};

}  // namespace ostest
