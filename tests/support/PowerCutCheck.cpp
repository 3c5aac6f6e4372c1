#include "tests/support/PowerCutCheck.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "tests/support/PowerCutReplayer.h"
#include "tests/support/PowerCutSchedule.h"
#include "tests/support/ScratchFolder.h"

namespace zdbtest {
namespace {

constexpr size_t MaxFailures = 3;
constexpr const char* DatabaseName = "power.zdb";
// Keeps the recovery's cuts from repeating the choices of the cut they recover.
constexpr uint64_t RecoverySalt = 0xC0FFEE;

std::string Summary(const Content& content) {
  constexpr size_t Shown = 8;
  std::ostringstream text;
  text << content.size() << " values:";
  for (size_t i = 0; i < content.size(); ++i) {
    if (i == Shown && content.size() > 2 * Shown) {
      text << " ...";
      i = content.size() - Shown;
    }
    text << ' ' << content[i];
  }
  return text.str();
}

std::string Listed(const Content& values) {
  constexpr size_t Shown = 10;
  std::ostringstream text;
  for (size_t i = 0; i < values.size() && i < Shown; ++i) text << (i == 0 ? "" : " ") << values[i];
  if (values.size() > Shown) text << " ... (" << values.size() << ")";
  return text.str();
}

// What the found content lacks and has too many of, against an expected state.
std::string Differences(const Content& found, const Content& expected) {
  Content missing;
  Content unexpected;
  std::set_difference(expected.begin(), expected.end(), found.begin(), found.end(), std::back_inserter(missing));
  std::set_difference(found.begin(), found.end(), expected.begin(), expected.end(), std::back_inserter(unexpected));
  if (missing.empty() && unexpected.empty()) return "the same";
  return "missing [" + Listed(missing) + "], unexpected [" + Listed(unexpected) + "]";
}

std::string Problems(std::string soundness) {
  while (!soundness.empty() && soundness.back() == '\n') soundness.pop_back();
  return soundness.empty() ? "" : "unsound file: " + soundness;
}

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an exception that is not a std::exception";
  }
}

class Checker {
 public:
  Checker(PowerCutWorkload& workload, const PowerCutSettings& settings)
      : workload_(workload), settings_(settings), recorder_(os::FileSystem::Default()), marks_(recorder_) {}

  std::vector<std::string> Run() {
    const std::string path = run_.File(DatabaseName);
    workload_.Prepare(path);
    const FolderImage before = FolderImage::Take(run_.Path());
    try {
      workload_.Run(path, recorder_, marks_);
    } catch (...) {
      // The cuts up to the failure still tell what the file can be left as.
      failures_.push_back("the recorded run failed: " + ErrorText(std::current_exception()));
    }
    states_ = workload_.States();
    const PowerCutReplayer replayer(run_.Path(), before, recorder_.Calls());

    std::vector<PowerCut> cuts = {{replayer.CallCount(), CutKind::Ordered, 0}};
    const std::vector<PowerCut> chosen = ChooseCuts(replayer, settings_.states, settings_.seed);
    cuts.insert(cuts.end(), chosen.begin(), chosen.end());
    for (const PowerCut& cut : cuts) {
      if (failures_.size() >= MaxFailures) break;
      CheckCut(replayer, cut);
    }
    return failures_;
  }

 private:
  void CheckCut(const PowerCutReplayer& replayer, const PowerCut& cut) {
    const FolderImage image = replayer.StateAt(cut);
    image.WriteInto(state_.Path());
    const auto [first, last] = marks_.Allowed(cut.position);
    os::RecordingFileSystem recovery(os::FileSystem::Default());
    const Observation found = workload_.Observe(state_.File(DatabaseName), recovery);
    std::string problem = found.problem;
    if (problem.empty() && !Allowed(found.content, first, last)) problem = "the file holds no state it may show";
    if (problem.empty()) problem = Problems(workload_.Soundness(state_.File(DatabaseName)));
    if (!problem.empty()) {
      failures_.push_back(Report(Describe(cut), problem, found, first, last, replayer.CallsAround(cut.position)));
      return;
    }

    // The recovery cut short in turn must recover to the same content.
    const PowerCutReplayer recovered(state_.Path(), image, recovery.Calls());
    if (recovered.FlushPositions().empty()) return;
    for (const PowerCut& inner : ChooseCuts(recovered, settings_.recoveryCuts, cut.seed ^ RecoverySalt)) {
      recovered.StateAt(inner).WriteInto(again_.Path());
      const Observation refound = workload_.Observe(again_.File(DatabaseName), os::FileSystem::Default());
      problem = refound.problem;
      if (problem.empty() && refound.content != found.content)
        problem = "the recovery, cut short and run again, ends elsewhere than the whole recovery (" +
                  Summary(found.content) + ")";
      if (problem.empty()) problem = Problems(workload_.Soundness(again_.File(DatabaseName)));
      if (!problem.empty()) {
        failures_.push_back(Report(Describe(cut) + ", then during its recovery a " + Describe(inner), problem, refound,
                                   first, last,
                                   replayer.CallsAround(cut.position) + "  and the recovery's calls:\n" +
                                       recovered.CallsAround(inner.position)));
        return;
      }
    }
  }

  bool Allowed(const Content& content, size_t first, size_t last) const {
    for (size_t state = first; state <= last && state < states_.size(); ++state) {
      if (states_[state] == content) return true;
    }
    return false;
  }

  std::string Report(const std::string& cut, const std::string& problem, const Observation& found, size_t first,
                     size_t last, const std::string& calls) const {
    std::ostringstream text;
    text << cut << ": " << problem << "\n";
    text << "  found " << Summary(found.content) << "\n";
    for (size_t state = first; state <= last && state < states_.size(); ++state)
      text << "  against state " << state << " of " << states_.size() - 1 << ": "
           << Differences(found.content, states_[state]) << "\n";
    text << "  replay with " << settings_.Replay() << "\n";
    text << calls;
    return text.str();
  }

  PowerCutWorkload& workload_;
  const PowerCutSettings& settings_;
  ScratchFolder run_;
  ScratchFolder state_;
  ScratchFolder again_;
  os::RecordingFileSystem recorder_;
  CommitMarks marks_;
  std::vector<Content> states_;
  std::vector<std::string> failures_;
};

}  // namespace

// --- commit marks ---------------------------------------------------------------------------

void CommitMarks::Begins(size_t state) {
  marks_.push_back({recorder_.Mark("commit to state " + std::to_string(state) + " begins"), state, false});
}

void CommitMarks::Acknowledged(size_t state) {
  marks_.push_back({recorder_.Mark("commit to state " + std::to_string(state) + " acknowledged"), state, true});
}

std::pair<size_t, size_t> CommitMarks::Allowed(size_t position) const {
  size_t acknowledged = 0;
  size_t begun = 0;
  for (const Mark& mark : marks_) {
    if (mark.position >= position) continue;
    if (mark.acknowledged) acknowledged = std::max(acknowledged, mark.state);
    begun = std::max(begun, mark.state);
  }
  return {acknowledged, std::max(acknowledged, begun)};
}

// --- settings -------------------------------------------------------------------------------

PowerCutSettings PowerCutSettings::FromEnvironment(size_t defaultStates) {
  PowerCutSettings settings;
  settings.states = defaultStates;
  if (const char* states = std::getenv("ZDB_POWER_CUT_STATES"); states != nullptr && *states != '\0')
    settings.states = std::strtoull(states, nullptr, 0);
  if (const char* seed = std::getenv("ZDB_POWER_CUT_SEED"); seed != nullptr && *seed != '\0')
    settings.seed = std::strtoull(seed, nullptr, 0);
  settings.recoveryCuts += settings.states / 64;
  return settings;
}

std::string PowerCutSettings::Replay() const {
  std::ostringstream text;
  text << "ZDB_POWER_CUT_STATES=" << states << " ZDB_POWER_CUT_SEED=0x" << std::hex << seed;
  return text.str();
}

std::vector<std::string> CheckPowerCuts(PowerCutWorkload& workload, const PowerCutSettings& settings) {
  return Checker(workload, settings).Run();
}

}  // namespace zdbtest
