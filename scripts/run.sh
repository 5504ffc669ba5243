#!/usr/bin/env bash
# The main job: installs what is missing, builds what it runs (the host, the
# plug-in's libraries and the simulator; scripts/test.sh adds the tests to the same
# folder), starts the analyser simulator and runs the host against it. With
# arguments, runs kelto-host with them instead; an argument "sim" stands for the
# simulator's device.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -- kelto-host tarvo-sim

work=$(mktemp -d)
export TARVO_SIM="$work/tarvo"
build/bin/tarvo-sim --quiet --link "$TARVO_SIM" </dev/null >"$work/sim.out" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "$TARVO_SIM" ] && break; sleep 0.1; done

if [ $# -gt 0 ]; then
  args=()
  for a in "$@"; do [ "$a" = sim ] && args+=("$TARVO_SIM") || args+=("$a"); done
  build/bin/kelto-host "${args[@]}"
  exit
fi
echo "== The analyser on the line ($TARVO_SIM)"
build/bin/kelto-host query --port "$TARVO_SIM"
build/bin/kelto-host link --port "$TARVO_SIM" "[VER]" "[CRG]"
echo "== The plug-in's test types"
build/bin/kelto-host tests 2>/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== The host window"
  build/bin/kelto-host --port "$TARVO_SIM"
fi
