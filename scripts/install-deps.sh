#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, if any is missing.
# Usage: scripts/install-deps.sh [PACKAGE...]   (default: everything the build and tests use)
# Waits for the package manager when another program holds its lock.
set -euo pipefail
packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev python3 python3-dev python3-pytest python3-setuptools python3-wheel python3-pip python3-venv swig cloc libcli11-dev nlohmann-json3-dev clang libclang-rt-14-dev libsqlite3-dev sqlite3 python3-dask python3-distributed)
if (($#)); then packages=("$@"); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "installing: ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# apt-get waits for dpkg's lock by itself with a timeout; the package lists'
# lock it does not wait for, so `update` is retried.
lock_wait=(-o DPkg::Lock::Timeout=900)
for try in $(seq 1 90); do
  $SUDO apt-get "${lock_wait[@]}" update -qq && break
  ((try < 90)) || exit 1
  echo "apt-get update failed (package lists locked?); retrying in 10 s" >&2
  sleep 10
done
DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${lock_wait[@]}" install -y -qq "${missing[@]}"
