#!/bin/sh
# Runs a command on a virtual X server of its own, 1280x1024. The server
# never resets (-noreset): by default it resets each time its last client
# leaves, and a program started in that moment, as the end-to-end scripts do
# one after another, finds no display. Each server takes a display number
# drawn at random from a wide range, and another when that one is taken:
# servers searching for a free number side by side ("xvfb-run -a") can pick
# the same one. Exit status 77 tells CTest the test was skipped.
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
mkfifo "$dir/ready" || exit 1
number=
for attempt in 1 2 3 4 5 6 7 8; do
    wanted=$(shuf -i 1000-30000 -n 1)
    Xvfb ":$wanted" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$dir/ready" >"$dir/log" 2>&1 &
    server=$!
    # The number comes once the server listens; nothing comes if it failed
    # (the number was taken).
    read -r number <"$dir/ready"
    [ -n "$number" ] && break
    wait "$server"
    server=
done
if [ -z "$number" ]; then
    echo "FAIL: the X server did not start:"
    cat "$dir/log"
    exit 1
fi
DISPLAY=":$number" "$@"
