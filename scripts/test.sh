#!/usr/bin/env bash
# Builds and runs every test: the sanitizer build (ASan + UBSan), the threaded
# tests again under ThreadSanitizer, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

# Formatting first: a fault there fails in seconds, not after the build.
./scripts/check-format.sh

export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}"
jobs="$(nproc)"

cmake --preset test >/dev/null
cmake --build build/test -j "$jobs"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
ctest --test-dir build/test -j "$jobs" --output-on-failure | tee "$log"

cmake --preset tsan >/dev/null
cmake --build build/tsan -j "$jobs" --target threaded_tests
ctest --test-dir build/tsan -j "$jobs" --output-on-failure -L threaded | tee -a "$log"

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_targets
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  # New inputs go to a scratch copy; the seeds in the tree stay as committed.
  corpus="build/fuzz/corpus/${name#fuzz_}"
  rm -rf "$corpus" && mkdir -p "$corpus"
  seeds="fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds/." "$corpus/"
  echo "fuzzing $name for 15 s"
  "$target" -max_total_time=15 -print_final_stats=0 -close_fd_mask=3 "$corpus" \
    >"build/fuzz/$name.log" 2>&1 ||
    { tail -40 "build/fuzz/$name.log"; echo "fuzz target $name failed"; exit 1; }
done
echo "fuzz targets: all clean"

# One closing line for all test runs.
awk '/tests passed, [0-9]+ tests failed out of/ { total += $NF; failed += $4 }
     END { printf "%d passed, %d failed\n", total - failed, failed }' "$log"
