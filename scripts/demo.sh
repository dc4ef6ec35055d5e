#!/usr/bin/env bash
# The main job: builds the programs, starts the simulated unit when no unit is
# attached, and shows what mrxctl finds.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >/dev/null

export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}"
cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target mrx520-sim mrxctl >/dev/null

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
