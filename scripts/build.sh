#!/usr/bin/env bash
# Configures and builds into a build folder:
#   build.sh [FOLDER] [cmake options...] [-- TARGET...]
# Every folder is built with warnings as errors, so that a build of some targets
# (scripts/run.sh) and a build of all (scripts/test.sh) share their objects.
# CMAKE_BUILD_PARALLEL_LEVEL limits the parallel jobs (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build}
shift || true
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  options+=("$1")
  shift
done
[ $# -gt 0 ] && shift
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELTO_WARNINGS_AS_ERRORS=ON ${options[@]+"${options[@]}"} >/dev/null
cmake --build "$folder" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" ${targets[@]+"${targets[@]}"}
