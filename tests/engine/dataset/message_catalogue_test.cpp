// The message catalogue against the engine's own sources: every place that raises an
// engine error is found in the source text, and the code and text it raises must be in
// the catalogue (the editing cycle's result codes in their own table). New raising places
// are checked as they come, whatever their style: what the text does not tell is checked
// as far as it does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/base/ZDBMessages.h"
#include "engine/dataset/ZDBEngineError.h"
#include "tests/engine/dataset/catalogue/RaiseSiteScanner.h"

namespace zdb::testing {
namespace {

using zdbtest::RaiseSite;

std::string Where(const RaiseSite& site) { return site.File + ":" + std::to_string(site.Line); }

bool CatalogueHasText(const std::string& text) {
  const auto messages = AllMessages();
  return std::any_of(messages.begin(), messages.end(), [&](const MessageEntry& entry) { return entry.Text == text; });
}

bool CatalogueHasPair(int32_t code, const std::string& text) {
  for (const MessageEntry* entry : MessagesForCode(code))
    if (entry->Text == text) return true;
  return false;
}

TEST(MessageCatalogue, EveryCodeTheEngineRaisesHasItsRaisedText) {
  const std::vector<RaiseSite> sites = zdbtest::ScanFolder(ZDB_SOURCE_DIR, "engine");
  const auto coded = std::count_if(sites.begin(), sites.end(), [](const RaiseSite& s) { return s.Code && s.Text; });
  // The scan must see the engine at all for the checks below to mean anything.
  ASSERT_FALSE(sites.empty());
  ASSERT_GT(coded, 0);
  for (const RaiseSite& site : sites) {
    SCOPED_TRACE(Where(site));
    if (site.Code && *site.Code < 0) {
      // A result code of the editing cycle: its fixed text, except -8 (the failure's own).
      if (*site.Code != engine_code::CheckFailed && site.Text) {
        ASSERT_NE(EngineCodeText(*site.Code), nullptr) << *site.Code;
        EXPECT_EQ(EngineCodeText(*site.Code), *site.Text) << *site.Code;
      }
    } else if (site.Code && site.Text) {
      EXPECT_TRUE(CatalogueHasPair(*site.Code, *site.Text)) << *site.Code << " \"" << *site.Text << "\"";
    } else if (site.Code) {
      EXPECT_FALSE(MessagesForCode(*site.Code).empty()) << *site.Code;
    } else if (site.Text) {
      EXPECT_TRUE(CatalogueHasText(*site.Text)) << '"' << *site.Text << '"';
    }
  }
}

// The scan itself, on small sources that show each form it understands.
TEST(RaiseSiteScanner, ResolvesTheFormsOfCodeAndText) {
  const std::string source = R"(
constexpr int32_t OpenError = 20230;
constexpr const char* LockedText = "Database " "is locked";
constexpr char MissingFormat[] = "Table '%s' not found";
// RaiseError(99999, "a comment is no raise");
void Plain() { RaiseError(10471, "Invalid PageNo = %d", {1}); }
void Named() { RaiseError(OpenError, LockedText); }
void Either(bool a) { RaiseError(a ? OpenError : 20231, std::string(LockedText)); }
[[noreturn]] void RaiseMissing(int32_t code, const std::string& name) { RaiseError(code, MissingFormat, {name}); }
void Callers() { RaiseMissing(20132, "a"); RaiseMissing(OpenError + 1, "b"); }
void FromCatalogue() { RaiseError(20238, MessageForCode(20238)); }
void Unknown(int32_t given) { RaiseError(codes_.Member, message); }
)";
  const std::vector<RaiseSite> sites = zdbtest::ScanSource(ZDB_SOURCE_DIR, "test.cpp", source);
  struct Expected {
    int line;
    std::optional<int32_t> code;
    std::optional<std::string> text;
  };
  const std::vector<Expected> expected = {
      {6, 10471, "Invalid PageNo = %d"},
      {7, 20230, "Database is locked"},
      {8, 20230, std::nullopt},  // a text built at run time is not read
      {8, 20231, std::nullopt},
      {9, 20132, "Table '%s' not found"},  // the caller that names its code
      {11, 20238, std::nullopt},
      {12, std::nullopt, std::nullopt},
  };
  ASSERT_EQ(sites.size(), expected.size());
  for (size_t i = 0; i < sites.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sites[i].Line, expected[i].line);
    EXPECT_EQ(sites[i].Code, expected[i].code);
    EXPECT_EQ(sites[i].Text, expected[i].text);
  }
  EXPECT_TRUE(sites[5].TextFromCatalogue);
}

}  // namespace
}  // namespace zdb::testing
