#!/usr/bin/env bash
# Starts or stops the fault server of faultserver.py in the background.
#
#   fault-fixture.sh start STATEDIR [PORT|0] [LIFETIME_S] [SERVER_SCRIPT]
#   fault-fixture.sh stop STATEDIR
#
# SERVER_SCRIPT defaults to faultserver.py beside this script; a variant that
# takes the same arguments may be named instead.
#
# STATEDIR/port then holds the port; the server ends by itself after
# LIFETIME_S seconds (default 1800) and is otherwise ended by its PID.
set -euo pipefail
cmd="${1:?start or stop}"
state="${2:?state folder}"
here="$(cd "$(dirname "$0")" && pwd)"

stop() {
  if [ -f "$state/fault.pid" ]; then
    pid=$(cat "$state/fault.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$state/fault.pid"
  fi
}

case "$cmd" in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "usage: $0 start|stop STATEDIR [PORT] [LIFETIME_S] [SERVER_SCRIPT]" >&2; exit 2 ;;
esac
stop
mkdir -p "$state"
rm -f "$state/port"
setsid python3 "${5:-$here/faultserver.py}" --port "${3:-0}" --lifetime "${4:-1800}" \
  --port-file "$state/port" --pid-file "$state/fault.pid" </dev/null >"$state/fault.log" 2>&1 &
for _ in $(seq 100); do [ -s "$state/port" ] && break; sleep 0.1; done
[ -s "$state/port" ] || { echo "fault server did not start" >&2; cat "$state/fault.log" >&2; exit 1; }
echo "fault server on 127.0.0.1:$(cat "$state/port"), pid $(cat "$state/fault.pid")"
