#!/usr/bin/env bash
# Installs the Debian packages the build needs. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev libbluetooth-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libgif-dev libpng-dev fonts-dejavu-core imagemagick
  clang libclang-rt-14-dev clang-format clang-tidy libcli11-dev nlohmann-json3-dev
  librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
