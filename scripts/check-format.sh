#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' \
    'tests/*.h' 'bench/*.cpp' 'bench/*.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ ${#files[@]} -eq 0 ] && exit 0
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/deskpin-format.$$; then
    grep -E '^[^ ].*(warning|error):' /tmp/deskpin-format.$$ | cut -d: -f1 | sort -u |
        sed 's/^/not formatted: /' >&2
    rm -f /tmp/deskpin-format.$$
    echo "format check failed: run clang-format -i on the files above" >&2
    exit 1
fi
rm -f /tmp/deskpin-format.$$
echo "format check passed (${#files[@]} files)"
