#include "tests/fuzz/FuzzChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "tests/fuzz/FuzzPipeline.h"

namespace zdbfuzz {
namespace {

constexpr int ExitFault = 3;
constexpr auto PollInterval = std::chrono::milliseconds(5);

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Resident memory of the process in megabytes, 0 when it cannot be read.
int64_t ResidentMegabytes(pid_t pid) {
  std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
  int64_t total = 0;
  int64_t resident = 0;
  if (!(statm >> total >> resident)) return 0;
  return resident * ::sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

[[noreturn]] void RunChild(const std::string& path, const std::string& outputPath, const std::string& summaryPath) {
  const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (output >= 0) {
    ::dup2(output, STDERR_FILENO);
    ::close(output);
  }
  const TPipelineReport report = RunPipeline(path);
  {
    std::ofstream summary(summaryPath);
    summary << report.Summary();
  }
  for (const std::string& refusal : report.Refusals) std::cerr << "refused: " << refusal << '\n';
  for (const std::string& fault : report.Faults) std::cerr << "fault: " << fault << '\n';
  std::cerr.flush();
  // exit, not _exit: the leak check and the static objects' destructors run as well.
  std::exit(report.Faults.empty() ? 0 : ExitFault);
}

}  // namespace

const char* TChildOutcome::KindName(TKind kind) {
  switch (kind) {
    case TKind::Clean: return "clean";
    case TKind::Fault: return "fault";
    case TKind::Crash: return "crash";
    case TKind::Hang: return "hang";
    case TKind::Memory: return "memory";
  }
  return "?";
}

TChildOutcome RunPipelineInChild(const std::string& path, const std::string& scratch, const TChildLimits& limits) {
  const std::string outputPath = scratch + "/child-output.txt";
  const std::string summaryPath = scratch + "/child-summary.txt";
  std::remove(outputPath.c_str());
  std::remove(summaryPath.c_str());
  std::cout.flush();
  std::cerr.flush();

  TChildOutcome outcome;
  const pid_t pid = ::fork();
  if (pid < 0) {
    outcome.Summary = "fork failed";
    return outcome;
  }
  if (pid == 0) RunChild(path, outputPath, summaryPath);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.TimeoutSeconds);
  int status = 0;
  bool ended = false;
  while (!ended) {
    const pid_t waited = ::waitpid(pid, &status, WNOHANG);
    if (waited == pid) {
      ended = true;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      outcome.Kind = TChildOutcome::TKind::Hang;
      outcome.Summary = "did not end within " + std::to_string(limits.TimeoutSeconds) + " s";
      break;
    }
    const int64_t resident = ResidentMegabytes(pid);
    if (resident > limits.MemoryMegabytes) {
      outcome.Kind = TChildOutcome::TKind::Memory;
      outcome.Summary = "took " + std::to_string(resident) + " MB of memory";
      break;
    }
    std::this_thread::sleep_for(PollInterval);
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    outcome.Kind = TChildOutcome::TKind::Clean;
    outcome.Summary = ReadWhole(summaryPath);
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == ExitFault) {
    outcome.Kind = TChildOutcome::TKind::Fault;
    outcome.Summary = ReadWhole(summaryPath);
  } else {
    outcome.Kind = TChildOutcome::TKind::Crash;
    outcome.Summary = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                          : "exit code " + std::to_string(WEXITSTATUS(status));
  }
  outcome.Output = ReadWhole(outputPath);
  return outcome;
}

}  // namespace zdbfuzz
