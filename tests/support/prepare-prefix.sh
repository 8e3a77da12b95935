#!/bin/sh
# Creates the build's Wine prefix once and registers the recording browser as
# the handler of web addresses. Runs inside the environment of wine-run.sh.
# Usage: prepare-prefix.sh RECORDER_EXE
set -eu
recorder="$1"

if [ ! -f "$WINEPREFIX/.deskpin-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$HOME"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Wine links the user's shell folders to HOME; make them real folders of
    # the prefix so that nothing a test writes leaves the build tree.
    for d in "$WINEPREFIX"/drive_c/users/*/; do
        for f in "$d"*; do
            if [ -L "$f" ]; then
                rm "$f"
                mkdir -p "$f"
            fi
        done
    done
    touch "$WINEPREFIX/.deskpin-ready"
fi

# One virtual desktop instead of X11 top-level windows: without a window
# manager, Wine waits for each window's map and unmap, about 2 s every time.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f \
    >/dev/null 2>&1

win_recorder=$(winepath -w "$recorder" 2>/dev/null)
for scheme in http https; do
    wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /t REG_SZ \
        /d "\"$win_recorder\" \"%1\"" /f >/dev/null 2>&1
done
wineserver -w 2>/dev/null || true
echo "prefix ready: $WINEPREFIX"
