#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs them.
# Usage: scripts/test-sanitizers.sh [build-dir]   (default: build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLX_SANITIZE=ON -DLX_BUILD_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
