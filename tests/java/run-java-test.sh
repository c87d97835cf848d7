#!/usr/bin/env bash
# Runs one JUnit 4 test class in a Java VM of its own, with JNI checking on and a registry
# directory, temporary directory and home of its own (emptied first).
#
# usage: run-java-test.sh <plain|no-terminal|terminal> <work dir> <java> <class path>
#                         <library dir> <preload> <test class> [VM option]...
#
# no-terminal runs the VM in a session of its own, without a controlling terminal; terminal
# gives it a pseudo-terminal whose output is discarded, so no test writes to the terminal of
# whoever runs the tests. A non-empty preload is put in LD_PRELOAD for the VM alone (the
# sanitizer runtimes, which an uninstrumented `java` does not load itself).
set -euo pipefail
mode=$1 work=$2 java=$3 classpath=$4 libdir=$5 preload=$6 class=$7
shift 7

rm -rf "$work"
mkdir -p "$work/registry" "$work/tmp" "$work/home"
# Java encodes program arguments and file names by the locale; the tests pass UTF-8 text.
export KREL_REGISTRY_DIR=$work/registry TMPDIR=$work/tmp HOME=$work/home LC_ALL=C.UTF-8

command=(env "LD_PRELOAD=$preload" "$java" -Xcheck:jni "-Djava.library.path=$libdir"
  "-Djava.io.tmpdir=$work/tmp" "-Duser.home=$work/home" -cp "$classpath" "$@"
  org.junit.runner.JUnitCore "$class")
if [ -z "$preload" ]; then
  command=("${command[@]:2}")
fi

case $mode in
plain)
  exec "${command[@]}"
  ;;
no-terminal)
  exec setsid -w "${command[@]}" </dev/null
  ;;
terminal)
  log=$work/output.log
  status=0
  script -qec "$(printf '%q ' "${command[@]}") >$(printf '%q' "$log") 2>&1" /dev/null \
    </dev/null >/dev/null || status=$?
  cat "$log"
  exit "$status"
  ;;
*)
  echo "unknown mode: $mode" >&2
  exit 2
  ;;
esac
