#!/usr/bin/env bash
# Takes screenshots of the host window into docs/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs}")
scripts/setup.sh
scripts/build.sh build -- host_app_tests
mkdir -p "$out"
# On an X server of its own (Debian's xvfb) when there is one, so that the window
# is laid out as on a desktop; else headless.
display=(env QT_QPA_PLATFORM=offscreen)
if command -v xvfb-run >/dev/null; then
  display=(xvfb-run -a -s "-screen 0 1600x1000x24" env -u QT_QPA_PLATFORM)
fi
KELTO_SCREENSHOT_DIR="$out" KELTO_COMPONENTS_DIR="$PWD/build/bin/components" \
  "${display[@]}" build/bin/host_app_tests --gtest_filter='*TheWindow*' >/dev/null
# The first page of the exported report, when poppler's pdftoppm is at hand.
if command -v pdftoppm >/dev/null; then
  pdftoppm -png -r 90 -f 1 -l 1 -singlefile "$out/report.pdf" "$out/report-page1"
fi
rm -f "$out/report.pdf"
ls "$out"/*.png
