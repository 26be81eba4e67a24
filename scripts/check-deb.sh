#!/usr/bin/env bash
# Builds the Debian package lxwordseg in its own build directory (build-deb,
# or $LX_DEB_BUILD), installs it with apt-get, segments a line with the
# installed lxseg, and removes the package again.  Needs root or sudo; refuses
# to run when lxwordseg is installed already.
# Usage: scripts/check-deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LX_DEB_BUILD:-build-deb}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if dpkg-query -W -f='${Status}' lxwordseg 2>/dev/null | grep -q "ok installed"; then
  echo "check-deb.sh: lxwordseg is installed already; remove it first" >&2
  exit 1
fi
bash scripts/install-deps.sh dpkg-dev  # dpkg-shlibdeps works out the package's dependencies

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DLX_BUILD_TESTS=OFF -DLX_BUILD_BENCH=OFF
cmake --build "$build"
rm -f "$build"/lxwordseg_*.deb
(cd "$build" && cpack -G DEB)
deb=$(realpath "$build"/lxwordseg_*.deb)
dpkg-deb --field "$deb" Package Version Depends

trap '$SUDO apt-get remove -y -qq lxwordseg' EXIT
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$deb"
text=我们喜欢北京烤鸭
got=$(cd / && echo "$text" | env -u LXWORDSEG_DATA lxseg)
echo "lxseg: $got"
if [ "${got// /}" != "$text" ] || [ "$got" = "$text" ]; then
  echo "check-deb.sh: the installed lxseg did not give back the words of '$text'" >&2
  exit 1
fi
echo "check-deb.sh: $(basename "$deb") installs and segments"
