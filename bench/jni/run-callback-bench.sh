#!/usr/bin/env bash
# Runs the callback latency benchmark with a registry directory and preferences directory of its
# own and prints its table.
#
# usage: run-callback-bench.sh <work dir> <java> <class path> <library dir> <registry tool>
set -euo pipefail
work=$1 java=$2 classpath=$3 libdir=$4 tool=$5

rm -rf "$work"
mkdir -p "$work/registry" "$work/prefs"
export KREL_REGISTRY_DIR=$work/registry
"$java" "-Djava.library.path=$libdir" "-Djava.util.prefs.userRoot=$work/prefs" -cp "$classpath" \
  CallbackLatencyBench "$tool" 2>&1 |
  { grep -v "prefs.FileSystemPreferences\|Created user preferences directory" || true; }
