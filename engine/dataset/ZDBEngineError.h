// The error the dataset raises for a cursor's result code when it edits, posts or deletes.
//
// Its text is "Engine Error # ", the code in decimal, one blank and the code's text: a
// fixed text for each code, except -8, whose text is the message of the failure the post
// caught (native code included). Being a database error, a dataset's error events may
// fail, abort or retry on it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/framework/DatabaseError.h"

namespace zdb {

// Cursor result codes of the editing cycle.
namespace engine_code {
constexpr int32_t Ok = 0;
constexpr int32_t AddFailed = -1;
constexpr int32_t UpdateFailed = -2;
constexpr int32_t DeleteFailed = -3;
constexpr int32_t UpdateModifiedByOther = -4;
constexpr int32_t DeleteModifiedByOther = -5;
constexpr int32_t UpdateDeletedByOther = -6;
constexpr int32_t DeleteDeletedByOther = -7;
constexpr int32_t CheckFailed = -8;  // text: the message of the failure
constexpr int32_t UpdateTemporary = -9;
constexpr int32_t DeleteTemporary = -10;
constexpr int32_t RecordLocked = -12;
constexpr int32_t TableLocked = -13;
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
