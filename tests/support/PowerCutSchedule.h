// Which power cuts a test tries of a recorded run when it cannot try them all: the most
// telling first, so that a short run already catches what a long one would.
//
// First the cut after the whole run with only the flushed bytes (what an acknowledged
// commit must survive); then one cut before each flush that has something to lose, in a
// seeded order, alternating "durable only" and "scrambled"; then torn writes; then the
// other kind before each flush; then ordered prefixes after each change; then as many
// scrambled cuts at random places as are asked for beyond those.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/PowerCutReplayer.h"

namespace zdbtest {

std::vector<PowerCut> ChooseCuts(const PowerCutReplayer& replayer, size_t count, uint64_t seed);

}  // namespace zdbtest
