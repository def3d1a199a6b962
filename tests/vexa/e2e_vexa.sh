#!/bin/sh
# End-to-end run of the real program on a real X server: start it under
# xvfb-run with a file to open, wait for its main window, press Ctrl+Q with
# xdotool, and check that it exits with status 0 and has written its settings.
#
# Usage: e2e_vexa.sh <path of the vexa executable>
# The harness gives HOME and XDG_CONFIG_HOME of a throwaway sandbox.
# Exit status 77 tells CTest the test was skipped (no xvfb-run or xdotool).
set -u

VEXA=${1:?usage: e2e_vexa.sh <vexa executable>}

if [ "${E2E_INNER:-}" != 1 ]; then
    for tool in xvfb-run xdotool xauth; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
            exit 77
        fi
    done
    E2E_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

# ---- inside the X server ---------------------------------------------------

: "${XDG_CONFIG_HOME:?the harness sets XDG_CONFIG_HOME}"
conf="$XDG_CONFIG_HOME/vexa/vexa.conf"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$conf"
printf 'first line\nsecond line\n' > "$work/hello.txt"
mkdir "$work/folder"

cd "$work" || exit 1
QT_QPA_PLATFORM=xcb "$VEXA" hello.txt folder missing.txt > "$work/vexa.log" 2>&1 &
pid=$!

alive() { kill -0 "$pid" 2>/dev/null; }
fail() {
    echo "FAIL: $*"
    echo "---- program output ----"
    cat "$work/vexa.log"
    alive && kill "$pid"
    exit 1
}

# Wait for the main window: its caption ends with "Vexa". A slow machine gets
# up to three minutes; the loop ends as soon as the window is there.
win=
i=0
while [ $i -lt 900 ]; do
    alive || fail "the program ended before its window appeared"
    win=$(xdotool search --onlyvisible --name 'Vexa$' 2>/dev/null | head -n 1)
    [ -n "$win" ] && break
    sleep 0.2
    i=$((i + 1))
done
[ -n "$win" ] || fail "no main window after 180 s"
echo "main window $win after $i polls"

# There is no window manager: give the window the input focus ourselves, then
# press Ctrl+Q. A key that arrives before the toolkit has taken the focus is
# lost, so the key is sent again while the program keeps running.
tries=0
while alive && [ $tries -lt 30 ]; do
    timeout 10 xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key --clearmodifiers ctrl+q
    tries=$((tries + 1))
    j=0
    while alive && [ $j -lt 50 ]; do
        sleep 0.2
        j=$((j + 1))
    done
done
alive && fail "Ctrl+Q did not end the program after $tries presses"

wait "$pid"
status=$?
echo "exit status $status after $tries press(es)"
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"

[ -f "$conf" ] || fail "no settings file $conf"
for key in 'geometry\\w=' 'geometry\\vSplitter=' 'geometry\\leftDockShown='; do
    grep -q "^$key" "$conf" || fail "settings file lacks $key"
done
echo "PASS: exited with 0 and wrote $conf"
exit 0
