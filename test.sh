#!/usr/bin/env bash
# Installs what is missing, builds Debug with ASan + UBSan, runs every test.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

BUILD_DIR=build/debug
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DZDB_SANITIZE=ON -DZDB_WERROR=ON -DZDB_BUILD_TESTS=ON >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" "$@"
