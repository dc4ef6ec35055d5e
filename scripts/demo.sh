#!/usr/bin/env bash
# The main job: builds the programs, starts the simulated unit when no unit is
# attached, lists its modules, and runs myMRX against it: its window where a
# display exists, else pictures of its tabs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >/dev/null

export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}"
cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target mrx520-sim mrxctl myMRX >/dev/null

bin=build/release
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null; true; }
trap cleanup EXIT

if ! "$bin/tools/mrxctl/mrxctl" status >/dev/null 2>&1; then
  echo "No unit attached: starting the simulated MRX520."
  "$bin/sim/mrx520-sim" &
  sim_pid=$!
  for _ in $(seq 100); do
    "$bin/tools/mrxctl/mrxctl" status >/dev/null 2>&1 && break
    sleep 0.05
  done
fi

"$bin/tools/mrxctl/mrxctl" discover

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting myMRX; close its window to end."
  "$bin/desktop/shell/myMRX" "$@"
else
  shots="$PWD/build/screenshots"
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  QT_QPA_PLATFORM=offscreen MRX_SCREENSHOTS="$shots" "$bin/desktop/shell/myMRX" "$@" 2>/dev/null
  echo "No display: myMRX drew its tabs to"
  ls -1 "$shots"/*.png | sed 's/^/  /'
fi
