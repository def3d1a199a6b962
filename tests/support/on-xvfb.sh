#!/bin/sh
# Runs a command on a virtual X server of its own, 1280x1024. The server
# picks a free display itself (-displayfd), so tests started side by side
# never race for one the way "xvfb-run -a" does. Exit status 77 tells CTest
# the test was skipped.
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "SKIP: Xvfb is not installed (scripts/install-deps installs it)"
    exit 77
fi
dir=$(mktemp -d) || exit 1
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' INT TERM
mkfifo "$dir/display" || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/log" 2>&1 &
server=$!
# The number comes once the server listens; nothing comes if it failed.
read -r number <"$dir/display"
if [ -z "$number" ]; then
    echo "FAIL: the X server did not start:"
    cat "$dir/log"
    exit 1
fi
DISPLAY=":$number" "$@"
