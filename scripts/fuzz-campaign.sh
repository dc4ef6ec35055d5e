#!/usr/bin/env bash
# A long fuzzing campaign: every fuzz target (or those named) for SECONDS each,
# ten minutes by default. Whatever a target finds (a crash, a leak, a time-out)
# is kept as a named regression input in fuzz/corpus/<target>/, which the short
# fuzz run of ./scripts/test.sh replays from then on; commit it with the fix.
#   ./scripts/fuzz-campaign.sh [-t SECONDS] [fuzz_TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
if [ "${1:-}" = "-t" ]; then
  seconds="$2"
  shift 2
fi
./scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build build/fuzz

targets=()
if [ $# -gt 0 ]; then
  for name in "$@"; do targets+=("build/fuzz/fuzz/$name"); done
else
  for target in build/fuzz/fuzz/fuzz_*; do [ -x "$target" ] && targets+=("$target"); done
fi

found=0
printf '%-24s %8s %12s  %s\n' target seconds runs result
for target in "${targets[@]}"; do
  name="$(basename "$target")"
  short="${name#fuzz_}"
  work="build/fuzz/campaign/$short"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
  [ -d "fuzz/corpus/$short" ] && cp -r "fuzz/corpus/$short/." "$work/corpus/"
  result=clean
  if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=3 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    result="FOUND (log: $work/log)"
    found=1
    mkdir -p "fuzz/corpus/$short"
    for artifact in "$work/artifacts"/*; do
      [ -f "$artifact" ] || continue
      kind="$(basename "$artifact" | cut -d- -f1)"
      hash="$(sha1sum "$artifact" | cut -c1-12)"
      cp "$artifact" "fuzz/corpus/$short/regression-$kind-$hash"
      result="$result, kept as fuzz/corpus/$short/regression-$kind-$hash"
    done
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)"
  printf '%-24s %8s %12s  %s\n' "$name" "$seconds" "${runs:-?}" "$result"
done
exit "$found"
