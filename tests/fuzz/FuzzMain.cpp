// zdb_fuzz: mutates a sound database file over and over and runs every mutant through
// the open, the full read, the check and the repair (FuzzPipeline.h), each in a child
// process with a time and memory bound (FuzzChild.h). A mutant that crashes, hangs, trips
// a sanitizer, runs away with memory or raises anything but an engine error is printed
// with its seed and iteration and kept as a file.
//   zdb_fuzz [--seconds N] [--iterations N] [--seed N] [--first N] [--timeout N]
//            [--work DIR] [--keep DIR] [--verbose]
//   zdb_fuzz --replay FILE...
// Exit code 0 when every mutant ended cleanly, 1 otherwise, 2 on a usage error.
#include <CLI/CLI.hpp>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/fuzz/FuzzChild.h"
#include "tests/fuzz/FuzzMutator.h"
#include "tests/fuzz/FuzzSeed.h"

namespace fs = std::filesystem;
using zdbfuzz::TChildOutcome;

namespace {

constexpr size_t OutputLinesShown = 60;

std::string NewWorkFolder() {
  std::error_code error;
  const fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string pattern = (base / "zdb-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a work folder");
  return pattern;
}

std::string LastLines(const std::string& text, size_t count) {
  size_t at = text.size();
  for (size_t lines = 0; at > 0 && lines <= count;) {
    --at;
    if (text[at] == '\n') ++lines;
  }
  return text.substr(at);
}

// Summaries are counted by their outcomes, not by how many rows were read.
std::string WithoutRowCount(std::string summary) {
  const size_t open = summary.find(" (");
  const size_t close = summary.find(')', open);
  if (open != std::string::npos && close != std::string::npos) summary.erase(open, close - open + 1);
  return summary;
}

// The mutant's file and whatever the repair left beside it go before the next one.
void ClearMutant(const fs::path& folder, const std::string& name) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().filename().string().rfind(name, 0) == 0) fs::remove_all(entry.path(), error);
}

void Report(const std::string& what, const TChildOutcome& outcome) {
  std::cout << "FAILED " << what << "\n  " << TChildOutcome::KindName(outcome.Kind) << ": " << outcome.Summary << '\n';
  if (!outcome.Output.empty()) std::cout << LastLines(outcome.Output, OutputLinesShown) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Runs mutated database files through open, read, check and repair."};
  int64_t seconds = 0;
  int64_t iterations = 0;
  uint64_t seed = 1;
  uint64_t first = 0;
  zdbfuzz::TChildLimits limits;
  std::string work;
  std::string keep;
  std::vector<std::string> replay;
  bool verbose = false;
  app.add_option("--seconds", seconds, "stop after this many seconds (0: no bound)");
  app.add_option("--iterations", iterations, "stop after this many mutants (0: no bound)");
  app.add_option("--seed", seed, "seed of the mutations");
  app.add_option("--first", first, "first iteration");
  app.add_option("--timeout", limits.TimeoutSeconds, "seconds one mutant may take");
  app.add_option("--work", work, "folder for the seed and the mutants");
  app.add_option("--keep", keep, "folder where failing mutants are kept");
  app.add_flag("--verbose", verbose, "print every mutant's outcome and the engine's errors");
  app.add_option("--replay", replay, "run these files instead of mutants")->check(CLI::ExistingFile);
  CLI11_PARSE(app, argc, argv);
  if (replay.empty() && seconds <= 0 && iterations <= 0) {
    std::cerr << "give --seconds or --iterations\n";
    return 2;
  }

  const bool ownWork = work.empty();
  if (ownWork) work = NewWorkFolder();
  fs::create_directories(work);
  if (keep.empty()) keep = (fs::path(work) / "failures").string();
  const std::string mutantName = "mutant.zdb";
  const std::string mutantPath = (fs::path(work) / mutantName).string();

  int failures = 0;
  if (!replay.empty()) {
    for (const std::string& file : replay) {
      ClearMutant(work, mutantName);
      fs::copy_file(file, mutantPath);
      const TChildOutcome outcome = zdbfuzz::RunPipelineInChild(mutantPath, work, limits);
      if (outcome.IsClean()) {
        std::cout << file << ": " << outcome.Summary << '\n' << outcome.Output;
      } else {
        ++failures;
        Report(file, outcome);
      }
    }
    if (ownWork) fs::remove_all(work);
    return failures == 0 ? 0 : 1;
  }

  const zdbfuzz::Bytes original = zdbfuzz::BuildSeedDatabase((fs::path(work) / "seed.zdb").string());
  const zdbfuzz::TFuzzMutator mutator(original);
  std::cout << "seed file: " << original.size() << " bytes; mutation seed " << seed << ", from iteration " << first
            << std::endl;

  const auto start = std::chrono::steady_clock::now();
  std::map<std::string, int64_t> summaries;
  int64_t done = 0;
  for (uint64_t iteration = first;; ++iteration) {
    if (iterations > 0 && done >= iterations) break;
    if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::seconds(seconds)) break;
    std::string mutations;
    const zdbfuzz::Bytes mutant = mutator.Mutate(seed, iteration, mutations);
    ClearMutant(work, mutantName);
    zdb::test::WriteBytes(mutantPath, mutant);
    const TChildOutcome outcome = zdbfuzz::RunPipelineInChild(mutantPath, work, limits);
    ++done;
    if (verbose)
      std::cout << "iteration " << iteration << ": " << mutations << "\n  " << outcome.Summary << '\n'
                << outcome.Output;
    if (outcome.IsClean()) {
      ++summaries[WithoutRowCount(outcome.Summary)];
      continue;
    }
    ++failures;
    fs::create_directories(keep);
    const std::string kept =
        (fs::path(keep) / ("seed" + std::to_string(seed) + "-iteration" + std::to_string(iteration) + ".zdb")).string();
    zdb::test::WriteBytes(kept, mutant);
    Report("seed " + std::to_string(seed) + " iteration " + std::to_string(iteration) + ": " + mutations, outcome);
    std::cout << "  again: zdb_fuzz --seed " << seed << " --first " << iteration << " --iterations 1\n"
              << "  kept as " << kept << std::endl;
  }

  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << done << " mutants in " << elapsed << " s, " << failures << " failed\n";
  for (const auto& [summary, count] : summaries) std::cout << "  " << count << "  " << summary << '\n';
  if (ownWork && failures == 0) fs::remove_all(work);
  return failures == 0 ? 0 : 1;
}
