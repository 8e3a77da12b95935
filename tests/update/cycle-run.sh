#!/usr/bin/env bash
# Runs the update cycle test with its update host up for exactly as long as
# the test runs: the host's port is fixed (it is the program's update host),
# and any other Deskpin started meanwhile would be offered the update too.
#
#   cycle-run.sh WINE_RUN STATEDIR PORT NEW_EXE VERSION TEST_EXE [ARGS...]
set -uo pipefail
wine_run="$1" state="$2" port="$3" new_exe="$4" version="$5"
shift 5
here="$(cd "$(dirname "$0")" && pwd)"
# Slow enough that the wizard is seen downloading; the lifetime bounds nginx
# even if this script is killed.
NGINX_FIXTURE_LIMIT_RATE=800k bash "$here/update-host.sh" start "$state" "$port" "$new_exe" \
  "$version" 600 || exit 1
trap 'bash "$here/update-host.sh" stop "$state" >/dev/null' EXIT
DESKPIN_HOST_STATE="$state" "$wine_run" "$@"
