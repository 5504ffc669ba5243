#!/usr/bin/env bash
# Takes screenshots of the host window, headless, into docs/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs}")
scripts/setup.sh
scripts/build.sh build
mkdir -p "$out"
KELTO_SCREENSHOT_DIR="$out" KELTO_COMPONENTS_DIR="$PWD/build/bin/components" QT_QPA_PLATFORM=offscreen \
  build/bin/host_app_tests --gtest_filter='*TheWindow*' >/dev/null
ls "$out"/*.png
