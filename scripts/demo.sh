#!/usr/bin/env bash
# Builds lxseg and the default resources, then segments a UTF-8 text with it
# (words separated by blanks, as the caller wrote them).  Only the segmented
# text goes to standard output; the build's messages go to a log file.
# Usage: scripts/demo.sh [utf8-text-file]   (default: data/sample.txt)
set -euo pipefail
cd "$(dirname "$0")/.."
input=${1:-data/sample.txt}
if [ ! -r "$input" ]; then
  echo "demo.sh: cannot read $input" >&2
  exit 1
fi
mkdir -p build
log=build/demo.log
echo "demo.sh: building; messages go to $log" >&2
if ! {
  bash scripts/install-deps.sh g++ cmake ninja-build libcli11-dev nlohmann-json3-dev &&
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_BUILD_TESTS=OFF \
    -DLX_BUILD_BENCH=OFF -DLX_BUILD_PYTHON=OFF &&
  cmake --build build -j "$(nproc)" --target lxseg default_resources
} >"$log" 2>&1; then
  echo "demo.sh: the build failed; see $log" >&2
  tail -n 20 "$log" >&2
  exit 1
fi
exec build/tools/lxseg/lxseg --data build/data/resources "$input"
