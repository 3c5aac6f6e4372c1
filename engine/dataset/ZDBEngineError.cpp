#include "engine/dataset/ZDBEngineError.h"

namespace zdb {
namespace {

constexpr const char* EngineErrorPrefix = "Engine Error # ";
constexpr const char* UnknownEngineErrorText = "Unknown engine error";

// The fixed text; otherwise (-8, or a code a cursor should never give) the cursor's
// message, so that nothing it reported is lost.
std::string CodeTextFor(int32_t engineCode, const std::string& message) {
  if (const char* fixed = EngineCodeText(engineCode)) return fixed;
  return message.empty() ? UnknownEngineErrorText : message;
}

}  // namespace

const char* EngineCodeText(int32_t engineCode) {
  if (engineCode >= 0 || engineCode == engine_code::CheckFailed) return nullptr;
  const TZDBError* error = FindError(engineCode);
  return error ? error->Text : nullptr;
}

EZDBEngineError::EZDBEngineError(int32_t engineCode, const std::string& message)
    : data::EDatabaseError(EngineErrorPrefix + std::to_string(engineCode) + " " + CodeTextFor(engineCode, message)),
      engineCode_(engineCode),
      codeText_(CodeTextFor(engineCode, message)) {}

void RaiseEngineError(int32_t engineCode, const std::string& message) {
  throw EZDBEngineError(engineCode, message);
}

}  // namespace zdb
