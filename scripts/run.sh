#!/usr/bin/env bash
# Sets everything up, builds, and runs Deskpin for real under Wine in the
# build's own prefix, then tells what the program did.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$repo/scripts/setup.sh"
deskpin_build Deskpin RecordingBrowser LinkInfo
with_display bash "$repo/scripts/demo.sh" "$build"
