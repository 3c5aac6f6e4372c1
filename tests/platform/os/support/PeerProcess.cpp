#include "support/PeerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace ostest {

PeerProcess::PeerProcess() {
  int toPeer[2];
  int fromPeer[2];
  if (::pipe2(toPeer, O_CLOEXEC) != 0 || ::pipe2(fromPeer, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toPeer[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromPeer[1], STDOUT_FILENO);
  char program[] = ZDB_OS_PEER_PATH;
  char* argv[] = {program, nullptr};
  const int spawned = ::posix_spawn(&pid_, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(toPeer[0]);
  ::close(fromPeer[1]);
  commands_ = ::fdopen(toPeer[1], "w");
  replies_ = ::fdopen(fromPeer[0], "r");
  if (spawned != 0 || commands_ == nullptr || replies_ == nullptr) {
    throw std::runtime_error("cannot start the peer process");
  }
}

PeerProcess::~PeerProcess() {
  if (commands_ != nullptr) std::fclose(commands_);  // end of input: the peer exits
  Reap();
  if (replies_ != nullptr) std::fclose(replies_);
}

uint32_t PeerProcess::Run(const std::string& command) {
  std::fprintf(commands_, "%s\n", command.c_str());
  std::fflush(commands_);
  unsigned long reply = 0;
  if (std::fscanf(replies_, "%lu", &reply) != 1) throw std::runtime_error("peer gave no reply");
  return static_cast<uint32_t>(reply);
}

uint32_t PeerProcess::Open(const std::string& path, int access, int share) {
  return Run("open " + std::to_string(access) + " " + std::to_string(share) + " " + path);
}

uint32_t PeerProcess::Lock(int64_t position, int64_t count) {
  return Run("lock " + std::to_string(position) + " " + std::to_string(count));
}

void PeerProcess::Kill() {
  ::kill(pid_, SIGKILL);
  Reap();
}

void PeerProcess::Reap() {
  if (pid_ <= 0) return;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace ostest
