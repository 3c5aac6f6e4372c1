#!/usr/bin/env bash
# Installs what is missing, builds Release and starts the calculator with the supplied
# database next to it. Without a display it writes a screenshot of a sample calculation.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

BUILD_DIR=build/release
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZDB_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target calculo-demora

# The build puts the supplied Zelmarot.zdb next to the program (never over a user's own).
EXE="$BUILD_DIR/ui/calculo-demora"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  SHOT="build/calculo-demora.png"
  QT_QPA_PLATFORM=offscreen "$EXE" --screenshot "$SHOT"
  echo "Sin pantalla: captura de un cálculo de ejemplo en $SHOT"
  echo "No display: screenshot of a sample calculation written to $SHOT"
  exit 0
fi
exec "$EXE"
