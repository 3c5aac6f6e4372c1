#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; quick when all are present.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  zlib1g-dev libbz2-dev libcrypto++-dev libicu-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Instalando paquetes / installing packages: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
