#!/usr/bin/env bash
# Sets everything up, builds, checks formatting and runs every test under Wine.
# Extra arguments go to ctest (for instance -R launcher).
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$repo/scripts/setup.sh"
bash "$repo/scripts/check-format.sh"
deskpin_build
with_display bash "$repo/scripts/run-ctest.sh" "$build" "$@"
