#!/usr/bin/env bash
# One real run of Deskpin under Wine (an X display is set). Usage: demo.sh BUILD
set -euo pipefail
build="$1"
repo=$(cd "$(dirname "$0")/.." && pwd)
wine_run="$build/wine-run.sh"
export LANG=zh_CN.UTF-8  # the title is Chinese text in code page 936

"$wine_run" --prefix-shell sh "$repo/tests/support/prepare-prefix.sh" \
    "$build/tests/RecordingBrowser.exe" >/dev/null
prefix="$build/wine/prefix"
user_dir=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
desktop="$user_dir/Desktop"
title="CorvaneVarnel - 桌面版"

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
log="$demo/browser-log.txt"
printf '[InternetShortcut]\r\nURL=http://old.example/\r\n' >"$desktop/$title.url"
rm -f "$desktop/$title.lnk"
echo "Before the run: the desktop holds \"$title.url\" and no \"$title.lnk\"."

export DESKPIN_BROWSER_LOG
DESKPIN_BROWSER_LOG=$("$wine_run" --prefix-shell winepath -w "$log" 2>/dev/null)
echo "Starting Deskpin.exe under Wine at $(date +%T) ..."
start=$(date +%s.%N)
set +e
"$wine_run" "$build/src/launcher/Deskpin.exe" 2>"$demo/wine-messages.txt"
code=$?
set -e
end=$(date +%s.%N)

echo
if [ -s "$log" ]; then
    while IFS= read -r line; do
        url=$(printf '%s' "$line" | tr -d '\r' | sed -E 's/.*"([^"]+)"[[:space:]]*$/\1/')
        echo "Opened in the default browser: $url"
    done <"$log"
else
    echo "The default browser was not started."
fi
if [ -f "$desktop/$title.lnk" ]; then
    win_link=$("$wine_run" --prefix-shell winepath -w "$desktop/$title.lnk" 2>/dev/null)
    echo "Desktop link written: $win_link"
    "$wine_run" "$build/tests/LinkInfo.exe" "$win_link" | sed 's/^/  /'
else
    echo "No desktop link was written."
fi
if [ -e "$desktop/$title.url" ]; then
    echo "The legacy link file \"$title.url\" is still on the desktop."
else
    echo "The legacy link file \"$title.url\" was removed from the desktop."
fi
elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
echo "Deskpin ended by itself at $(date +%T), $elapsed s after start, with exit code $code."
"$wine_run" --prefix-shell wineserver -k 2>/dev/null || true
