#!/usr/bin/env bash
# The whole cycle of Deskpin for real under Wine (an X display is set): a
# local nginx announces version 1.0.0.2, Deskpin 1.0.0.1 opens the web client,
# writes its desktop link, finds the update, downloads it, hands it to the
# helper and comes back as 1.0.0.2.
#
#   demo.sh BUILD [robot]
#
# With "robot" (a virtual display nobody looks at) a small robot answers the
# dialogs, Yes and OK, and the screen is saved at each of them in BUILD/demo/.
# Without it, you answer them yourself.
set -euo pipefail
build="$1"
use_robot="${2:-}"
repo=$(cd "$(dirname "$0")/.." && pwd)
wine_run="$build/wine-run.sh"
export LANG=zh_CN.UTF-8  # the title is Chinese text in code page 936

update_host=$(sed -n 's/^DESKPIN_UPDATE_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
port="${update_host##*:}"
case "$update_host" in
  127.0.0.1:*) ;;
  *) echo "demo: the build's update host is $update_host, not 127.0.0.1:PORT" >&2; exit 1 ;;
esac
old_exe="$build/src/launcher/Deskpin.exe"
new_exe="$build/src/launcher/v1.0.0.2/Deskpin.exe"

"$wine_run" --prefix-shell sh "$repo/tests/support/prepare-prefix.sh" \
    "$build/tests/RecordingBrowser.exe" >/dev/null
prefix="$build/wine/prefix"
user_dir=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
desktop="$user_dir/Desktop"
temp_dir="$user_dir/AppData/Local/Temp"
title="CorvaneVarnel - 桌面版"
program_dir="$prefix/drive_c/Program Files/Corvane Varnel"
win_program='C:\Program Files\Corvane Varnel\Deskpin.exe'
notes="$user_dir/AppData/Roaming/Corvane/Deskpin/notes.txt"
help_page="$program_dir/help/varnel.html"

demo="$build/demo"
host_state="$demo/update-host"
sampler_pid=""
robot_pid=""
cleanup() {
  [ -n "$sampler_pid" ] && kill "$sampler_pid" 2>/dev/null
  [ -n "$robot_pid" ] && kill "$robot_pid" 2>/dev/null
  bash "$repo/tests/update/update-host.sh" stop "$host_state" >/dev/null 2>&1 || true
  "$wine_run" --prefix-shell wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
rm -rf "$demo"
mkdir -p "$demo"

# The update host: slowed down, so that the wizard can be watched at work.
NGINX_FIXTURE_LIMIT_RATE=300k bash "$repo/tests/update/update-host.sh" start "$host_state" \
    "$port" "$new_exe" 1.0.0.2 600 >/dev/null
access_log="$host_state/logs/access.log"
echo "Update host: nginx on 127.0.0.1:$port announces Deskpin 1.0.0.2"
echo "  http://127.0.0.1:$port/client/update/deskpin/varnel_web.inf:"
tr -d '\r' <"$host_state/www/client/update/deskpin/varnel_web.inf" | sed 's/^/    /'

# Deskpin 1.0.0.1 in its program folder, a legacy link file on the desktop.
rm -rf "$program_dir" "$(dirname "$notes")"
rm -f "$temp_dir/UpgraderQueue.txt" "$temp_dir/Upgrader4.exe"
mkdir -p "$program_dir"
cp "$old_exe" "$program_dir/Deskpin.exe"
log="$demo/browser-log.txt"
printf '[InternetShortcut]\r\nURL=http://old.example/\r\n' >"$desktop/$title.url"
rm -f "$desktop/$title.lnk"
echo "Installed Deskpin 1.0.0.1 as $win_program"
echo "Before the run: the desktop holds \"$title.url\" and no \"$title.lnk\"."

# Which programs of the cycle ran, with their command lines: Wine shows them
# as the processes' arguments. (One process, so that it can be ended by its PID.)
sample_processes() {
  while :; do
    ps -eo args= | grep -E 'Deskpin\.exe|Upgrader4\.exe' | grep -v -E 'grep|winedbg' || true
    sleep 0.2
  done
}
sample_processes >>"$demo/processes-seen.txt" &
sampler_pid=$!
seen() { awk '!seen[$0]++' "$demo/processes-seen.txt" | grep -m1 -F "$1" || true; }

if [ "$use_robot" = robot ]; then
  win_demo=$("$wine_run" --prefix-shell winepath -w "$demo" 2>/dev/null)
  "$wine_run" "$build/tests/update/UpdateRobot.exe" "$win_program" "$win_demo" 2>/dev/null |
    while IFS= read -r line; do
      line="${line%$'\r'}"
      case "$line" in
        "shot "*)
          name="${line#shot }"
          import -window root "$demo/$name.tmp.png" 2>/dev/null || true
          mv -f "$demo/$name.tmp.png" "$demo/$name.png" 2>/dev/null || touch "$demo/$name.png"
          echo "  robot: screen saved as $demo/$name.png" ;;
        "seen question") echo "  robot: the question is on screen, answering Yes" ;;
        "seen downloading") echo "  robot: the wizard is downloading" ;;
        "seen completed") echo "  robot: the wizard has completed, answering OK" ;;
      esac
    done &
  robot_pid=$!
else
  echo "Answer the update's question with Yes, and OK when the wizard has completed."
fi

export DESKPIN_BROWSER_LOG
DESKPIN_BROWSER_LOG=$("$wine_run" --prefix-shell winepath -w "$log" 2>/dev/null)
echo "Starting Deskpin.exe 1.0.0.1 under Wine at $(date +%T) ..."
start=$(date +%s.%N)
set +e
"$wine_run" "$program_dir/Deskpin.exe" 2>"$demo/wine-messages.txt"
code=$?
set -e
end=$(date +%s.%N)
elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
[ -n "$robot_pid" ] && { wait "$robot_pid" 2>/dev/null || true; robot_pid=""; }
echo "Deskpin 1.0.0.1 ended at $(date +%T), $elapsed s after start, with exit code $code."

# The helper moves the files and starts the program again (bounded waits).
restarted=""
for _ in $(seq 150); do
  restarted=$(seen 'Deskpin.exe /afterupgrade')
  [ -n "$restarted" ] && break
  sleep 0.2
done
[ -n "$restarted" ] && sleep 3  # its first look at the update host

echo
n=0
step() { n=$((n + 1)); echo "$n. $*"; }
fetches() { grep -c "GET /client/update/deskpin/$1 " "$access_log" || true; }

if [ -s "$log" ]; then
  url=$(head -n 1 "$log" | tr -d '\r' | sed -E 's/.*"([^"]+)"[[:space:]]*$/\1/')
  step "Browser opened: $url"
else
  step "The default browser was not started."
fi
if [ -f "$desktop/$title.lnk" ]; then
  win_link=$("$wine_run" --prefix-shell winepath -w "$desktop/$title.lnk" 2>/dev/null)
  step "Desktop link written: $win_link"
  "$wine_run" "$build/tests/LinkInfo.exe" "$win_link" | sed 's/^/     /'
else
  step "No desktop link was written."
fi
if [ -e "$desktop/$title.url" ]; then
  echo "   The legacy link file \"$title.url\" is still on the desktop."
else
  echo "   The legacy link file \"$title.url\" was removed from the desktop."
fi
if [ "$(fetches varnel_web.inf)" -ge 1 ]; then
  step "Update found: the information file announced 1.0.0.2 (newer than 1.0.0.1)"
else
  step "The information file was never fetched."
fi
downloads=$(grep -E 'GET /client/update/deskpin/(varnel_web\.exe|notes\.txt|help\.html) ' \
  "$access_log" | awk '{ print $7, "answer", $9 ",", $10, "bytes" }' || true)
if [ -n "$downloads" ]; then
  step "Files downloaded:"
  printf '%s\n' "$downloads" | sed 's/^/     /'
else
  step "No update file was downloaded."
fi
helper=$(seen 'Upgrader4.exe')
if [ -n "$helper" ]; then
  step "Helper run: $helper"
elif [ -f "$temp_dir/Upgrader4.exe" ]; then
  step "Helper run: Upgrader4.exe was written to the temporary folder"
else
  step "The helper did not run."
fi
if [ -n "$restarted" ]; then
  step "Program restarted with \"/afterupgrade\": $restarted"
  echo "   The update host saw the information file $(fetches varnel_web.inf) times (the restarted program's look included)."
else
  step "The program was not started again."
fi
if cmp -s "$program_dir/Deskpin.exe" "$new_exe"; then
  step "New version in place: $win_program is the 1.0.0.2 build"
else
  step "The program file is NOT the 1.0.0.2 build."
fi
echo "   sha256 $(sha256sum <"$program_dir/Deskpin.exe" | cut -c1-16)... program file"
echo "   sha256 $(sha256sum <"$new_exe" | cut -c1-16)... 1.0.0.2 build"
echo "   sha256 $(sha256sum <"$old_exe" | cut -c1-16)... 1.0.0.1 build"
for f in "$notes" "$help_page"; do
  if [ -f "$f" ]; then echo "   in place: $f"; else echo "   MISSING: $f"; fi
done
left=$(find "$program_dir" "$(dirname "$notes")" -name '*.uTMP' 2>/dev/null | wc -l)
echo "   temporary .uTMP files left: $left; queue file left: $([ -e "$temp_dir/UpgraderQueue.txt" ] && echo yes || echo no)"

if [ -n "$restarted" ]; then
  echo "Waiting for Deskpin 1.0.0.2 to end by itself (30 s after its start) ..."
  still_running() { ps -eo args= | grep -v grep | grep -q -F 'Deskpin.exe /afterupgrade'; }
  for _ in $(seq 225); do
    still_running || break
    sleep 0.2
  done
  if still_running; then
    echo "Deskpin 1.0.0.2 is still running after 45 s; the demo ends it."
  else
    echo "Deskpin 1.0.0.2 ended by itself at $(date +%T)."
  fi
fi
if [ "$use_robot" = robot ]; then
  shots=$(ls "$demo"/*.png 2>/dev/null | tr '\n' ' ')
  echo "Screenshots: ${shots:-none}"
fi
