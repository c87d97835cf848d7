#!/usr/bin/env bash
# Installs a build below a temporary DESTDIR and checks the installed package: the files laid
# out, the SONAME, the RUNPATH of krel-admin, two consumers built against the installed tree
# (each parsing XML through the library's headers), one through find_package(KrelStd CONFIG)
# and one through pkg-config, every header compiled alone with the pkg-config flags and
# -Wshadow, and a Java program
# compiled against the installed jar that runs the installed library's natives.
#
# Usage: package-test.sh <build dir> <consumer source dir> <prefix> <libdir> <c++ compiler>
#                        jar|no-jar [<javac> <java>]
set -euo pipefail
build=$1 consumer=$2 prefix=$3 libdir=$4 cxx=$5 jar=$6 javac=${7:-} java=${8:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/krel-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
root=$stage$prefix
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

DESTDIR=$stage cmake --install "$build" >/dev/null

# Exactly these files, apart from the headers, which must all lie below include/KrelStd/.
expected=$(sed '/^$/d' <<LIST | sort
bin/krel-admin
$libdir/cmake/KrelStd/KrelStdConfig.cmake
$libdir/cmake/KrelStd/KrelStdConfigVersion.cmake
$libdir/cmake/KrelStd/KrelStdTargets.cmake
$(cd "$root" && ls "$libdir"/cmake/KrelStd/KrelStdTargets-*.cmake)
$libdir/libKrelStd.so
$libdir/libKrelStd.so.1
$libdir/libKrelStd.so.1.0.0
$libdir/pkgconfig/KrelStd.pc
$([ "$jar" = jar ] && echo share/java/KrelStd.jar)
LIST
)
laid_out=$(cd "$root" && find . \( -type f -o -type l \) -not -path './include/*' | sed 's|^\./||' | sort)
[ "$laid_out" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$laid_out") || true)"
[ "$(ls "$root/include")" = KrelStd ] || fail "include/ holds more than KrelStd/"
[ -f "$root/include/KrelStd/log/StaticLog.h" ] || fail "include/KrelStd/log/StaticLog.h missing"
[ -z "$(find "$root/include/KrelStd" -type f -not -name '*.h')" ] || fail "non-header files below include/KrelStd"

library=$root/$libdir/libKrelStd.so.1.0.0
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libKrelStd.so.1 ] || fail "SONAME is '$soname'"
! readelf -d "$library" | grep -qE '\((RPATH|RUNPATH)\)' || fail "the library carries a search path"
[ "$(readlink "$root/$libdir/libKrelStd.so")" = libKrelStd.so.1 ] || fail "libKrelStd.so does not name libKrelStd.so.1"

admin=$root/bin/krel-admin
runpath=$(readelf -d "$admin" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../$libdir" ] || fail "krel-admin RUNPATH is '$runpath'"
# The library a program loads, as a path without symbolic links or "..".
loaded_library() {
  realpath "$(ldd "$1" | sed -n 's/.*libKrelStd.so.1 => \(.*\) (0x.*/\1/p')"
}
[ "$(loaded_library "$admin")" = "$(realpath "$library")" ] ||
  fail "krel-admin does not find the installed library: $(ldd "$admin" | grep KrelStd)"
mkdir -p "$work/registry"
KREL_REGISTRY_DIR=$work/registry "$admin" write 'HKCU\Software\KrelPackageTest' answer REG_SZ yes &&
  KREL_REGISTRY_DIR=$work/registry "$admin" read 'HKCU\Software\KrelPackageTest' answer | grep -q yes ||
  fail "the installed krel-admin does not run"

# The CMake consumer finds the package through the staged prefix.
cmake -S "$consumer" -B "$work/cmake-consumer" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$root" -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON >"$work/cmake.log" 2>&1 &&
  cmake --build "$work/cmake-consumer" >>"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log" >&2; fail "the CMake consumer does not build"; }
if [ -x "$work/cmake-consumer/krel_consumer" ]; then
  [ "$(loaded_library "$work/cmake-consumer/krel_consumer")" = "$(realpath "$library")" ] ||
    fail "the CMake consumer does not use the installed library"
  "$work/cmake-consumer/krel_consumer" | grep -q "consumer ok" || fail "the CMake consumer fails"
fi

# The pkg-config consumer: the paths of KrelStd.pc follow the file's own place, so the staged
# tree serves as it lies.
flags=$(PKG_CONFIG_PATH=$root/$libdir/pkgconfig pkg-config --cflags --libs KrelStd) ||
  fail "pkg-config does not know KrelStd"
# The directory a flag names (the first -I<...>/KrelStd, or -L), without "..".
flag_directory() {
  realpath -m "$(tr ' ' '\n' <<<"$flags" | sed -n "s|^$1\(.*$2\)\$|\1|p" | head -n 1)"
}
[ "$(flag_directory -I /KrelStd)" = "$(realpath "$root/include/KrelStd")" ] &&
  [ "$(flag_directory -L '')" = "$(realpath "$root/$libdir")" ] ||
  fail "KrelStd.pc does not point at the tree it lies in: $flags"
[ "$(PKG_CONFIG_PATH=$root/$libdir/pkgconfig pkg-config --modversion KrelStd)" = 1.0.0 ] ||
  fail "KrelStd.pc has the wrong version"
# shellcheck disable=SC2086
if "$cxx" -std=c++17 -o "$work/pkg-consumer" "$consumer/consumer.cpp" $flags 2>"$work/pkg.log"; then
  LD_LIBRARY_PATH=$root/$libdir "$work/pkg-consumer" | grep -q "consumer ok" ||
    fail "the pkg-config consumer fails"
else
  cat "$work/pkg.log" >&2
  fail "the pkg-config consumer does not build with: $flags"
fi

# Every installed header compiles alone with those flags, warning-free under the warnings a
# consumer may turn on (-Wshadow among them): a header leans on no include of its includer, and
# no parameter of an inline function hides a member.
header_check() {
  # shellcheck disable=SC2086
  echo "#include \"$1\"" | "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Wshadow -Werror \
    $flags -x c++ - 2>&1 || echo "FAILED: $1 does not compile alone without warnings"
}
export -f header_check
export cxx flags
header_failures=$(cd "$root/include/KrelStd" && find . -name '*.h' | sed 's|^\./||' | sort |
  xargs -P 4 -I '{}' bash -c 'header_check "$1"' _ '{}')
[ -z "$header_failures" ] || fail "installed headers:
$header_failures"

# The Java program: the installed jar on its class path, the installed library found through
# java.library.path alone, a registry of its own that the installed krel-admin reads back.
if [ "$jar" = jar ]; then
  installed_jar=$root/share/java/KrelStd.jar
  mkdir -p "$work/java-classes" "$work/java-registry"
  if "$javac" -Werror -cp "$installed_jar" -d "$work/java-classes" "$consumer/JavaConsumer.java" \
    2>"$work/javac.log"; then
    output=$(KREL_REGISTRY_DIR=$work/java-registry "$java" -Xcheck:jni \
      "-Djava.library.path=$root/$libdir" -cp "$installed_jar:$work/java-classes" \
      JavaConsumer 'from Java' 2>"$work/java.log") || fail "the Java program exits with status $?"
    [ "$(sed -n 's/^value //p' <<<"$output")" = 'from Java' ] ||
      { cat "$work/java.log" >&2; fail "the Java program does not read back its value: $output"; }
    java_library=$(sed -n 's/^library //p' <<<"$output")
    [ -n "$java_library" ] && [ "$(realpath "$java_library")" = "$(realpath "$library")" ] ||
      fail "the Java program does not use the installed library: $java_library"
    ! grep -qE 'in native method|JNI local refs' <<<"$output$(cat "$work/java.log")" ||
      fail "JNI checking complains: $output $(cat "$work/java.log")"
    KREL_REGISTRY_DIR=$work/java-registry "$admin" read 'HKCU\Software\KrelPackageTest\Java' written |
      grep -q 'from Java' || fail "the value the Java program wrote is not in its registry"
  else
    cat "$work/javac.log" >&2
    fail "the Java program does not compile against the installed jar"
  fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "package test passed"
