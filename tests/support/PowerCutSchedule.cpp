#include "tests/support/PowerCutSchedule.h"

#include <utility>

namespace zdbtest {
namespace {

void Shuffle(std::vector<size_t>& positions, SeededRandom& random) {
  for (size_t i = positions.size(); i > 1; --i) std::swap(positions[i - 1], positions[random.Below(i)]);
}

}  // namespace

std::vector<PowerCut> ChooseCuts(const PowerCutReplayer& replayer, size_t count, uint64_t seed) {
  SeededRandom random(seed);
  std::vector<PowerCut> cuts;
  const auto add = [&](size_t position, CutKind kind) {
    if (cuts.size() < count) cuts.push_back({position, kind, random.Next()});
  };
  const size_t end = replayer.CallCount();
  add(end, CutKind::DurableOnly);

  std::vector<size_t> flushes = replayer.FlushPositions();
  Shuffle(flushes, random);
  for (size_t i = 0; i < flushes.size(); ++i) add(flushes[i], i % 2 == 0 ? CutKind::DurableOnly : CutKind::Scrambled);
  for (size_t i = 0; i < flushes.size(); ++i) add(flushes[i], i % 2 == 0 ? CutKind::Scrambled : CutKind::DurableOnly);
  add(end, CutKind::Scrambled);

  flushes.push_back(end);
  const std::vector<size_t> tearable = replayer.TearablePositions();
  const std::vector<size_t> changes = replayer.ChangePositions();
  const auto any = [&](const std::vector<size_t>& positions) { return positions[random.Below(positions.size())]; };
  for (size_t turn = 0; cuts.size() < count; ++turn) {
    if (turn % 4 == 2 && !tearable.empty())
      add(any(tearable), CutKind::TornLast);
    else if (turn % 4 == 3 && !changes.empty())
      add(any(changes), CutKind::Ordered);
    else
      add(any(flushes), CutKind::Scrambled);
  }
  return cuts;
}

}  // namespace zdbtest
