#!/usr/bin/env bash
# Cuts the power many times over in every power-cut workload, single- and multi-user: each
# workload's run is recorded once, then STATES cuts of it (and more cuts of each recovery)
# are rebuilt, recovered and checked. Usage: power_cut.sh [STATES] (default 400 per
# workload); ZDB_POWER_CUT_SEED=<number> tries other cuts. Runs the debug test build that
# ./test.sh makes.
set -euo pipefail
cd "$(dirname "$0")/.."
STATES="${1:-400}"
BUILD_DIR=build/debug
TESTS=(tests/engine/table/engine_table_power_cut_crash_test tests/engine/file/engine_file_disk_power_cut_test)
missing=()
for test in "${TESTS[@]}"; do
  [ -x "$BUILD_DIR/$test" ] || missing+=("$(basename "$test")")
done
if ((${#missing[@]})); then
  ./scripts/install-deps.sh
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZDB_SANITIZE=ON -DZDB_WERROR=ON \
        -DZDB_BUILD_TESTS=ON >/dev/null
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${missing[@]}"
fi
status=0
for test in "${TESTS[@]}"; do
  ZDB_POWER_CUT_STATES="$STATES" "$BUILD_DIR/$test" || status=1
done
exit "$status"
