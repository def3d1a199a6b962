#!/bin/sh
# Start-up of the real program with stored values that once hung it or broke
# it: for each settings fixture the program must show its main window inside
# the screen within a few seconds, stay small, and end with status
# 0 on Ctrl+Q. The session fixtures restore a cursor far outside the file:
# it must be brought into the file (and be stored back so), since typing
# there used to hang or pad the line with megabytes of blanks. (Typing at
# the restored place is checked with the real widgets in tst_vexa_xqeditor.)
#
# Usage: e2e_storedvalues.sh <path of the vexa executable>
# The harness gives HOME and XDG_CONFIG_HOME of a throwaway sandbox.
# Exit status 77 tells CTest the test was skipped (no Xvfb or xdotool).
set -u

VEXA=${1:?usage: e2e_storedvalues.sh <vexa executable>}
SCREEN_W=1280 # the screen e2e_under_xvfb makes
SCREEN_H=1024

. "$(dirname "$0")/e2e_lib.sh"
e2e_under_xvfb "$@"

: "${XDG_CONFIG_HOME:?the harness sets XDG_CONFIG_HOME}"
conf="$XDG_CONFIG_HOME/vexa/vexa.conf"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$conf")"
big=2147483647
file="$work/session.txt"

# run <name> <settings lines of the [vexa] group> [<cursor stored at exit>]
run() {
    name=$1
    printf 'line one\nline two\n' > "$file"
    printf '[vexa]\n%s\n' "$2" > "$conf"
    QT_QPA_PLATFORM=xcb "$VEXA" > "$work/vexa.log" 2>&1 &
    pid=$!
    start=$(date +%s)

    e2e_wait_for_window 30 # for a slow shared machine; a few seconds on a quiet one
    shown=$(($(date +%s) - start))

    eval "$(xdotool getwindowgeometry --shell "$win")"
    [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le $SCREEN_W ] &&
        [ $((Y + HEIGHT)) -le $SCREEN_H ] ||
        fail "window at ${X},${Y} ${WIDTH}x${HEIGHT} is not inside the ${SCREEN_W}x${SCREEN_H} screen"
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
    [ "$rss" -lt 1048576 ] || fail "the program holds ${rss} kB"

    e2e_quit
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || fail "exit status $status"
    grep -q 'runtime error' "$work/vexa.log" && fail "undefined behaviour reported"
    if [ -n "$3" ]; then
        poses=$(sed -n 's/^editors\\openedFilePoses=//p' "$conf")
        [ "$poses" = "$3" ] || fail "the cursor was kept at $poses, expected $3"
        [ "$(cat "$file")" = "$(printf 'line one\nline two')" ] || fail "the file changed"
    fi
    echo "ok ($name): window ${WIDTH}x${HEIGHT} at ${X},${Y} after ${shown} s, ${rss} kB"
}

session="editors\\openedFiles=$file
editors\\openedCurrent=$file"

run "size at the int limit" "geometry\\w=$big
geometry\\h=$big" ""
run "corner at the int limit" "geometry\\x=$big
geometry\\y=$big" ""
run "off to the right" "geometry\\x=60000" ""
run "far above and left" "geometry\\x=-2147483648
geometry\\y=-2147483648" ""
run "application font of 100000 pt" 'fonts\Application="Sans,100000,-1,5,50,0,0,0,0,0"' ""
run "editor font of 100000 pt" 'xqeditor\Font="Monospace,100000,-1,5,50,0,0,0,0,0"' ""
run "cursor at the int limit" "$session
editors\\openedFilePoses=$big:$big" "1:8"
run "cursor ten million columns out" "$session
editors\\openedFilePoses=0:10000000" "0:8"
exit 0
