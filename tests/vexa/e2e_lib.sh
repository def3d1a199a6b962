# Shared by the end-to-end scripts, which source it; not a test of its own.
# The scripts run the real program on an X server of its own (on-xvfb.sh) and drive
# it with xdotool. They set `pid` (the program), `work` (a folder whose
# vexa.log holds its output) and may set `name` (the case being run).

# Runs the calling script again on an X server of its own (on-xvfb.sh, a
# 1280x1024 screen); exits with 77 (skipped, for CTest) when a tool is
# missing. Returns inside.
e2e_under_xvfb() {
    [ "${E2E_INNER:-}" = 1 ] && return 0
    if ! command -v xdotool >/dev/null 2>&1; then
        echo "SKIP: xdotool is not installed (scripts/install-deps installs it)"
        exit 77
    fi
    E2E_INNER=1 exec "$(dirname "$0")/../support/on-xvfb.sh" "$0" "$@"
}

alive() { kill -0 "$pid" 2>/dev/null; }

fail() {
    echo "FAIL${name:+ ($name)}: $*"
    echo "---- program output ----"
    cat "$work/vexa.log"
    alive && kill "$pid"
    exit 1
}

# Waits up to <seconds> for the main window (its caption ends with "Vexa")
# and sets `win` to it and `polls` to the number of looks it took.
e2e_wait_for_window() {
    win=
    polls=0
    while [ $polls -lt $(($1 * 5)) ]; do
        alive || fail "the program ended before its window appeared"
        win=$(xdotool search --onlyvisible --name 'Vexa$' 2>/dev/null | head -n 1)
        [ -n "$win" ] && return 0
        sleep 0.2
        polls=$((polls + 1))
    done
    fail "no main window after $1 s"
}

# Waits up to <seconds> for <command...> to succeed, looking every 0.1 s,
# and fails naming <what> when it does not. Nothing is sent meanwhile: the
# keys that led here were sent once. The program ending meanwhile fails too.
e2e_wait_until() {
    secs=$1 what=$2
    shift 2
    looks=0
    until "$@"; do
        alive || fail "the program ended while waiting for $what"
        [ $looks -ge $((secs * 10)) ] && fail "no $what after $secs s"
        sleep 0.1
        looks=$((looks + 1))
    done
}

# Conditions for e2e_wait_until: the main window's caption matches a shell
# pattern; a window has the keyboard focus; a file holds a text; a visible
# window's name matches a regular expression (its id then in `found`).
e2e_caption_like() {
    case $(xdotool getwindowname "$win" 2>/dev/null) in $1) return 0 ;; esac
    return 1
}
e2e_focus_on() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
e2e_file_holds() { [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }
e2e_window_named() {
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$found" ]
}

# Waits for a dialog named by <regex> to appear and to get the keyboard
# focus, so that keys typed next reach it; its id goes to `dialog`.
e2e_wait_for_dialog() {
    e2e_wait_until 30 "a window named $1" e2e_window_named "$1"
    dialog=$found
    e2e_wait_until 30 "the keyboard focus in the window named $1" e2e_focus_on "$dialog"
}

# Gives the main window the keyboard focus, waiting up to 60 s (a loaded
# machine) for the X server to report it; keys sent without it would be lost.
e2e_focus() {
    timeout 60 xdotool windowfocus --sync "$win" 2>/dev/null ||
        fail "the window did not get the keyboard focus in 60 s"
}

# Presses Ctrl+Q once, with the window given the focus, and waits up to
# 60 s for the program to end (well under a second on a quiet machine).
e2e_quit() {
    e2e_focus
    xdotool key --clearmodifiers ctrl+q
    j=0
    while alive && [ $j -lt 300 ]; do
        sleep 0.2
        j=$((j + 1))
    done
    alive && fail "Ctrl+Q did not end the program"
    return 0
}
