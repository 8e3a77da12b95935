#!/usr/bin/env bash
# Runs CTest in a build folder (with an X display already set) and ends the
# build's own wineserver afterwards.
set -uo pipefail
build="$1"
shift
cd "$build" || exit 1
ctest --output-on-failure "$@"
rc=$?
"$build/wine-run.sh" --prefix-shell wineserver -k 2>/dev/null
exit $rc
