#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBEngineError.h"

namespace zdb {
namespace {

// The dataset's error events handle database errors only, so an engine error must be one
// and a native engine exception must not.
static_assert(std::is_base_of_v<data::EDatabaseError, EZDBEngineError>);
static_assert(!std::is_base_of_v<data::EDatabaseError, EZDBException>);

TEST(EZDBEngineError, FixedTextPerCode) {
  struct Case {
    int32_t code;
    const char* text;
  };
  const Case cases[] = {
      {-1, "Engine Error # -1 Error adding record"},
      {-2, "Engine Error # -2 Error updating record"},
      {-3, "Engine Error # -3 Error deleting record"},
      {-4, "Engine Error # -4 Error updating record - record was modified by other process"},
      {-5, "Engine Error # -5 Error deleting record - record was modified by other process"},
      {-6, "Engine Error # -6 Error updating record - record was deleted by other process"},
      {-7, "Engine Error # -7 Error deleting record - record was deleted by other process"},
      {-9, "Engine Error # -9 Cannot update record in temporary mode"},
      {-10, "Engine Error # -10 Cannot delete record in temporary mode"},
      {-12, "Engine Error # -12 Record is locked"},
      {-13, "Engine Error # -13 Table is locked"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    // The cursor's message only matters for codes without a fixed text.
    EZDBEngineError error(c.code, "cursor message");
    EXPECT_STREQ(error.what(), c.text);
    EXPECT_EQ(error.EngineCode(), c.code);
    EXPECT_EQ("Engine Error # " + std::to_string(c.code) + " " + error.CodeText(), c.text);
  }
}

TEST(EZDBEngineError, CheckFailureCarriesTheCaughtText) {
  const EZDBException violation(
      30026, FormatMessage("Constraint '%s' violated. Value in field '%s' cannot be null", {"NN_Anyo", "Anyo"}));
  EZDBEngineError error(engine_code::CheckFailed, violation.what());
  EXPECT_EQ(error.EngineCode(), -8);
  EXPECT_EQ(error.CodeText(), violation.what());
  EXPECT_STREQ(error.what(),
               "Engine Error # -8 Constraint 'NN_Anyo' violated. Value in field 'Anyo' cannot be null"
               " - Native error: 30026");
}

TEST(EZDBEngineError, CodeWithoutFixedTextKeepsMessageOrSaysUnknown) {
  struct Case {
    int32_t code;
    const char* message;
    const char* text;
  };
  const Case cases[] = {
      {-11, "", "Engine Error # -11 Unknown engine error"},
      {-11, "lost row", "Engine Error # -11 lost row"},
      {-8, "", "Engine Error # -8 Unknown engine error"},
      {-99, "", "Engine Error # -99 Unknown engine error"},
      {5, "", "Engine Error # 5 Unknown engine error"},
  };
  for (const auto& c : cases) EXPECT_STREQ(EZDBEngineError(c.code, c.message).what(), c.text);
}

TEST(RaiseEngineError, ThrowsADatabaseError) {
  try {
    RaiseEngineError(engine_code::RecordLocked, "");
    FAIL();
  } catch (const data::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Engine Error # -12 Record is locked");
  }
}

}  // namespace
}  // namespace zdb
