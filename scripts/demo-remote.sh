#!/usr/bin/env bash
# The remote's demo: builds the programs, starts the simulated MRX520 with its
# simulated Bluetooth stack, and runs WavrixBTMS against it: its window where a
# display exists, else pictures of its view and menus.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >/dev/null

export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}"
cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target mrx520-sim WavrixBTMS >/dev/null

bin=build/release
runtime="$(mktemp -d)"
export MRX_RUNTIME_DIR="$runtime" WAVRIX_BLUETOOTH=sim
export WAVRIX_HANDHELD="${WAVRIX_HANDHELD:-$PWD/build/handheld}"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$runtime"
  true
}
trap cleanup EXIT

start_sim() {
  "$bin/sim/mrx520-sim" --runtime-dir "$runtime" "$@" >/dev/null 2>"$runtime/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    [ -e "$runtime/MRXUSBDevice0" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || { sim_pid=""; return 1; }
    sleep 0.05
  done
}
# The unit keeps its settings in the default state file, unless another
# simulator (./scripts/demo.sh's) holds that: then this one keeps none.
if ! start_sim; then
  cat "$runtime/sim.err" >&2
  echo "Starting a simulated unit that keeps no state instead." >&2
  start_sim --no-state
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting WavrixBTMS; choose the unit in the inquiry, close the window to end."
  "$bin/remote/ui/WavrixBTMS" "$@"
else
  shots="$PWD/build/screenshots-remote"
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  QT_QPA_PLATFORM=offscreen WAVRIX_SCREENSHOTS="$shots" "$bin/remote/ui/WavrixBTMS" "$@" 2>/dev/null
  echo "No display: WavrixBTMS drew its view and menus to"
  ls -1 "$shots"/*.png | sed 's/^/  /'
fi
