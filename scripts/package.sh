#!/usr/bin/env bash
# Builds the release, the .deb and checks it with Debian's own tools:
#   ./scripts/package.sh          -> build/release/mrx520_VERSION_ARCH.deb
# Install it with `sudo apt install ./build/release/mrx520_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
tools=(dpkg-dev lintian desktop-file-utils appstream)
if ! dpkg-query -W -f='${Status}\n' "${tools[@]}" 2>/dev/null | grep -qv "install ok installed" &&
   [ "$(dpkg-query -W -f='${Status}\n' "${tools[@]}" 2>/dev/null | wc -l)" -eq ${#tools[@]} ]; then
  :
else
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${tools[@]}"
fi
cmake --preset release >/dev/null
cmake --build build/release
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls -t build/release/mrx520_*.deb | head -1)
echo "package: $deb"
desktop-file-validate packaging/*.desktop
appstreamcli validate --no-net packaging/*.metainfo.xml
# Errors fail the script; warnings are printed for whoever reads along.
lintian --fail-on error --suppress-tags no-manual-page "$deb"
