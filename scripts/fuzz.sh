#!/usr/bin/env bash
# Builds the fuzz targets (clang 14, libFuzzer, ASan + UBSan) and runs each for a bounded time:
#
#   bash scripts/fuzz.sh            # 15 seconds each (what the test command runs)
#   bash scripts/fuzz.sh 600        # ten minutes each
#   bash scripts/fuzz.sh 60 discovery
#
# Seeds are written from the unit-test cases into build/fuzz/seeds; what a run finds worth
# keeping stays in build/fuzz/corpus/<target>, and a crash, hang or sanitizer report leaves its
# input in build/fuzz/findings/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
shift || true
targets=("$@")

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/fuzz
if [ "${#targets[@]}" -eq 0 ]; then  # every target fuzz/CMakeLists.txt builds
  for program in "$bin"/fuzz_*; do targets+=("${program##*/fuzz_}"); done
fi
rm -rf build/fuzz/seeds
"$bin/make_seeds" build/fuzz/seeds
mkdir -p build/fuzz/findings

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=0
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  echo "fuzz: $target for $seconds s"
  if timeout $((seconds + 120)) "$bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
       -artifact_prefix="build/fuzz/findings/$target-" "$corpus" "build/fuzz/seeds/$target" \
       > "$log" 2>&1; then
    runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz: $target: no finding in $runs runs"
  else
    failed=1
    echo "fuzz: $target FAILED"
    grep -E "ERROR|SUMMARY|broken promise|runtime error|Test unit written" "$log" | head -20
  fi
done
exit $failed
