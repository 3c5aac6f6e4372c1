#include "engine/dataset/ZDBUserPrompts.h"

#include <mutex>
#include <utility>

namespace zdb {
namespace {

class SilentWaitWindow final : public TZDBWaitWindow {
 public:
  bool Progress(int /*percent*/) override { return true; }
};

std::mutex promptsMutex;

std::shared_ptr<TZDBUserPrompts>& InstalledPrompts() {
  static std::shared_ptr<TZDBUserPrompts> prompts = std::make_shared<TZDBUserPrompts>();
  return prompts;
}

}  // namespace

bool TZDBUserPrompts::AskYesNo(const std::string& /*question*/) { return false; }

void TZDBUserPrompts::ShowInformation(const std::string& /*text*/) {}

void TZDBUserPrompts::ShowWarning(const std::string& /*text*/) {}

bool TZDBUserPrompts::AskPassword(std::string& /*password*/) { return false; }

std::unique_ptr<TZDBWaitWindow> TZDBUserPrompts::StartWait(const std::string& /*message*/) {
  return std::make_unique<SilentWaitWindow>();
}

void SetUserPrompts(std::shared_ptr<TZDBUserPrompts> prompts) {
  std::lock_guard<std::mutex> guard(promptsMutex);
  InstalledPrompts() = prompts ? std::move(prompts) : std::make_shared<TZDBUserPrompts>();
}

std::shared_ptr<TZDBUserPrompts> UserPrompts() {
  std::lock_guard<std::mutex> guard(promptsMutex);
  return InstalledPrompts();
}

}  // namespace zdb
