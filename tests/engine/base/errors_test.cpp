#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

struct Formatted {
  std::string actual;
  std::string expected;
};

TEST(FormatMessage, FillsDirectives) {
  const std::string withNul("a\0b", 3);
  const Formatted cases[] = {
      {FormatMessage("Invalid PageNo = %d", {42}), "Invalid PageNo = 42"},
      {FormatMessage("Invalid PageNo = %d", {-5}), "Invalid PageNo = -5"},
      {FormatMessage("%d", {int64_t{1} << 40}), "1099511627776"},
      {FormatMessage("Cannot open file. FileName = %s, Mode = %d", {"Zelmarot.zdb", 2}),
       "Cannot open file. FileName = Zelmarot.zdb, Mode = 2"},
      {FormatMessage("Table '%s.%s' already exists", {std::string("db"), std::string_view("Maximo")}),
       "Table 'db.Maximo' already exists"},
      {FormatMessage("%d%% of %s", {5, "pages"}), "5% of pages"},
      {FormatMessage("100%%", {}), "100%"},
      {FormatMessage("[%5d|%-5d|%.3d|%05d]", {7, 7, 7, 7}), "[    7|7    |007|00007]"},
      {FormatMessage("[%.3s|%-6s|%6s]", {"abcdef", "ab", "ab"}), "[abc|ab    |    ab]"},
      {FormatMessage("%s", {withNul}), withNul},
      {FormatMessage("%s", {""}), ""},
      {FormatMessage("%x %u", {255, 3}), "FF 3"},
      {FormatMessage("%.2f %.1f %g", {2.5, 3, 0.25}), "2.50 3.0 0.25"},
      {FormatMessage("%n|%.0n|%n|%.1n", {1234567.5, -1000, 999, 123456}),
       "1,234,567.50|-1,000|999.00|123,456.0"},
      {FormatMessage("%D %S", {4, "x"}), "4 x"},
      {FormatMessage("No directives", {1, "extra"}), "No directives"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(FormatMessage, KeepsFormatWhenArgumentsDoNotFit) {
  const Formatted cases[] = {
      // too few
      {FormatMessage("Page: %d cannot be addressed. TotalPageCount=%d", {5}),
       "Page: %d cannot be addressed. TotalPageCount=%d Arguments are invalid!"},
      {FormatMessage("Invalid PageNo = %d", {}), "Invalid PageNo = %d Arguments are invalid!"},
      // wrong kinds
      {FormatMessage("Invalid PageNo = %d", {"7"}), "Invalid PageNo = %d Arguments are invalid!"},
      {FormatMessage("Invalid PageNo = %d", {7.0}), "Invalid PageNo = %d Arguments are invalid!"},
      {FormatMessage("Duplicate field name %s", {7}), "Duplicate field name %s Arguments are invalid!"},
      {FormatMessage("%x", {"ff"}), "%x Arguments are invalid!"},
      {FormatMessage("%n", {"1"}), "%n Arguments are invalid!"},
      // malformed directives
      {FormatMessage("50%", {1}), "50% Arguments are invalid!"},
      {FormatMessage("%5", {1}), "%5 Arguments are invalid!"},
      {FormatMessage("%q", {1}), "%q Arguments are invalid!"},
      {FormatMessage("%ld", {1}), "%ld Arguments are invalid!"},
      {FormatMessage("%99999d", {1}), "%99999d Arguments are invalid!"},
      {FormatMessage("%.99999f", {1.0}), "%.99999f Arguments are invalid!"},
      // a stray "% " in an engine message cannot be filled, whatever the arguments
      {FormatMessage("Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d", {1, 2, 3, 4}),
       "Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d Arguments are invalid!"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(EZDBException, TextEndsWithCodeInFiveDigits) {
  struct Case {
    int32_t code;
    std::string text;
  };
  const Case cases[] = {
      {10026, "Cannot retrieve record - Native error: 10026"},
      {7, "Cannot retrieve record - Native error: 00007"},
      {0, "Cannot retrieve record - Native error: 00000"},
      {-12, "Cannot retrieve record - Native error: -00012"},
      {123456, "Cannot retrieve record - Native error: 123456"},
      {INT32_MIN, "Cannot retrieve record - Native error: -2147483648"},
  };
  for (const auto& c : cases) {
    EZDBException error(c.code, "Cannot retrieve record");
    EXPECT_STREQ(error.what(), c.text.c_str());
    EXPECT_EQ(error.NativeError(), c.code);
    EXPECT_EQ(error.Message(), "Cannot retrieve record");
  }
}

TEST(RaiseError, ThrowsTheEntrysCodeKindAndFilledOrUnfilledText) {
  try {
    RaiseError(errors::DeleteMissingTable, {"Maximo"});
    FAIL();
  } catch (const EZDBException& e) {
    EXPECT_EQ(e.NativeError(), 20132);
    EXPECT_EQ(e.Kind(), TZDBErrorKind::NotFound);
    EXPECT_TRUE(e.Is(errors::DeleteMissingTable));
    EXPECT_STREQ(e.what(), "Table 'Maximo' not found - Native error: 20132");
  }
  try {
    RaiseError(errors::InvalidPageNo, {});
    FAIL();
  } catch (const EZDBException& e) {
    EXPECT_STREQ(e.what(), "Invalid PageNo = %d Arguments are invalid! - Native error: 10471");
  }
  // Without arguments the text is never taken for a format.
  try {
    RaiseError(errors::MemoryLimitExceeded);
    FAIL();
  } catch (const EZDBException& e) {
    EXPECT_EQ(e.Message(), "Memory limit exceeded (Limit = %d bytes)");
  }
  try {
    RaiseErrorMessage(errors::CheckFailed, "100% used");
    FAIL();
  } catch (const EZDBException& e) {
    EXPECT_EQ(e.NativeError(), -8);
    EXPECT_EQ(e.Message(), "100% used");
    EXPECT_EQ(e.Kind(), TZDBErrorKind::Constraint);
  }
}

TEST(ErrorTable, ResolvesExactCodes) {
  struct Case {
    int32_t code;
    const char* text;
  };
  const Case cases[] = {
      {10471, "Invalid PageNo = %d"},
      {30382, "Unknown Page Type: (%d)"},
      {20230, "Database is locked"},
      {20236, "Database is locked"},
      {10000, "Invalid field number - FieldNo = %d, FieldCount = %d"},
      {20139, "Nil pointer occured"},
      {10512, "Cannot repair page index for large table. Table name: \"%s\""},
      {30388, "Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d"},
      {30499, "Missing field name. FieldNo=%d, table '%s'"},
      {10115, "BLOB field already opened. FieldNo = %d, FieldName = %s"},  // two texts: the first
      {10172, "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d"},
      {-4, "Error updating record - record was modified by other process"},
      // codes the engine never raises
      {10050, nullptr},
      {9999, nullptr},
      {30500, nullptr},
      {0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const TZDBError* error = FindError(c.code);
    if (c.text == nullptr) {
      EXPECT_EQ(error, nullptr);
      continue;
    }
    ASSERT_NE(error, nullptr);
    EXPECT_STREQ(error->Text, c.text);
  }
}

TEST(ErrorTable, ACodeRaisedWithTwoTextsHasAnEntryForEach) {
  const auto shared = FindErrors(20034);
  ASSERT_EQ(shared.size(), 2u);
  EXPECT_STREQ(shared[0]->Text, "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d");
  EXPECT_STREQ(shared[1]->Text, "No SQL statement available");
  EXPECT_STRNE(shared[0]->Name, shared[1]->Name);
  EXPECT_TRUE(FindErrors(10050).empty());
}

TEST(ErrorTable, ATextRaisedAtManyPlacesHasACodeAndANameForEach) {
  std::vector<std::string> names;
  for (const int32_t code : {10001, 10003, 20135, 20139}) {
    const TZDBError* error = FindError(code);
    ASSERT_NE(error, nullptr) << code;
    EXPECT_STREQ(error->Text, "Nil pointer occured");
    names.emplace_back(error->Name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

TEST(ErrorTable, ACodeRaisedWithAnotherTextThanListedElsewhereHasTheRaisedText) {
  EXPECT_STREQ(FindError(20043)->Text, "Cannot find index field '%s'");
  EXPECT_STREQ(FindError(20295)->Text,
               "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please use "
               "CAST(blob_field, string) function to convert BLOB field to a string expression before indexing.");
  EXPECT_STREQ(FindError(20044)->Text, "Pointer is nil");
  EXPECT_EQ(FindErrors(20043).size(), 1u);
}

// Callers react to the kind: a wrong password is asked again, a locked file retried, a
// damaged one repaired.
TEST(ErrorTable, KindsTellWhatAFailureMeans) {
  struct Case {
    int32_t code;
    TZDBErrorKind kind;
  };
  const Case cases[] = {
      {30445, TZDBErrorKind::WrongPassword}, {20213, TZDBErrorKind::Locked},
      {20208, TZDBErrorKind::Locked},        {30446, TZDBErrorKind::Damaged},
      {20300, TZDBErrorKind::Damaged},       {30364, TZDBErrorKind::IO},
      {30395, TZDBErrorKind::Exists},        {20132, TZDBErrorKind::NotFound},
      {30320, TZDBErrorKind::Constraint},    {-4, TZDBErrorKind::Conflict},
      {-12, TZDBErrorKind::Locked},          {-1, TZDBErrorKind::Refused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(EZDBException(c.code, "x").Kind(), c.kind) << ErrorKindName(EZDBException(c.code, "x").Kind());
  }
  // A code from outside the table is the engine's own fault, not a condition to react to.
  EXPECT_EQ(EZDBException(99999, "x").Kind(), TZDBErrorKind::Internal);
}

}  // namespace
}  // namespace zdb
