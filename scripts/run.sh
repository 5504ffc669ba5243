#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the host application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
exec build/bin/kelto-host "$@"
