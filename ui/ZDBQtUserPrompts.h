// The engine's questions asked in windows: Yes/No questions and notices in message boxes,
// the password in TZDBPassDialog and long operations in TfrmWait. The program installs it
// at start-up (TZDBQtUserPromptsScope); without an application object it answers as the
// engine does without a user.
#pragma once

#include <memory>
#include <string>

#include "zdb/UserPrompts.h"

class TZDBQtUserPrompts : public zdb::TZDBUserPrompts {
 public:
  static constexpr const char* QuestionCaption = "Confirm";
  static constexpr const char* InformationCaption = "Information";
  static constexpr const char* WarningCaption = "Warning";

  bool AskYesNo(const std::string& question) override;
  void ShowInformation(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  bool AskPassword(std::string& password) override;
  std::unique_ptr<zdb::TZDBWaitWindow> StartWait(const std::string& message) override;
};

// While alive (and when asked to), the engine asks through TZDBQtUserPrompts; afterwards
// the answerer without a user is back.
class TZDBQtUserPromptsScope {
 public:
  explicit TZDBQtUserPromptsScope(bool install = true);
  ~TZDBQtUserPromptsScope();
  TZDBQtUserPromptsScope(const TZDBQtUserPromptsScope&) = delete;
  TZDBQtUserPromptsScope& operator=(const TZDBQtUserPromptsScope&) = delete;

 private:
  bool installed_;
};
