#!/bin/sh
# Rewrites tests/golden/expected.txt with what the library now outputs for
# tests/golden/sentences.txt under the default resources, and
# tests/golden/checksums.txt with the checksums of the generated text the
# golden test segments in several modes.  Review the diff before committing
# it: every changed line is a changed result.
#
#   scripts/update-golden.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target e2e_tests default_resources >/dev/null
LX_GOLDEN_OUTPUT="$root/tests/golden/expected.txt" LX_CHECKSUM_OUTPUT="$root/tests/golden/checksums.txt" \
  "$build/tests/e2e_tests" --gtest_filter="Golden.*" >/dev/null || true
git -C "$root" diff --stat -- tests/golden/expected.txt tests/golden/checksums.txt
