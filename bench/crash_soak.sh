#!/usr/bin/env bash
# Kills writers at random moments many times over (single-user and multi-user) and checks
# that no acknowledged row is lost and every file checks clean. Usage: crash_soak.sh [KILLS]
# (default 30 per mode). Runs the debug test build that ./test.sh makes.
set -euo pipefail
cd "$(dirname "$0")/.."
KILLS="${1:-30}"
BUILD_DIR=build/debug
if [ ! -x "$BUILD_DIR/tests/engine/table/engine_table_writer_kill_multiprocess_crash_test" ]; then
  ./scripts/install-deps.sh
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZDB_SANITIZE=ON -DZDB_BUILD_TESTS=ON >/dev/null
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target engine_table_writer_kill_multiprocess_crash_test
fi
ZDB_KILL_ROUNDS="$KILLS" "$BUILD_DIR/tests/engine/table/engine_table_writer_kill_multiprocess_crash_test"
