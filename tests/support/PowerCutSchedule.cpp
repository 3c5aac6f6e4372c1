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
  std::vector<size_t> tearable = replayer.TearablePositions();
  Shuffle(tearable, random);
  for (const size_t position : tearable) add(position, CutKind::TornLast);
  for (size_t i = 0; i < flushes.size(); ++i) add(flushes[i], i % 2 == 0 ? CutKind::Scrambled : CutKind::DurableOnly);
  add(end, CutKind::Scrambled);
  std::vector<size_t> changes = replayer.ChangePositions();
  Shuffle(changes, random);
  for (const size_t position : changes) add(position, CutKind::Ordered);

  while (cuts.size() < count) add(static_cast<size_t>(random.Below(end + 1)), CutKind::Scrambled);
  return cuts;
}

}  // namespace zdbtest
