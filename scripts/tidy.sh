#!/usr/bin/env bash
# Runs clang-tidy with the root .clang-tidy (naming and bug-prone checks) on
# the files given, or else on the C++ files changed since main (committed or
# not). Reads the test build's compile_commands.json, configuring it if needed.
#   scripts/tidy.sh                      # changed files
#   scripts/tidy.sh sim/SimUnit.cpp ...  # these files
#   scripts/tidy.sh --all                # every source of the test build (many minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
tidy="$(command -v clang-tidy-14 || command -v clang-tidy || true)"
[ -n "$tidy" ] || { echo "tidy: clang-tidy is not installed (scripts/setup.sh installs it)" >&2; exit 69; }
[ -f build/test/compile_commands.json ] || cmake --preset test >/dev/null

if [ "${1:-}" = "--all" ]; then
  # The build's own sources (headers are checked through the files that include them).
  mapfile -t files < <(python3 -c '
import json, os, sys
root = os.getcwd() + "/"
for f in sorted({e["file"] for e in json.load(open("build/test/compile_commands.json"))}):
    if f.startswith(root) and not f.startswith(root + "build/"): print(f[len(root):])')
elif [ $# -gt 0 ]; then
  files=("$@")
else
  base="$(git merge-base HEAD main 2>/dev/null || git rev-parse HEAD)"
  mapfile -t files < <({ git diff --name-only --diff-filter=d "$base"; git ls-files --others --exclude-standard; } |
    grep -E '\.(cpp|h)$' | sort -u)
fi
if [ ${#files[@]} -eq 0 ]; then
  echo "tidy: no changed C++ files"
  exit 0
fi
echo "tidy: ${#files[@]} file(s)"
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 1 "$tidy" -p build/test --quiet
echo "tidy: clean"
