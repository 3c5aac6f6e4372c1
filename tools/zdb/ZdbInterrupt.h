// Ctrl-C and SIGTERM during a long command (load): the first one only raises a flag that
// the command checks between rows, so that it can roll back and say so; a second one
// ends the process at once (a commit it cuts short is rolled back from the journal by
// the next open).
#pragma once

#include <stdexcept>
#include <string>

namespace zdbtool {

// "SIGINT", "SIGTERM".
std::string SignalName(int signal);

// Raised where the command notices the flag.
class TZdbInterrupted : public std::runtime_error {
 public:
  explicit TZdbInterrupted(int signal);
  // The same interruption, told with what it stopped.
  TZdbInterrupted(int signal, const std::string& message) : std::runtime_error(message), signal_(signal) {}
  int Signal() const { return signal_; }
  // The exit code a shell gives a process ended by the signal.
  int ExitCode() const { return 128 + signal_; }

 private:
  int signal_;
};

// The handlers are installed from construction to destruction. Blocking reads return
// EINTR on a signal (no SA_RESTART), so that a read from a pipe notices it too.
class TZdbInterruptGuard {
 public:
  TZdbInterruptGuard();
  ~TZdbInterruptGuard();
  TZdbInterruptGuard(const TZdbInterruptGuard&) = delete;
  TZdbInterruptGuard& operator=(const TZdbInterruptGuard&) = delete;
};

// Raises TZdbInterrupted once a signal came.
void ThrowIfInterrupted();

}  // namespace zdbtool
