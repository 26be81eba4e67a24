#!/usr/bin/env bash
# Builds the end-to-end test program with ThreadSanitizer (the library and that
# program only) and runs the multi-thread test under it.
# Usage: scripts/test-tsan.sh [build-dir]   (default: build-tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tsan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DLX_BUILD_BENCH=OFF -DLX_BUILD_PYTHON=OFF
cmake --build "$build" --target e2e_tests -j "$(nproc)"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
"$build/tests/e2e_tests" --gtest_brief=1 --gtest_filter='ThreadsTest.*'
