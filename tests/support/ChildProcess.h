// A test's other process: a program started with pipes on its standard input and output,
// which the test drives one command line at a time and which answers with numbers.
// Multi-process tests use it to make a second user of a file do things at chosen moments.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zdbtest {

class ChildProcess {
 public:
  // Starts the program with the arguments (the program's path is its first argument).
  explicit ChildProcess(const std::string& program, const std::vector<std::string>& arguments = {});
  // Closes the child's input, which ends it the ordinary way, and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Sends one command line without waiting for its answer.
  void Send(const std::string& command);
  // The next number the child writes; false when it wrote no more.
  bool Next(long long& reply);
  // The next number; throws when the child wrote no more.
  long long Reply();
  long long Run(const std::string& command);
  // The child dies on the spot, as in a crash, and is waited for.
  void Kill();

 private:
  // Closes its input (the child then exits), waits for it, closes its output.
  void Release();
  void Reap();

  pid_t pid_ = -1;
  FILE* commands_ = nullptr;
  FILE* replies_ = nullptr;
};

}  // namespace zdbtest
