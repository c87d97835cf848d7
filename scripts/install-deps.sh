#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the benchmarks need (the
# benchmarks' peers: {fmt}, spdlog, inih, OpenSSL, log4cxx, POCO, Qt), when any is missing.
# Safe to run again: it does nothing (and prints nothing) when everything is present.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libboost-dev libxerces-c-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  openjdk-17-jdk-headless junit4
  libfmt-dev libspdlog-dev libinih-dev libssl-dev liblog4cxx-dev libpoco-dev qtbase5-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
