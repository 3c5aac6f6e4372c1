// Another process that opens and locks files on a test's command, to check what the
// locks and share modes do between processes. It runs the peer program and speaks to it
// through pipes: one command line in, one Win32 error number (0 = success) back.
//
// Commands: "open <access> <share> <path>", "create <path>", "delete <path>",
// "lock <position> <count>", "unlock <position> <count>", "close" (the open file).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace ostest {

class PeerProcess {
 public:
  PeerProcess();
  // Ends the peer the ordinary way (its files close) unless it was killed.
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  uint32_t Run(const std::string& command);
  uint32_t Open(const std::string& path, int access, int share);
  uint32_t Lock(int64_t position, int64_t count);
  // Kills the peer abruptly and waits until it is gone.
  void Kill();

 private:
  void Reap();

  pid_t pid_ = -1;
  FILE* commands_ = nullptr;
  FILE* replies_ = nullptr;
};

}  // namespace ostest
