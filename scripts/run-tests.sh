#!/usr/bin/env bash
# Runs every test of a build directory with CTest and prints a compact progress, live also when
# piped (into a CI log, say): a count of passed tests every hundred, and each failure in full
# with its output.
#
# CTest flushes each line it prints, pipe or not. stdbuf is not used: it preloads a library into
# every test program, which the sanitizer builds refuse. awk flushes each line it prints; mawk
# (Debian's awk) reads its input in blocks unless told "-W interactive", and knows no interval
# expressions such as {3,}.
set -uo pipefail
build_dir=${1:?build directory}
jobs=${2:-$(nproc)}
cd "$build_dir" || exit 1
awk_command=(awk)
if awk -W version 2>/dev/null | grep -q mawk; then
  awk_command=(awk -W interactive)
fi
ctest --output-on-failure -j "$jobs" 2>&1 | "${awk_command[@]}" '
  /^ *[0-9]+\/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$/ {
    passed++
    if (passed % 100 == 0) { printf "  %d tests passed\n", passed; fflush() }
    next
  }
  /^ +Start +[0-9]+: / { next }
  { sub(/ \.\.\.+ */, " ... "); print; fflush() }
'
exit "${PIPESTATUS[0]}"
