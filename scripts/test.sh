#!/usr/bin/env bash
# The test job: installs what is missing, builds everything (with warnings as
# errors, as scripts/run.sh does, so that it reuses what that built) and runs every
# test; a build that finds no tests fails. CTEST_PARALLEL_LEVEL limits the tests
# run at once, CMAKE_BUILD_PARALLEL_LEVEL the build's jobs. With --sanitize it
# builds into build-asan under AddressSanitizer and UndefinedBehaviorSanitizer
# instead. With --fuzz it builds the fuzz targets with clang into build-fuzz, runs
# them over their corpora, then fuzzes each for KELTO_FUZZ_SECONDS (default 20),
# longer where a target has not yet run KELTO_FUZZ_MIN_RUNS inputs (10000; not the
# shape target, whose inputs are files of megabytes); a crash fails the job and its
# input is kept in the target's corpus folder (tests/fuzz/corpus/TARGET) as a
# regression seed.
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
# A slow target (the loaders) on a busy machine goes on past its time until it has
# run this many inputs, for at most three times as long again.
min_runs=${KELTO_FUZZ_MIN_RUNS:-10000}
failed=()
for target in "$folder"/bin/fuzz_*; do
  name=${target##*/fuzz_}
  corpus=tests/fuzz/corpus/$name
  found=$folder/fuzz/$name/found  # inputs the fuzzer adds stay out of the source tree
  crashes=$folder/fuzz/$name/crashes
  log=$folder/fuzz/$name/log
  rm -rf "$crashes"
  mkdir -p "$found" "$crashes"
  dict=()
  [ "$name" = reply ] || dict=(-dict=tests/fuzz/xml.dict)
  # The shape target makes files of up to the 8 MiB bound, each read in time
  # linear in its size: it runs tens of inputs, not thousands, for longer, and
  # its time-out catches a cost that grows faster than the file.
  timeout=10
  target_seconds=$seconds
  target_min_runs=$min_runs
  if [ "$name" = shape ]; then
    timeout=60
    target_seconds=$((seconds * 3))
    target_min_runs=0
  fi
  echo "Fuzzing $name for $target_seconds s"
  fuzz() {
    QT_QPA_PLATFORM=offscreen "$target" "$@" -timeout="$timeout" -max_len=16384 "${dict[@]}" \
      -artifact_prefix="$crashes/" -print_final_stats=1 "$found" "$corpus" >>"$log" 2>&1
  }
  runs() { grep -E '^stat::number_of_executed_units' "$log" | awk '{ n += $2 } END { print n + 0 }'; }
  : >"$log"
  ok=true
  fuzz -max_total_time="$target_seconds" || ok=false
  if $ok && [ "$(runs)" -lt "$target_min_runs" ]; then
    echo "  $(runs) inputs in $target_seconds s; going on to $target_min_runs"
    fuzz -runs=$((target_min_runs - $(runs))) -max_total_time=$((seconds * 3)) || ok=false
  fi
  if ! $ok; then
    tail -n 60 "$log"
    for input in "$crashes"/*; do
      [ -e "$input" ] || continue
      cp "$input" "$corpus/"
      echo "Kept $corpus/${input##*/} as a regression seed: mend the fault and commit it."
    done
    failed+=("$name")
  else
    echo "  $(runs) inputs"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
