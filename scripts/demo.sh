#!/usr/bin/env bash
# Installs what is missing, builds the library and its tools, and runs the
# demonstration on the sample text.
# Usage: scripts/demo.sh [text-file]   (default: data/sample.txt)
set -euo pipefail
cd "$(dirname "$0")/.."
input=${1:-data/sample.txt}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target lxconv
./build/tools/lxconv "$input"
