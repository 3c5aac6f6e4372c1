#!/usr/bin/env bash
# A long fuzzing run of the open path: mutated database files through open, full read,
# check and repair, under AddressSanitizer and UndefinedBehaviorSanitizer (the Debug
# tree). Failing mutants are printed with their seed and iteration and kept in KEEP.
#
#   bench/fuzz.sh [SECONDS] [SEED] [ITERATIONS] [KEEP]
# SECONDS the run's length (3600 unless given; 0: bounded by ITERATIONS only), SEED the mutation seed
# (the current time unless given), ITERATIONS a bound on the mutants (0: none), KEEP the
# folder for failing mutants (bench/fuzz-failures unless given). Exit code 1 when any
# mutant failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-3600}
seed=${2:-$(date +%s)}
iterations=${3:-0}
keep=${4:-bench/fuzz-failures}

build=build/debug
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZDB_SANITIZE=ON -DZDB_WERROR=ON \
      -DZDB_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target zdb_fuzz

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/tests/fuzz/zdb_fuzz" --seconds "$seconds" --iterations "$iterations" --seed "$seed" --keep "$keep"
