// What a power cut can leave of a folder's files, rebuilt from the files as they were
// before a run and the log an os::RecordingFileSystem kept of the run.
//
// The disk it models: a file's bytes and size are durable up to its last Flush. Of the
// writes and size changes made to it since, a cut may keep any subset, each landing as
// it was made, in the log's order; a write may be torn, kept only up to a 512-byte
// sector boundary. A name made by Create, Rename or Copy is durable at once (the POSIX
// layer flushes the folder); a Delete stays undoable until the next of those in the
// folder, and an undone delete brings the file back with bytes chosen by the same rule.
// Only the files directly in the folder are rebuilt; temporary files are not.
//
// A cut is a position in the log (the calls before it were made), a kind and a seed:
// the same log and cut always give the same files, so a failure can be replayed from
// what its message prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/os/RecordingFileSystem.h"

namespace zdbtest {

using FileBytes = std::vector<uint8_t>;

// A folder's files by name.
struct FolderImage {
  std::map<std::string, FileBytes> files;

  static FolderImage Take(const std::string& folder);
  // Leaves the folder holding exactly these files.
  void WriteInto(const std::string& folder) const;
};

enum class CutKind : uint8_t {
  Ordered,      // every call before the cut reached the disk, in order
  DurableOnly,  // only what a flush made durable; every undoable delete undone
  TornLast,     // ordered, but the last call, a write, torn at a sector boundary
  Scrambled,    // of each file's unflushed changes a random subset of the oldest, the newest or
                // all, some torn; deletes undone at random
};

struct PowerCut {
  size_t position = 0;
  CutKind kind = CutKind::Ordered;
  uint64_t seed = 0;
};

// "power cut after 57 calls (scrambled, seed 0x1f2e)"
std::string Describe(const PowerCut& cut);

// A small generator whose sequence is the same on every machine.
class SeededRandom {
 public:
  explicit SeededRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform enough in [0, bound) for choosing among a few cases; bound > 0.
  uint64_t Below(uint64_t bound) { return Next() % bound; }

 private:
  uint64_t state_;
};

class PowerCutReplayer {
 public:
  static constexpr int64_t SectorSize = 512;

  PowerCutReplayer(const std::string& folder, FolderImage before, std::vector<os::FileCall> calls);

  size_t CallCount() const { return calls_.size(); }
  const std::vector<os::FileCall>& Calls() const { return calls_; }

  // The folder's files after a power cut at that point.
  FolderImage StateAt(const PowerCut& cut) const;

  // The positions just before each flush of a file of the folder that has unflushed
  // changes: a cut there finds the most left to lose.
  std::vector<size_t> FlushPositions() const;
  // The positions just after each write to a file of the folder that spans a sector
  // boundary: a cut there can tear it.
  std::vector<size_t> TearablePositions() const;
  // The positions just after each write or size change to a file of the folder.
  std::vector<size_t> ChangePositions() const;

  // The calls around the position, one a line, the cut marked: for failure messages.
  std::string CallsAround(size_t position, size_t before = 12, size_t after = 4) const;

 private:
  struct Simulation;
  // What each call acts on, resolved once from the log's order of names and handles:
  // the file it changes or names, and for a copy the file copied.
  struct Target {
    int64_t file = -1;
    int64_t source = -1;
    std::string name;    // the name in the folder it concerns (Rename, Copy: the new one)
    std::string oldName; // Rename: the name it had, when that was in the folder
  };

  void Resolve();
  bool InFolder(const std::string& path, std::string& name) const;
  void Replay(Simulation& simulation, size_t end) const;

  std::string folder_;
  FolderImage before_;
  std::vector<os::FileCall> calls_;
  std::vector<Target> targets_;
  size_t fileCount_ = 0;
  std::vector<size_t> flushPositions_;
};

}  // namespace zdbtest
