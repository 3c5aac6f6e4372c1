// Which power cuts a test tries of a recorded run when it cannot try them all: the most
// telling first, so that a short run already catches what a long one would.
//
// A cut just before a flush can leave every state that a cut anywhere since the previous
// flush can (its unflushed changes include theirs), so the cuts go there, and after the
// whole run. First the cut after the whole run with only the flushed bytes (what an
// acknowledged commit must survive); then one cut before each flush that has something
// to lose, in a seeded order, alternating "durable only" and "scrambled"; then the other
// kind before each flush; then a scrambled cut after the whole run. Any further cuts
// asked for take turns: two scrambled cuts before a random flush (or after the run), a
// torn write, an ordered prefix after a random change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/PowerCutReplayer.h"

namespace zdbtest {

std::vector<PowerCut> ChooseCuts(const PowerCutReplayer& replayer, size_t count, uint64_t seed);

}  // namespace zdbtest
