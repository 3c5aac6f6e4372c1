#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace zdbtest {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  int toChild[2];
  int fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(fromChild, O_CLOEXEC) != 0) {
    ::close(toChild[0]);
    ::close(toChild[1]);
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(toChild[0]);
  ::close(fromChild[1]);
  if (spawned != 0) pid_ = -1;
  commands_ = ::fdopen(toChild[1], "w");
  replies_ = ::fdopen(fromChild[0], "r");
  if (spawned != 0 || commands_ == nullptr || replies_ == nullptr) {
    if (commands_ == nullptr) ::close(toChild[1]);
    if (replies_ == nullptr) ::close(fromChild[0]);
    Release();
    throw std::runtime_error("cannot start " + program);
  }
}

ChildProcess::~ChildProcess() { Release(); }

void ChildProcess::Release() {
  if (commands_ != nullptr) std::fclose(commands_);  // end of input: the child exits
  commands_ = nullptr;
  Reap();
  if (replies_ != nullptr) std::fclose(replies_);
  replies_ = nullptr;
}

void ChildProcess::Send(const std::string& command) {
  std::fprintf(commands_, "%s\n", command.c_str());
  std::fflush(commands_);
}

bool ChildProcess::Next(long long& reply) { return std::fscanf(replies_, "%lld", &reply) == 1; }

long long ChildProcess::Reply() {
  long long reply = 0;
  if (!Next(reply)) throw std::runtime_error("the child process gave no reply");
  return reply;
}

long long ChildProcess::Run(const std::string& command) {
  Send(command);
  return Reply();
}

void ChildProcess::Kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
  Reap();
}

void ChildProcess::Reap() {
  if (pid_ <= 0) return;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace zdbtest
