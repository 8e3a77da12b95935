#!/usr/bin/env bash
# Sets everything up, builds, and runs Deskpin for real under Wine in the
# build's own prefix, through a whole update from 1.0.0.1 to 1.0.0.2, then
# tells what happened.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$repo/scripts/setup.sh"
deskpin_build Deskpin Deskpin_v1002 RecordingBrowser LinkInfo UpdateRobot
if [ -n "${DISPLAY:-}" ]; then
    bash "$repo/scripts/demo.sh" "$build"  # you answer the dialogs
else
    with_display bash "$repo/scripts/demo.sh" "$build" robot
fi
