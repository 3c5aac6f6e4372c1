// The power-cut check of a database workload: the workload runs once through an
// os::RecordingFileSystem; then, for each chosen cut (PowerCutSchedule.h), the files the
// cut leaves (PowerCutReplayer.h) are written into a scratch folder and opened, which
// recovers them. What the open finds must be the state after some commit boundary at or
// after the last acknowledged commit before the cut (a commit under way may or may not
// show), with no repair asked for and a sound file. The recovery is itself recorded and
// cut in turn: the file that a cut recovery leaves must recover to the same content.
//
// It knows nothing of the engine: the workload makes, runs, reads and judges its file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/os/RecordingFileSystem.h"

namespace zdbtest {

// What a file holds as the workload reads it (the keys of its rows, the values of its
// pages), sorted.
using Content = std::vector<int64_t>;

struct Observation {
  Content content;
  // Empty when the open went well; otherwise what went wrong ("needs repair", an error).
  std::string problem;
};

// The commits of a recorded run, noted in its log. State 0 is the file before the run;
// the commit that leads to state n begins (maybe more than once, when retried) and is
// acknowledged when it returns success.
class CommitMarks {
 public:
  explicit CommitMarks(os::RecordingFileSystem& recorder) : recorder_(recorder) {}

  void Begins(size_t state);
  void Acknowledged(size_t state);
  // The states a cut at that position may show: from the last acknowledged one to the
  // last one begun.
  std::pair<size_t, size_t> Allowed(size_t position) const;

 private:
  struct Mark {
    size_t position;
    size_t state;
    bool acknowledged;
  };
  os::RecordingFileSystem& recorder_;
  std::vector<Mark> marks_;
};

class PowerCutWorkload {
 public:
  virtual ~PowerCutWorkload() = default;

  // Makes the database file as it is before the run (nothing of it is recorded).
  virtual void Prepare(const std::string& path) = 0;
  // The recorded run, every file call through fileSystem, its commits noted.
  virtual void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) = 0;
  // The content of state 0 (before the run) and of the state after each commit.
  virtual std::vector<Content> States() const = 0;
  // Opens the file through fileSystem (which recovers it), reads it and closes it.
  virtual Observation Observe(const std::string& path, os::FileSystem& fileSystem) = 0;
  // The problems of the file's structure, one a line; empty when it is sound.
  virtual std::string Soundness(const std::string& path) = 0;
};

struct PowerCutSettings {
  size_t states = 12;        // cuts of the run
  // Cuts of the recovery of each state that makes something durable: a recovery flushes
  // twice (the file, then its journal), so three cover the end and a cut before each.
  size_t recoveryCuts = 3;
  uint64_t seed = 0x5EED;
  // The defaults, unless ZDB_POWER_CUT_STATES / ZDB_POWER_CUT_SEED say otherwise; more
  // states also cut each recovery more.
  static PowerCutSettings FromEnvironment(size_t defaultStates);
  // "ZDB_POWER_CUT_STATES=12 ZDB_POWER_CUT_SEED=0x5eed", to replay a failure.
  std::string Replay() const;
};

// Checks the workload's power cuts; answers one text per failure (at most a few: the
// first ones tell the story).
std::vector<std::string> CheckPowerCuts(PowerCutWorkload& workload, const PowerCutSettings& settings);

// A workload as a test parameter: its name and how to make it for either mode.
struct PowerCutCase {
  const char* name;
  std::function<std::unique_ptr<PowerCutWorkload>(bool multiUser)> make;
};

template <typename Workload>
PowerCutCase MakePowerCutCase(const char* name) {
  return {name, [](bool multiUser) { return std::make_unique<Workload>(multiUser); }};
}

inline void PrintTo(const PowerCutCase& workload, std::ostream* out) { *out << workload.name; }

// "OneRowCommitsMultiUser": the test name of a workload and a mode.
inline std::string PowerCutCaseName(const std::tuple<PowerCutCase, bool>& parameter) {
  return std::string(std::get<0>(parameter).name) + (std::get<1>(parameter) ? "MultiUser" : "SingleUser");
}

}  // namespace zdbtest
