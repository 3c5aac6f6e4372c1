#include "tests/support/PowerCutReplayer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace zdbtest {

namespace {

using os::FileCall;
using Kind = FileCall::Kind;

FileBytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return FileBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The sector boundaries strictly inside a write: the places it can be torn.
struct TearRange {
  int64_t first = 0;
  int64_t count = 0;
};

TearRange TearRangeOf(const FileCall& write) {
  constexpr int64_t Sector = PowerCutReplayer::SectorSize;
  const int64_t end = write.position + static_cast<int64_t>(write.bytes.size());
  TearRange range;
  range.first = (write.position / Sector + 1) * Sector;
  if (range.first < end) range.count = (end - 1 - range.first) / Sector + 1;
  return range;
}

// Applies a write or a size change; a torn write keeps its bytes up to keptEnd only.
void Apply(FileBytes& bytes, const FileCall& call, int64_t keptEnd = -1) {
  if (call.kind == Kind::SetSize) {
    bytes.resize(static_cast<size_t>(call.position));
    return;
  }
  size_t count = call.bytes.size();
  if (keptEnd >= 0) count = static_cast<size_t>(keptEnd - call.position);
  const size_t start = static_cast<size_t>(call.position);
  if (bytes.size() < start + count) bytes.resize(start + count);
  std::copy_n(call.bytes.begin(), count, bytes.begin() + static_cast<std::ptrdiff_t>(start));
}

const char* KindName(CutKind kind) {
  switch (kind) {
    case CutKind::Ordered: return "ordered";
    case CutKind::DurableOnly: return "durable only";
    case CutKind::TornLast: return "last write torn";
    case CutKind::Scrambled: return "scrambled";
  }
  return "?";
}

}  // namespace

// --- the folder's files ---------------------------------------------------------------------

FolderImage FolderImage::Take(const std::string& folder) {
  FolderImage image;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) image.files[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return image;
}

void FolderImage::WriteInto(const std::string& folder) const {
  std::filesystem::create_directories(folder);
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) std::filesystem::remove(entry.path());
  }
  for (const auto& [name, bytes] : files) {
    std::ofstream out(std::filesystem::path(folder) / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + name + " into " + folder);
  }
}

// --- cuts -----------------------------------------------------------------------------------

std::string Describe(const PowerCut& cut) {
  std::ostringstream text;
  text << "power cut after " << cut.position << " calls (" << KindName(cut.kind);
  if (cut.kind == CutKind::Scrambled || cut.kind == CutKind::TornLast) text << ", seed 0x" << std::hex << cut.seed;
  text << ")";
  return text.str();
}

uint64_t SeededRandom::Next() {
  // SplitMix64: tiny, and the same numbers everywhere.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// --- the replay -----------------------------------------------------------------------------

struct PowerCutReplayer::Simulation {
  struct File {
    FileBytes latest;               // every change made so far
    FileBytes durable;              // as the last flush left it
    std::vector<size_t> unflushed;  // the changes since, as positions in the log
  };
  std::vector<File> files;
  std::map<std::string, int64_t> names;
  // Deletes no folder flush has made durable yet, oldest first.
  std::vector<std::pair<std::string, int64_t>> undoableDeletes;
};

PowerCutReplayer::PowerCutReplayer(const std::string& folder, FolderImage before, std::vector<os::FileCall> calls)
    : folder_(std::filesystem::path(folder).lexically_normal().string()),
      before_(std::move(before)),
      calls_(std::move(calls)) {
  Resolve();
}

bool PowerCutReplayer::InFolder(const std::string& path, std::string& name) const {
  if (path.empty()) return false;
  const std::filesystem::path normal = std::filesystem::path(path).lexically_normal();
  if (normal.parent_path().string() != folder_) return false;
  name = normal.filename().string();
  return true;
}

void PowerCutReplayer::Resolve() {
  std::map<std::string, int64_t> names;
  for (const auto& entry : before_.files) names[entry.first] = static_cast<int64_t>(fileCount_++);
  std::map<uint64_t, int64_t> handles;
  std::vector<size_t> unflushed(fileCount_, 0);
  const auto newFile = [&] {
    unflushed.push_back(0);
    return static_cast<int64_t>(fileCount_++);
  };
  const auto named = [&](const std::string& name) {
    const auto it = names.find(name);
    return it == names.end() ? int64_t{-1} : it->second;
  };

  targets_.resize(calls_.size());
  for (size_t i = 0; i < calls_.size(); ++i) {
    const FileCall& call = calls_[i];
    Target& target = targets_[i];
    if (!call.succeeded) continue;
    std::string name;
    switch (call.kind) {
      case Kind::Create:
        if (InFolder(call.path, name)) {
          target.file = newFile();
          target.name = name;
          names[name] = target.file;
        }
        handles[call.handle] = target.file;
        break;
      case Kind::Open:
        handles[call.handle] = InFolder(call.path, name) ? named(name) : -1;
        break;
      case Kind::Delete:
        if (InFolder(call.path, name) && (target.file = named(name)) >= 0) {
          target.name = name;
          names.erase(name);
        }
        break;
      case Kind::Rename:
        if (InFolder(call.path, target.oldName)) {
          target.file = named(target.oldName);
          names.erase(target.oldName);
        }
        if (InFolder(call.target, target.name)) {
          // A file moved in from elsewhere is not followed.
          if (target.file >= 0)
            names[target.name] = target.file;
          else
            names.erase(target.name);
        }
        break;
      case Kind::Copy:
        if (InFolder(call.target, target.name)) {
          if (InFolder(call.path, name)) target.source = named(name);
          target.file = newFile();
          names[target.name] = target.file;
        }
        break;
      case Kind::Write:
      case Kind::SetSize:
      case Kind::Flush: {
        const auto it = handles.find(call.handle);
        target.file = it == handles.end() ? -1 : it->second;
        if (target.file < 0) break;
        size_t& pending = unflushed[static_cast<size_t>(target.file)];
        if (call.kind != Kind::Flush) {
          ++pending;
        } else {
          if (pending > 0) flushPositions_.push_back(i);
          pending = 0;
        }
        break;
      }
      case Kind::Mark:
        break;
    }
  }
}

void PowerCutReplayer::Replay(Simulation& simulation, size_t end) const {
  simulation.files.assign(fileCount_, {});
  int64_t id = 0;
  for (const auto& [name, bytes] : before_.files) {
    simulation.files[static_cast<size_t>(id)].latest = bytes;
    simulation.files[static_cast<size_t>(id)].durable = bytes;
    simulation.names[name] = id++;
  }
  for (size_t i = 0; i < end && i < calls_.size(); ++i) {
    const FileCall& call = calls_[i];
    const Target& target = targets_[i];
    if (!call.succeeded) continue;
    switch (call.kind) {
      case Kind::Create:
        if (target.file < 0) break;
        simulation.names[target.name] = target.file;
        simulation.undoableDeletes.clear();
        break;
      case Kind::Delete:
        if (target.file < 0) break;
        simulation.names.erase(target.name);
        simulation.undoableDeletes.emplace_back(target.name, target.file);
        break;
      case Kind::Rename:
        if (!target.oldName.empty()) simulation.names.erase(target.oldName);
        if (!target.name.empty()) {
          if (target.file >= 0)
            simulation.names[target.name] = target.file;
          else
            simulation.names.erase(target.name);
        }
        if (!target.oldName.empty() || !target.name.empty()) simulation.undoableDeletes.clear();
        break;
      case Kind::Copy: {
        if (target.file < 0) break;
        Simulation::File& copy = simulation.files[static_cast<size_t>(target.file)];
        if (target.source >= 0) copy.latest = simulation.files[static_cast<size_t>(target.source)].latest;
        copy.durable = copy.latest;  // the copy flushes its bytes
        simulation.names[target.name] = target.file;
        simulation.undoableDeletes.clear();
        break;
      }
      case Kind::Write:
      case Kind::SetSize: {
        if (target.file < 0) break;
        Simulation::File& file = simulation.files[static_cast<size_t>(target.file)];
        Apply(file.latest, call);
        file.unflushed.push_back(i);
        break;
      }
      case Kind::Flush: {
        if (target.file < 0) break;
        Simulation::File& file = simulation.files[static_cast<size_t>(target.file)];
        file.durable = file.latest;
        file.unflushed.clear();
        break;
      }
      case Kind::Open:
      case Kind::Mark:
        break;
    }
  }
}

FolderImage PowerCutReplayer::StateAt(const PowerCut& cut) const {
  const size_t position = std::min(cut.position, calls_.size());
  Simulation simulation;
  SeededRandom random(cut.seed);
  // Each file's bytes after the cut, by its number.
  std::map<int64_t, FileBytes> contents;

  const bool tearsLast = cut.kind == CutKind::TornLast && position > 0 &&
                         calls_[position - 1].kind == Kind::Write && calls_[position - 1].succeeded &&
                         targets_[position - 1].file >= 0 && TearRangeOf(calls_[position - 1]).count > 0;
  if (tearsLast) {
    Replay(simulation, position - 1);
    const FileCall& write = calls_[position - 1];
    const TearRange range = TearRangeOf(write);
    Apply(simulation.files[static_cast<size_t>(targets_[position - 1].file)].latest, write,
          range.first + PowerCutReplayer::SectorSize * static_cast<int64_t>(random.Below(static_cast<uint64_t>(range.count))));
  } else {
    Replay(simulation, position);
  }

  switch (cut.kind) {
    case CutKind::Ordered:
    case CutKind::TornLast:
      for (size_t id = 0; id < simulation.files.size(); ++id)
        contents[static_cast<int64_t>(id)] = simulation.files[id].latest;
      break;
    case CutKind::DurableOnly:
      for (size_t id = 0; id < simulation.files.size(); ++id)
        contents[static_cast<int64_t>(id)] = simulation.files[id].durable;
      for (auto it = simulation.undoableDeletes.rbegin(); it != simulation.undoableDeletes.rend(); ++it)
        simulation.names.emplace(it->first, it->second);
      break;
    case CutKind::Scrambled: {
      for (size_t id = 0; id < simulation.files.size(); ++id) {
        // Each file's write-back is its own. Uniform subsets alone would almost always
        // show the last version of a page written many times, so the changes that may
        // land are a window first: the oldest ones up to a point (the write-back got so
        // far), the newest ones from a point (they overtook the older ones), or all; of
        // the window a random share.
        const std::vector<size_t>& unflushed = simulation.files[id].unflushed;
        const size_t count = unflushed.size();
        const uint64_t point = random.Below(count + 1);
        size_t from = 0;
        size_t to = count;
        switch (random.Below(3)) {
          case 0: to = point; break;
          case 1: from = point; break;
          default: break;
        }
        const uint64_t keptInFour = 1 + random.Below(4);
        FileBytes bytes = simulation.files[id].durable;
        for (size_t k = from; k < to; ++k) {
          const size_t change = unflushed[k];
          if (random.Below(4) >= keptInFour) continue;
          const FileCall& call = calls_[change];
          const TearRange range = call.kind == Kind::Write ? TearRangeOf(call) : TearRange{};
          if (range.count > 0 && random.Below(4) == 0) {
            Apply(bytes, call,
                  range.first + SectorSize * static_cast<int64_t>(random.Below(static_cast<uint64_t>(range.count))));
          } else {
            Apply(bytes, call);
          }
        }
        contents[static_cast<int64_t>(id)] = std::move(bytes);
      }
      for (auto it = simulation.undoableDeletes.rbegin(); it != simulation.undoableDeletes.rend(); ++it) {
        if (random.Below(2) == 0) simulation.names.emplace(it->first, it->second);
      }
      break;
    }
  }

  FolderImage image;
  for (const auto& [name, id] : simulation.names) image.files[name] = contents[id];
  return image;
}

std::vector<size_t> PowerCutReplayer::FlushPositions() const { return flushPositions_; }

std::vector<size_t> PowerCutReplayer::TearablePositions() const {
  std::vector<size_t> positions;
  for (size_t i = 0; i < calls_.size(); ++i) {
    if (calls_[i].kind == Kind::Write && calls_[i].succeeded && targets_[i].file >= 0 &&
        TearRangeOf(calls_[i]).count > 0)
      positions.push_back(i + 1);
  }
  return positions;
}

std::vector<size_t> PowerCutReplayer::ChangePositions() const {
  std::vector<size_t> positions;
  for (size_t i = 0; i < calls_.size(); ++i) {
    if ((calls_[i].kind == Kind::Write || calls_[i].kind == Kind::SetSize) && calls_[i].succeeded &&
        targets_[i].file >= 0)
      positions.push_back(i + 1);
  }
  return positions;
}

std::string PowerCutReplayer::CallsAround(size_t position, size_t before, size_t after) const {
  std::ostringstream text;
  const size_t first = position > before ? position - before : 0;
  const size_t end = std::min(calls_.size(), position + after);
  for (size_t i = first; i <= end; ++i) {
    if (i == position) text << "  ---- power cut ----\n";
    if (i < end) text << "  [" << i << "] " << os::Describe(calls_[i]) << "\n";
  }
  return text.str();
}

}  // namespace zdbtest
