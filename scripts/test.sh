#!/usr/bin/env bash
# The test job: installs what is missing, builds everything (with warnings as
# errors, as scripts/run.sh does, so that it reuses what that built) and runs every
# test; a build that finds no tests fails. CTEST_PARALLEL_LEVEL limits the tests
# run at once, CMAKE_BUILD_PARALLEL_LEVEL the build's jobs. With --sanitize it
# builds into build-asan under AddressSanitizer and UndefinedBehaviorSanitizer
# instead. With --fuzz it builds the fuzz targets with clang into build-fuzz, runs
# them over their corpora, then fuzzes each for KELTO_FUZZ_SECONDS (default 20); a
# crash fails the job and its input is kept in the target's corpus folder
# (tests/fuzz/corpus/TARGET) as a regression seed.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
folder=build
options=()
if [ "$mode" = "--sanitize" ] || [ "$mode" = "--fuzz" ]; then
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
case "$mode" in
  --sanitize)
    scripts/setup.sh
    folder=build-asan
    options+=(-DKELTO_SANITIZE=ON)
    ;;
  --fuzz)
    scripts/setup.sh --fuzz
    folder=build-fuzz
    options+=(-DKELTO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14)
    ;;
  "")
    scripts/setup.sh
    ;;
  *)
    echo "usage: scripts/test.sh [--sanitize | --fuzz]" >&2
    exit 2
    ;;
esac
scripts/build.sh "$folder" ${options[@]+"${options[@]}"}
(cd "$folder" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error \
  --parallel "${CTEST_PARALLEL_LEVEL:-$(nproc)}" --timeout 300)
[ "$mode" = "--fuzz" ] || exit 0

seconds=${KELTO_FUZZ_SECONDS:-20}
failed=()
for target in "$folder"/bin/fuzz_*; do
  name=${target##*/fuzz_}
  corpus=tests/fuzz/corpus/$name
  found=$folder/fuzz/$name/found  # inputs the fuzzer adds stay out of the source tree
  crashes=$folder/fuzz/$name/crashes
  rm -rf "$crashes"
  mkdir -p "$found" "$crashes"
  dict=()
  [ "$name" = reply ] || dict=(-dict=tests/fuzz/xml.dict)
  echo "Fuzzing $name for $seconds s"
  if ! QT_QPA_PLATFORM=offscreen "$target" -max_total_time="$seconds" -timeout=10 -max_len=16384 "${dict[@]}" \
      -artifact_prefix="$crashes/" -print_final_stats=1 "$found" "$corpus" >"$folder/fuzz/$name/log" 2>&1; then
    tail -n 60 "$folder/fuzz/$name/log"
    for input in "$crashes"/*; do
      [ -e "$input" ] || continue
      cp "$input" "$corpus/"
      echo "Kept $corpus/${input##*/} as a regression seed: mend the fault and commit it."
    done
    failed+=("$name")
  else
    grep -E '^stat::number_of_executed_units|^Done' "$folder/fuzz/$name/log" | tail -n 2 || true
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
