# Shared by the README's commands: builds the program and its tests with both
# hosts on this machine.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${DESKPIN_BUILD_DIR:-$repo/build}"
web_host="${DESKPIN_WEB_HOST:-127.0.0.1:18730}"
update_host="${DESKPIN_UPDATE_HOST:-127.0.0.1:18731}"

# deskpin_build [TARGET...]: everything, or just the targets named.
deskpin_build() {
    cmake -S "$repo" -B "$build" -DDESKPIN_WEB_HOST="$web_host" \
        -DDESKPIN_UPDATE_HOST="$update_host" >/dev/null
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$build" -j "$(nproc)" "${targets[@]}" -- --no-print-directory
}

# Runs a command with an X display: the caller's, or a virtual one.
with_display() {
    if [ -n "${DISPLAY:-}" ]; then
        "$@"
    else
        xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
    fi
}
