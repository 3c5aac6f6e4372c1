// The error the dataset raises for a cursor's result code when it edits, posts or deletes.
//
// Its text is "Engine Error # ", the code in decimal, one blank and the code's text: a
// fixed text for each code, except -8, whose text is the message of the failure the post
// caught (native code included). Being a database error, a dataset's error events may
// fail, abort or retry on it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/ZDBErrors.h"
#include "engine/framework/DatabaseError.h"

namespace zdb {

// Cursor result codes of the editing cycle, as numbers for the callers that hold them.
namespace engine_code {
constexpr int32_t Ok = 0;
constexpr int32_t AddFailed = errors::AddFailed.Code;
constexpr int32_t UpdateFailed = errors::UpdateFailed.Code;
constexpr int32_t DeleteFailed = errors::DeleteFailed.Code;
constexpr int32_t UpdateModifiedByOther = errors::UpdateModifiedByOther.Code;
constexpr int32_t DeleteModifiedByOther = errors::DeleteModifiedByOther.Code;
constexpr int32_t UpdateDeletedByOther = errors::UpdateDeletedByOther.Code;
constexpr int32_t DeleteDeletedByOther = errors::DeleteDeletedByOther.Code;
constexpr int32_t CheckFailed = errors::CheckFailed.Code;  // text: the message of the failure
constexpr int32_t UpdateTemporary = errors::UpdateTemporary.Code;
constexpr int32_t DeleteTemporary = errors::DeleteTemporary.Code;
constexpr int32_t RecordLocked = errors::RecordLocked.Code;
constexpr int32_t TableLocked = errors::TableLocked.Code;
}  // namespace engine_code

// The fixed text of an engine code, or nullptr for -8 and for codes without one.
const char* EngineCodeText(int32_t engineCode);

class EZDBEngineError : public data::EDatabaseError {
 public:
  // message: the cursor's message. It is the code's text for -8 and for a code without a
  // fixed text (which a cursor should never give); when it is empty there, the code's
  // text is "Unknown engine error".
  EZDBEngineError(int32_t engineCode, const std::string& message);

  int32_t EngineCode() const { return engineCode_; }
  const std::string& CodeText() const { return codeText_; }

 private:
  int32_t engineCode_;
  std::string codeText_;
};

[[noreturn]] void RaiseEngineError(int32_t engineCode, const std::string& message);

}  // namespace zdb
