// Counts the flushes to disk (fsync and fdatasync) that the process makes, whichever
// library makes them: the benchmark defines both calls itself, counts, and passes each on
// to the C library's own.
#pragma once

#include <cstdint>

namespace bench {

int64_t FlushCount();

}  // namespace bench
