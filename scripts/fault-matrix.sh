#!/usr/bin/env bash
# The whole fault matrix: every long operation (host, boot, card DSP and
# KLF310 updates, a KLF310 curve write, a remote block write, a settings
# restore) against the mrx520-sim program with each fault of its link, one
# fresh unit per cell.
# Prints the table (docs/fault-matrix.md says what each cell means) and exits
# non-zero when any cell is red. Cells can be named: --cell host:lost ...
# (--list names them all).
#   ./scripts/fault-matrix.sh [--cell ROW:COLUMN ...]
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset test >/dev/null
cmake --build build/test --target fault_matrix mrx520-sim mrxctl
exec build/test/tests/fault_matrix "$@"
