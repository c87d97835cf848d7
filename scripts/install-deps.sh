#!/usr/bin/env bash
# Installs the Debian packages that one make command needs, when any is missing:
#
#   install-deps.sh demo      the library, krel-admin and the demo (also what `make install` needs)
#   install-deps.sh test      the above, GoogleTest, JUnit and pkg-config (`make test`, `make asan`)
#   install-deps.sh fuzz      the demo's packages, clang and its fuzzer runtime (`make fuzz`)
#   install-deps.sh bench     the demo's packages, Google Benchmark and the benchmarks' peers
#                             ({fmt}, spdlog, inih, OpenSSL, log4cxx, POCO, Qt) (`make bench`)
#   install-deps.sh [all]     every one of them
#
# Safe to run again: it does nothing (and prints nothing) when everything is present. When
# another program holds the package manager's lock (unattended upgrades right after boot, say),
# it waits for it, saying so, up to KREL_APT_LOCK_TIMEOUT seconds (600 by default).
set -euo pipefail

demo=(cmake ninja-build g++ libboost-dev libxerces-c-dev libsqlite3-dev openjdk-17-jdk-headless)
test=(libgtest-dev libgmock-dev junit4 pkg-config)
fuzz=(clang libclang-rt-14-dev)
bench=(libbenchmark-dev pkg-config libfmt-dev libspdlog-dev libinih-dev libssl-dev liblog4cxx-dev
  libpoco-dev qtbase5-dev)

profile=${1:-all}
case $profile in
  demo) packages=("${demo[@]}") ;;
  test) packages=("${demo[@]}" "${test[@]}") ;;
  fuzz) packages=("${demo[@]}" "${fuzz[@]}") ;;
  bench) packages=("${demo[@]}" "${bench[@]}") ;;
  all) packages=("${demo[@]}" "${test[@]}" "${fuzz[@]}" "${bench[@]}") ;;
  *)
    echo "usage: $0 [demo|test|fuzz|bench|all]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

lock_timeout=${KREL_APT_LOCK_TIMEOUT:-600}
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  # Without root and without sudo nothing can be installed from here: say what root has to run.
  if ! command -v sudo >/dev/null 2>&1; then
    echo "\`$profile\` needs these packages, which are not installed: ${missing[*]}" >&2
    echo "Installing them needs root, and sudo is not available. As root, run:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    echo "then run this command again." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
# DPkg::Lock::Timeout makes apt-get wait for the dpkg lock (printing "Waiting for cache lock ...")
# instead of failing at once.
apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout="$lock_timeout")

# Refreshes the package lists. The lists' own lock is not covered by DPkg::Lock::Timeout in
# every apt version, so a refusal for that lock is tried again until the same time-out.
update_lists() {
  local deadline=$((SECONDS + lock_timeout)) errors said=""
  errors=$(mktemp)
  until "${apt[@]}" update 2>"$errors" >/dev/null; do
    if ! grep -q 'Could not get lock' "$errors" || [ "$SECONDS" -ge "$deadline" ]; then
      cat "$errors" >&2
      rm -f "$errors"
      return 1
    fi
    if [ -z "$said" ]; then
      echo "Waiting (up to ${lock_timeout}s) for another package manager to finish: $(grep -m 1 'Could not get lock' "$errors" | sed 's/^E: //')"
      said=yes
    fi
    sleep 5
  done
  rm -f "$errors"
}

echo "Installing the packages that \`$profile\` needs: ${missing[*]}"
echo "Refreshing the package lists ..."
update_lists
echo "Downloading and installing them with what they depend on (a few minutes on a fresh machine) ..."
"${apt[@]}" install -y "${missing[@]}"
echo "Installed: ${missing[*]}"
