#!/usr/bin/env bash
# Runs the JNI benchmark on a pseudo-terminal of its own and prints its table.
#
# usage: run-jni-bench.sh <work dir> <java> <class path> <library dir>
set -euo pipefail
work=$1 java=$2 classpath=$3 libdir=$4

rm -rf "$work"
mkdir -p "$work/registry" "$work/prefs"
export KREL_REGISTRY_DIR=$work/registry
command=("$java" "-Djava.library.path=$libdir" "-Djava.util.prefs.userRoot=$work/prefs"
  -cp "$classpath" JniBench)
status=0
script -qec "$(printf '%q ' "${command[@]}") >$(printf '%q' "$work/output.txt") 2>&1" /dev/null \
  </dev/null >/dev/null || status=$?
grep -v "prefs.FileSystemPreferences\|Created user preferences directory" "$work/output.txt" || true
exit "$status"
