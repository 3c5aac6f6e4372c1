#include "support/PeerProcess.h"

namespace ostest {

PeerProcess::PeerProcess() : peer_(ZDB_OS_PEER_PATH) {}

uint32_t PeerProcess::Run(const std::string& command) { return static_cast<uint32_t>(peer_.Run(command)); }

uint32_t PeerProcess::Open(const std::string& path, int access, int share) {
  return Run("open " + std::to_string(access) + " " + std::to_string(share) + " " + path);
}

uint32_t PeerProcess::Lock(int64_t position, int64_t count) {
  return Run("lock " + std::to_string(position) + " " + std::to_string(count));
}

}  // namespace ostest
