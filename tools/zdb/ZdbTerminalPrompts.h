// The engine's questions asked on the terminal: what the zdb tool answers when a file
// needs a password or a repair. Questions and the password prompt go to stderr (stdout
// carries the command's output) and are read from stdin, the password without echo.
// When stdin is not a terminal nobody is there to answer: questions get No and the
// password prompt Cancel, so that the engine's own error reaches the user. Notices and
// warnings are written to stderr either way.
#pragma once

#include <memory>
#include <string>

#include "zdb/UserPrompts.h"

namespace zdbtool {

class TZdbTerminalPrompts : public zdb::TZDBUserPrompts {
 public:
  static constexpr const char* PasswordPrompt = "Password: ";

  // Answers Yes to "y" or "yes" (letter case ignored); anything else, or the end of the
  // input, is No.
  bool AskYesNo(const std::string& question) override;
  void ShowInformation(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  // An empty line or the end of the input is Cancel.
  bool AskPassword(std::string& password) override;
};

// Installs the terminal answerer as the process's.
void InstallTerminalPrompts();

}  // namespace zdbtool
