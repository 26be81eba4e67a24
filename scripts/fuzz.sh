#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/*_fuzz.cpp) with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in a fresh build directory, then runs each
# for SECONDS on a scratch copy of its seed corpus fuzz/corpus/<name>/, two
# at a time.  Prints the executions and time of every target; exits 1 when
# any target found something (crash, leak, timeout, out of memory), with the
# reproducer's path in the output:
#   <BUILD_DIR>/fuzz/<name>_fuzz <reproducer>
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_DIR]   (defaults: 30, build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
build=${2:-build-fuzz}
jobs=${LX_FUZZ_JOBS:-2}
start=$SECONDS

rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DLX_BUILD_FUZZ=ON -DLX_BUILD_TESTS=OFF -DLX_BUILD_BENCH=OFF -DLX_BUILD_PYTHON=OFF >/dev/null
names=()
for f in fuzz/*_fuzz.cpp; do names+=("$(basename "$f" .cpp)"); done
cmake --build "$build" -j 2 --target "${names[@]}"
echo "fuzz.sh: built ${#names[@]} targets in $((SECONDS - start)) s"

build=$(cd "$build" && pwd)
work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work"

# run NAME: fuzzes one target; its log is $work/NAME.log, its status
# $work/NAME.rc.  Temporary files of the target go to its own TMPDIR.
run() {
  local name=$1 dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/tmp" "$dir/findings"
  if [ -d "fuzz/corpus/${name%_fuzz}" ]; then cp "fuzz/corpus/${name%_fuzz}"/* "$dir/corpus/"; fi
  set +e
  TMPDIR="$dir/tmp" "$build/fuzz/$name" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$dir/findings/" "$dir/corpus" >"$work/$name.log" 2>&1
  echo $? >"$work/$name.rc"
  rm -rf "$dir/tmp"
}

running=0
for name in "${names[@]}"; do
  if ((running >= jobs)); then wait -n || true; running=$((running - 1)); fi
  run "$name" &
  running=$((running + 1))
done
wait

failed=0
for name in "${names[@]}"; do
  log="$work/$name.log"
  rc=$(cat "$work/$name.rc" 2>/dev/null || echo 1)
  done_line=$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$log" | tail -1 || true)
  if [ "$rc" = 0 ] && [ -n "$done_line" ]; then
    printf '%-20s %10s runs in %4s s\n' "$name" "$(echo "$done_line" | awk '{print $2}')" \
      "$(echo "$done_line" | awk '{print $5}')"
  else
    failed=1
    echo "$name: FAILED (exit $rc); last lines of $log:"
    tail -n 40 "$log" | sed 's/^/  /'
    for f in "$work/$name"/findings/*; do
      [ -e "$f" ] && echo "$name: reproducer $f (run: $build/fuzz/$name $f)"
    done
  fi
done
nfailed=$(for n in "${names[@]}"; do [ "$(cat "$work/$n.rc" 2>/dev/null)" = 0 ] || echo "$n"; done | wc -l)
echo "fuzz.sh: ${#names[@]} targets, $((SECONDS - start)) s in all"
echo "fuzz: $((${#names[@]} - nfailed)) passed, $nfailed failed"
exit $failed
