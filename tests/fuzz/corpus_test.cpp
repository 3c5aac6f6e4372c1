// The mutants that once crashed, hung or raised a wrong error, kept as files: each must
// now go through open, read, check and repair ending with an engine error or success.
// Those in pending/ wait for a fix in code this harness does not own; their test runs
// when asked for (--gtest_also_run_disabled_tests).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/engine/table/support/TableDataTestSupport.h"
#include "tests/fuzz/FuzzChild.h"

namespace zdbfuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> KeptMutants(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.is_regular_file() && entry.path().extension() == ".zdb") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void ExpectCleanReplay(const fs::path& folder) {
  for (const fs::path& file : KeptMutants(folder)) {
    SCOPED_TRACE(file.filename().string());
    zdb::testing::ScratchFolder scratch;
    const std::string copy = scratch.File("mutant.zdb");
    fs::copy_file(file, copy);
    const TChildOutcome outcome = RunPipelineInChild(copy, scratch.File(""), TChildLimits{});
    EXPECT_TRUE(outcome.IsClean()) << TChildOutcome::KindName(outcome.Kind) << ": " << outcome.Summary << '\n'
                                   << outcome.Output;
  }
}

TEST(FuzzCorpus, EveryKeptMutantEndsWithAnEngineErrorOrSuccess) {
  ASSERT_FALSE(KeptMutants(ZDB_FUZZ_CORPUS).empty());
  ExpectCleanReplay(ZDB_FUZZ_CORPUS);
}

TEST(FuzzCorpus, DISABLED_PendingMutantsEndWithAnEngineErrorOrSuccess) {
  ExpectCleanReplay(fs::path(ZDB_FUZZ_CORPUS) / "pending");
}

}  // namespace
}  // namespace zdbfuzz
