#include "engine/dataset/ZDBEngineError.h"

namespace zdb {
namespace {

constexpr const char* EngineErrorPrefix = "Engine Error # ";
constexpr const char* UnknownEngineErrorText = "Unknown engine error";

struct EngineCodeEntry {
  int32_t Code;
  const char* Text;
};

constexpr EngineCodeEntry EngineCodeTexts[] = {
    {engine_code::AddFailed, "Error adding record"},
    {engine_code::UpdateFailed, "Error updating record"},
    {engine_code::DeleteFailed, "Error deleting record"},
    {engine_code::UpdateModifiedByOther, "Error updating record - record was modified by other process"},
    {engine_code::DeleteModifiedByOther, "Error deleting record - record was modified by other process"},
    {engine_code::UpdateDeletedByOther, "Error updating record - record was deleted by other process"},
    {engine_code::DeleteDeletedByOther, "Error deleting record - record was deleted by other process"},
    {engine_code::UpdateTemporary, "Cannot update record in temporary mode"},
    {engine_code::DeleteTemporary, "Cannot delete record in temporary mode"},
    {engine_code::RecordLocked, "Record is locked"},
    {engine_code::TableLocked, "Table is locked"},
};

// The fixed text; otherwise (-8, or a code a cursor should never give) the cursor's
// message, so that nothing it reported is lost.
std::string CodeTextFor(int32_t engineCode, const std::string& message) {
  if (const char* fixed = EngineCodeText(engineCode)) return fixed;
  return message.empty() ? UnknownEngineErrorText : message;
}

}  // namespace

const char* EngineCodeText(int32_t engineCode) {
  for (const EngineCodeEntry& entry : EngineCodeTexts)
    if (entry.Code == engineCode) return entry.Text;
  return nullptr;
}

EZDBEngineError::EZDBEngineError(int32_t engineCode, const std::string& message)
    : data::EDatabaseError(EngineErrorPrefix + std::to_string(engineCode) + " " + CodeTextFor(engineCode, message)),
      engineCode_(engineCode),
      codeText_(CodeTextFor(engineCode, message)) {}

void RaiseEngineError(int32_t engineCode, const std::string& message) {
  throw EZDBEngineError(engineCode, message);
}

}  // namespace zdb
