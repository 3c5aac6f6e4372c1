#include "tests/tools/zdb/support/ToolProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

extern char** environ;

namespace zdbtool::test {
namespace {

constexpr const char* SetprivPath = "/usr/bin/setpriv";
constexpr int NobodyId = 65534;

}  // namespace

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

ToolProcess::ToolProcess(std::vector<std::string> arguments, std::string outPath, std::string errPath,
                         const std::string& inputPath, bool asAnotherUser)
    : outPath_(std::move(outPath)), errPath_(std::move(errPath)) {
  Start(std::move(arguments), inputPath, asAnotherUser);
}

ToolProcess::ToolProcess(std::vector<std::string> arguments, std::string outPath, std::string errPath, PipedInput)
    : outPath_(std::move(outPath)), errPath_(std::move(errPath)) {
  // A tool that stops reading must fail the write, not end the test.
  ::signal(SIGPIPE, SIG_IGN);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  inputFd_ = fds[1];
  Start(std::move(arguments), "/dev/fd/" + std::to_string(fds[0]), false);
  ::close(fds[0]);
}

void ToolProcess::Start(std::vector<std::string> arguments, const std::string& inputPath, bool asAnotherUser) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inputPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  arguments.insert(arguments.begin(), ZDB_TOOL_PATH);
  if (asAnotherUser && ::geteuid() == 0)
    arguments.insert(arguments.begin(), {SetprivPath, "--reuid=" + std::to_string(NobodyId),
                                         "--regid=" + std::to_string(NobodyId), "--clear-groups", "--"});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

ToolProcess::ToolProcess(ToolProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      inputFd_(std::exchange(other.inputFd_, -1)),
      outPath_(std::move(other.outPath_)),
      errPath_(std::move(other.errPath_)) {}

ToolProcess::~ToolProcess() { Wait(); }

bool ToolProcess::WriteInput(const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(inputFd_, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

void ToolProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

int ToolProcess::Wait() {
  if (inputFd_ >= 0) ::close(std::exchange(inputFd_, -1));
  if (pid_ <= 0) return -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ToolRun ToolProcess::Finish() {
  ToolRun run;
  run.exitCode = Wait();
  run.out = Slurp(outPath_);
  run.err = Slurp(errPath_);
  return run;
}

ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& outputs, const std::string& inputPath) {
  return ToolProcess(arguments, outputs + ".out", outputs + ".err", inputPath).Finish();
}

ToolRun RunToolAsAnotherUser(const std::vector<std::string>& arguments, const std::string& outputs) {
  return ToolProcess(arguments, outputs + ".out", outputs + ".err", "/dev/null", true).Finish();
}

}  // namespace zdbtool::test
