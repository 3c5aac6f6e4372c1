// The zdb tool run as its users run it: a process of its own, its input from a file
// (nobody at a terminal: /dev/null unless given), its output and errors into files that
// are read back when it has finished.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zdbtool::test {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The bytes of a file; empty when it cannot be read.
std::string Slurp(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// Standard input from a pipe that the test writes, and holds open until Finish.
struct PipedInput {};

// One run of the tool, started now and waited for on Finish (or on destruction).
class ToolProcess {
 public:
  ToolProcess(std::vector<std::string> arguments, std::string outPath, std::string errPath,
              const std::string& inputPath = "/dev/null", bool asAnotherUser = false);
  ToolProcess(std::vector<std::string> arguments, std::string outPath, std::string errPath, PipedInput);
  ~ToolProcess();
  ToolProcess(ToolProcess&& other) noexcept;
  ToolProcess& operator=(ToolProcess&&) = delete;
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Writes to the piped input; returns once the pipe took every byte (the tool has read
  // all but what the pipe holds). False when the tool no longer reads.
  bool WriteInput(const std::string& bytes);
  void Signal(int signal);
  // Closes the piped input, then waits. exitCode is -1 for a tool that a signal ended.
  ToolRun Finish();

 private:
  void Start(std::vector<std::string> arguments, const std::string& inputPath, bool asAnotherUser);
  int Wait();

  pid_t pid_ = -1;
  int inputFd_ = -1;
  std::string outPath_;
  std::string errPath_;
};

// Runs the tool to its end, its output and errors in "<outputs>.out" / "<outputs>.err".
ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& outputs,
                const std::string& inputPath = "/dev/null");
// The same, as a user who owns nothing: run by root, the tool runs as "nobody" (through
// setpriv); run by anyone else, as that user, who then is "another user" for files made
// without permissions for their owner.
ToolRun RunToolAsAnotherUser(const std::vector<std::string>& arguments, const std::string& outputs);

}  // namespace zdbtool::test
