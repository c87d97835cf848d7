#!/usr/bin/env bash
# Runs the JNI benchmark on a pseudo-terminal of its own and prints its table. The goal of an
# integer read through the natives builds on the time of "registry read/krel", taken first from
# the registry benchmark.
#
# usage: run-jni-bench.sh <work dir> <java> <class path> <library dir> <registry benchmark>
set -euo pipefail
work=$1 java=$2 classpath=$3 libdir=$4 registry_bench=$5

rm -rf "$work"
mkdir -p "$work/registry" "$work/prefs" "$work/tmp"
export KREL_REGISTRY_DIR=$work/registry
registry_read_ns=$(TMPDIR=$work/tmp "$registry_bench" "--benchmark_filter=^registry read/krel\$" \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json |
  python3 -c '
import json, sys
nanoseconds = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
for row in json.load(sys.stdin)["benchmarks"]:
    if row.get("aggregate_name") == "median":
        print(row["cpu_time"] * nanoseconds[row.get("time_unit", "ns")])
')
command=("$java" "-Djava.library.path=$libdir" "-Djava.util.prefs.userRoot=$work/prefs"
  -cp "$classpath" JniBench "$registry_read_ns")
status=0
script -qec "$(printf '%q ' "${command[@]}") >$(printf '%q' "$work/output.txt") 2>&1" /dev/null \
  </dev/null >/dev/null || status=$?
grep -v "prefs.FileSystemPreferences\|Created user preferences directory" "$work/output.txt" || true
exit "$status"
