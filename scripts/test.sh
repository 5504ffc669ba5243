#!/usr/bin/env bash
# The test job: installs what is missing, builds with warnings as errors and runs
# every test. With --sanitize it builds into build-asan under AddressSanitizer and
# UndefinedBehaviorSanitizer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
folder=build
options=(-DKELTO_WARNINGS_AS_ERRORS=ON)
if [ "${1:-}" = "--sanitize" ]; then
  folder=build-asan
  options+=(-DKELTO_SANITIZE=ON)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi
scripts/build.sh "$folder" "${options[@]}"
cd "$folder"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 300
