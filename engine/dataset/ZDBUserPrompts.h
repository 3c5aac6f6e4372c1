// The questions the engine asks the person at the screen: whether to repair a database
// file, the password of an encrypted one, notices and warnings, and the wait window of a
// long operation.
//
// The engine knows no windows: it asks through the process's TZDBUserPrompts. The base
// class answers without a user (no repair, no password, notices dropped, a wait window
// nobody sees that is never aborted), which is what tests and tools get unless they
// install an answerer of their own; the program installs its windows at start-up.
//
// Contract: prompts are asked on the thread that runs the operation, with the session
// lock held; an answerer must not call back into the engine's session components.
#pragma once

#include <memory>
#include <string>

namespace zdb {

// A running wait window; destroying it finishes it (hidden, the application restored).
class TZDBWaitWindow {
 public:
  virtual ~TZDBWaitWindow() = default;
  // Shows the progress (0..100); false once the user pressed "Abort", and from then on.
  virtual bool Progress(int percent) = 0;
};

class TZDBUserPrompts {
 public:
  virtual ~TZDBUserPrompts() = default;

  // A question with Yes and No; true for Yes. Without a user: No.
  virtual bool AskYesNo(const std::string& question);
  // A notice with OK. Without a user: nothing.
  virtual void ShowInformation(const std::string& text);
  // A warning with OK. Without a user: nothing.
  virtual void ShowWarning(const std::string& text);
  // The password prompt; true with the typed password when it closes with OK. Without a
  // user: false, password untouched.
  virtual bool AskPassword(std::string& password);
  // Starts the wait window with the message. Without a user: one nobody sees, never aborted.
  virtual std::unique_ptr<TZDBWaitWindow> StartWait(const std::string& message);
};

// Installs the process's answerer; null puts back the one that answers without a user.
void SetUserPrompts(std::shared_ptr<TZDBUserPrompts> prompts);
// The process's answerer, kept alive for the caller while it asks.
std::shared_ptr<TZDBUserPrompts> UserPrompts();

}  // namespace zdb
