#!/usr/bin/env bash
# Runs every test of a build directory with CTest and prints a compact progress: a count of
# passed tests every hundred, and each failure in full with its output.
set -uo pipefail
build_dir=${1:?build directory}
jobs=${2:-$(nproc)}
cd "$build_dir" || exit 1
ctest --output-on-failure -j "$jobs" 2>&1 | awk '
  /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$/ {
    passed++
    if (passed % 100 == 0) printf "  %d tests passed\n", passed
    next
  }
  /^ +Start +[0-9]+: / { next }
  { sub(/ \.{3,} */, " ... "); print }
'
exit "${PIPESTATUS[0]}"
