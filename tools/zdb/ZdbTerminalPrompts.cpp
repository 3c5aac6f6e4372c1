#include "tools/zdb/ZdbTerminalPrompts.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

namespace zdbtool {
namespace {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

// Turns the terminal's echo off for a scope; the settings come back on every path.
class EchoOff {
 public:
  EchoOff() {
    if (::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    restore_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (restore_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios saved_{};
  bool restore_ = false;
};

bool ReadAnswer(std::string& line) {
  if (!std::getline(std::cin, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

bool TZdbTerminalPrompts::AskYesNo(const std::string& question) {
  if (!StdinIsTerminal()) return false;
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!ReadAnswer(answer)) {
    std::cerr << '\n';
    return false;
  }
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer == "y" || answer == "yes";
}

void TZdbTerminalPrompts::ShowInformation(const std::string& text) { std::cerr << text << '\n'; }

void TZdbTerminalPrompts::ShowWarning(const std::string& text) { std::cerr << "warning: " << text << '\n'; }

bool TZdbTerminalPrompts::AskPassword(std::string& password) {
  if (!StdinIsTerminal()) return false;
  std::string typed;
  bool answered = false;
  {
    const EchoOff echoOff;
    std::cerr << PasswordPrompt << std::flush;
    answered = ReadAnswer(typed);
  }
  std::cerr << '\n';  // the Enter the terminal did not echo
  if (!answered || typed.empty()) return false;
  password = typed;
  return true;
}

void InstallTerminalPrompts() { zdb::SetUserPrompts(std::make_shared<TZdbTerminalPrompts>()); }

}  // namespace zdbtool
