#!/usr/bin/env bash
# Builds the benchmark against SQLite in Release and runs it: the same operations on the
# same rows through the table component (single-user and multi-user) and through SQLite,
# printed as a table with the ratios ZDB/SQLite.
#
#   bench/run.sh [ROWS] [--only sqlite|single|multi]
# ROWS is the main table's size (20000 unless given). The files lie in the build folder
# (a real disk, so that flushes cost what they cost) and are removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

BUILD_DIR=build/release-bench
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZDB_BUILD_BENCH=ON -DZDB_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target zdb_bench

exec "$BUILD_DIR/bench/zdb_bench" --dir "$BUILD_DIR/bench-data" "$@"
