// The error table against the engine's own sources. The compiler already holds every
// RaiseError to a table entry; these checks catch the ways around it: a code written as a
// number or as a constant of its own, an exception built by hand, a message made up at
// a raising place instead of taken from the entry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/dataset/ZDBEngineError.h"

namespace zdb::testing {
namespace {

namespace fs = std::filesystem;

struct Source {
  std::string path;  // relative to the source tree
  std::string text;
};

std::vector<Source> EngineSources() {
  std::vector<Source> sources;
  const fs::path root(ZDB_SOURCE_DIR);
  for (const auto& entry : fs::recursive_directory_iterator(root / "engine")) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".cpp" && extension != ".h") continue;
    const std::string name = entry.path().filename().string();
    // The table itself and the one place that builds the exception.
    if (name.starts_with("ZDBErrors.") || name.starts_with("ZDBException.")) continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    sources.push_back({fs::relative(entry.path(), root).string(), text.str()});
  }
  return sources;
}

int LineOf(const std::string& text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Every match of pattern outside comments, as "file:line: match".
std::vector<std::string> Find(const std::vector<Source>& sources, const std::regex& pattern) {
  std::vector<std::string> found;
  for (const Source& source : sources) {
    for (auto it = std::sregex_iterator(source.text.begin(), source.text.end(), pattern); it != std::sregex_iterator();
         ++it) {
      const size_t at = static_cast<size_t>(it->position());
      const size_t lineStart = source.text.rfind('\n', at) + 1;
      if (source.text.substr(lineStart, at - lineStart).find("//") != std::string::npos) continue;
      found.push_back(source.path + ":" + std::to_string(LineOf(source.text, at)) + ": " + it->str());
    }
  }
  return found;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += "\n  " + line;
  return joined;
}

TEST(ErrorTableSources, NoCodeIsDefinedOutsideTheTable) {
  const std::vector<Source> sources = EngineSources();
  ASSERT_GT(sources.size(), 100u);  // the scan must see the engine for the checks to mean anything
  // A named code of its own (the engine's codes run from 10000 to 30999) ...
  const std::regex localCode(R"(constexpr\s+int32_t\s+\w*(Error|Code|Failed)s?\s*(\[\d*\])?\s*=\s*\{?\s*-?[123]0\d{3}\b)");
  EXPECT_EQ(Join(Find(sources, localCode)), "");
  // ... or a number where an entry belongs.
  const std::regex numberedRaise(R"(\bRaise(Error|ErrorMessage)\(\s*-?\d)");
  EXPECT_EQ(Join(Find(sources, numberedRaise)), "");
  const std::regex handBuilt(R"(\bthrow\s+EZDBException\b|\bEZDBException\(\s*-?\d)");
  EXPECT_EQ(Join(Find(sources, handBuilt)), "");
}

TEST(ErrorTableSources, OnlyTheFailureOfAPostCarriesAMessageMadeElsewhere) {
  // RaiseErrorMessage passes on a text that is not the entry's own: the message of the
  // failure that refused a post (-8), and the wrong-page-type text, which is the entry's
  // own text filled with the names of the page types.
  const std::regex madeElsewhere(R"(\bRaiseErrorMessage\(\s*([^,]+),)");
  const std::set<std::string> allowed = {"errors::CheckFailed", "error"};
  std::vector<std::string> others;
  for (const Source& source : EngineSources())
    for (auto it = std::sregex_iterator(source.text.begin(), source.text.end(), madeElsewhere);
         it != std::sregex_iterator(); ++it)
      if (!allowed.contains((*it)[1].str())) others.push_back(source.path + ": " + it->str());
  EXPECT_EQ(Join(others), "");
}

TEST(ErrorTable, EveryEntryIsWellFormed) {
  std::set<std::string> names;
  for (const TZDBError& error : AllErrors()) {
    SCOPED_TRACE(error.Name);
    EXPECT_TRUE(names.insert(error.Name).second);
    const bool native = error.Code >= 10000 && error.Code <= 30999;
    const bool editingCycle = error.Code >= engine_code::TableLocked && error.Code <= engine_code::AddFailed;
    EXPECT_TRUE(native || editingCycle) << error.Code;
    // Only -8 takes its text from the failure it reports.
    EXPECT_EQ(std::string(error.Text).empty(), error.Code == engine_code::CheckFailed);
  }
}

TEST(ErrorTable, TheEditingCyclesCodesKeepTheirFixedTexts) {
  EXPECT_STREQ(EngineCodeText(engine_code::AddFailed), "Error adding record");
  EXPECT_STREQ(EngineCodeText(engine_code::UpdateModifiedByOther),
               "Error updating record - record was modified by other process");
  EXPECT_STREQ(EngineCodeText(engine_code::RecordLocked), "Record is locked");
  EXPECT_STREQ(EngineCodeText(engine_code::TableLocked), "Table is locked");
  EXPECT_EQ(EngineCodeText(engine_code::CheckFailed), nullptr);
  EXPECT_EQ(EngineCodeText(-11), nullptr);
  EXPECT_EQ(EngineCodeText(20214), nullptr);  // a native code is no result of the editing cycle
}

}  // namespace
}  // namespace zdb::testing
