#!/bin/sh
# End-to-end run of the real program on an X server of its own: start it
# with files to open, wait for its main window, type into the C++
# file shown with xdotool, save it with Ctrl+S, save a new file through the
# Save As dialog and type on after it, take a picture of the window, press
# Ctrl+Q, and check that it exits with status 0, that the files on disk hold
# the typed text and that the settings were written. Each key is sent once,
# and the script never pauses for a fixed time: it waits for what a user
# would see (a caption, a window with the keyboard focus, colours on the
# screen) or for a file's text.
#
# Usage: e2e_vexa.sh <path of the vexa executable> [<screenshot file>]
# The harness gives HOME and XDG_CONFIG_HOME of a throwaway sandbox. The
# screenshot (a PNG of the window with the highlighted C++ file) is taken
# when ImageMagick's import is installed.
# Exit status 77 tells CTest the test was skipped (no Xvfb or xdotool).
set -u

VEXA=${1:?usage: e2e_vexa.sh <vexa executable> [<screenshot file>]}
SHOT=${2:-}

. "$(dirname "$0")/e2e_lib.sh"
e2e_under_xvfb "$@"

# ---- inside the X server ---------------------------------------------------

: "${XDG_CONFIG_HOME:?the harness sets XDG_CONFIG_HOME}"
conf="$XDG_CONFIG_HOME/vexa/vexa.conf"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$conf"
printf 'first line\nsecond line\n' > "$work/hello.txt"
printf 'int main()\n{\n    return 0;\n}\n' > "$work/main.cpp"
mkdir "$work/folder"

cd "$work" || exit 1
# The last file named is the current editor when the window appears.
QT_QPA_PLATFORM=xcb "$VEXA" hello.txt folder missing.txt main.cpp > "$work/vexa.log" 2>&1 &
pid=$!

# A slow machine gets up to three minutes; the wait ends as soon as the
# window is there.
e2e_wait_for_window 180
echo "main window $win after $polls polls"

# There is no window manager: give the window the input focus ourselves, once,
# then type a line at the start of main.cpp and save it with Ctrl+S. The keys
# are typed once: the editor must have the keyboard focus from the start. No
# pause is needed between keys: the program handles them in the order sent,
# and each wait below is for something the user would see.
# The caption names the current editor's file from the start.
caption=$(xdotool getwindowname "$win")
[ "$caption" = "main.cpp : $work/ - Vexa" ] || fail "caption at start: $caption"
original=$(cat "$work/main.cpp")
typed='// typed by xdotool'
e2e_focus
xdotool type --delay 20 "$typed"
xdotool key Return ctrl+s
expected=$(printf '%s\n%s' "$typed" "$original")
# Waits up to 30 s for a file to hold what is expected (the keys are not sent
# again); fails with the file's text.
wait_for() {
    e2e_wait_until 30 "$1 holding the expected text (it holds: $(cat "$1" 2>&1))" \
        e2e_file_holds "$1" "$2"
}
wait_for "$work/main.cpp" "$expected"
echo "typed and saved main.cpp"

# ---- after a dialog of ours closed -------------------------------------------
# A new editor (Alt+N), some text, Ctrl+S opens Save As; the name is typed into
# the dialog. Once it has closed the editor must have the focus again: the next
# keys and Ctrl+S land in the saved file.
xdotool key alt+n
xdotool type --delay 20 'first'
xdotool key ctrl+s
e2e_wait_for_dialog '^Save As$'
xdotool type --delay 20 "$work/new.txt"
xdotool key Return
wait_for "$work/new.txt" 'first'
e2e_wait_until 30 "the keyboard focus back in the main window after Save As" e2e_focus_on "$win"
xdotool type --delay 20 ' second'
xdotool key ctrl+s
wait_for "$work/new.txt" 'first second'
echo "typed after the Save As dialog and saved new.txt"
# -----------------------------------------------------------------------------

# A picture of the window with the highlighted C++ file, kept as an artefact.
if [ -n "$SHOT" ] && command -v import >/dev/null 2>&1; then
    mkdir -p "$(dirname "$SHOT")"
    import -window "$win" "$SHOT" 2>>"$work/vexa.log" || fail "import could not take the screenshot"
    [ -s "$SHOT" ] || fail "empty screenshot $SHOT"
    echo "screenshot $SHOT"
elif [ -n "$SHOT" ]; then
    echo "no screenshot: ImageMagick's import is not installed"
fi

# ---- search in files -------------------------------------------------------
# Ctrl+Alt+F, a word, Return: the search walks the working folder (the
# dialog's first-start folder) and puts the hit's row into the messages panel.
# The row is found on screen as the pure blue that was not there before (the
# colour of the hit's text), and a click on it opens the file at the hit's
# line; a marker typed there and saved with Ctrl+S starts that line on disk.
printf 'alpha\nbeta\ngamma e2eneedle\n' > "$work/found.txt"
blue_mask() {
    import -window root "$work/shot.png" 2>>"$work/vexa.log" &&
        convert "$work/shot.png" -alpha off -fill black +opaque blue -fill white -opaque blue "$1"
}
command -v import >/dev/null 2>&1 || fail "search in files: ImageMagick's import is needed"
blue_mask "$work/before.png" || fail "search in files: no screenshot"
# The window has the focus since the start; the keys are sent once.
xdotool key --clearmodifiers ctrl+alt+f
e2e_wait_for_dialog '^Search in files'
xdotool type --delay 20 e2eneedle
xdotool key Return
# Whether blue shows where there was none before; its box goes to `box`.
new_blue() {
    blue_mask "$work/after.png" || fail "search in files: no screenshot"
    convert "$work/before.png" -negate "$work/not-before.png"
    convert "$work/after.png" "$work/not-before.png" -compose multiply -composite \
        "$work/new.png"
    box=$(convert "$work/new.png" -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
    case "$box" in '' | 0x0*) return 1 ;; esac
}
e2e_wait_until 30 "the hit's row of the search in files" new_blue
# The box is WxH+X+Y in the bordered picture: one pixel off each way.
x=$(echo "$box" | sed 's/^[0-9]*x[0-9]*+\([0-9]*\)+.*/\1/')
y=$(echo "$box" | sed 's/^[0-9]*x\([0-9]*\)+[0-9]*+\([0-9]*\)$/\2 \1/' | awk '{print $1 + int($2 / 2) - 1}')
xdotool mousemove "$x" "$y" click 1
echo "search in files: hit row at $x,$y"
# The click opened the file and gave it the focus; the marker is typed once.
e2e_wait_until 30 "the caption naming found.txt after the click" e2e_caption_like 'found.txt*'
xdotool type --delay 20 'MARK'
xdotool key ctrl+s
wait_for "$work/found.txt" "$(printf 'alpha\nbeta\nMARKgamma e2eneedle')"
echo "search in files: the row opened found.txt at line 3"
# ---- end of search in files -------------------------------------------------

# Then press Ctrl+Q.
e2e_quit

wait "$pid"
status=$?
echo "exit status $status"
[ "$status" -eq 0 ] || fail "exit status $status, expected 0"

[ -f "$conf" ] || fail "no settings file $conf"
for key in 'geometry\\w=' 'geometry\\vSplitter=' 'geometry\\leftDockShown='; do
    grep -q "^$key" "$conf" || fail "settings file lacks $key"
done
[ "$(cat "$work/main.cpp")" = "$expected" ] || fail "main.cpp changed after the save"
[ "$(cat "$work/hello.txt")" = "$(printf 'first line\nsecond line')" ] || fail "hello.txt changed"
echo "PASS: typed text saved, exited with 0 and wrote $conf"

# ---- projects ---------------------------------------------------------------
# The sandbox configuration names a project in "/project/openedProject": its
# tree shows at start with the keyboard focus; End reaches its file and
# Return opens it (the caption names it); text typed and saved lands in the
# file; Ctrl+Q rewrites the project file, and a second start reopens it.

proj="$work/proj"
mkdir -p "$proj/src"
printf 'project notes\n' > "$proj/notes.txt"
cat > "$proj/demo.vexa" <<'XML'
<!DOCTYPE vexaproject>
<vexaproject>
 <project version="8.0" name="Demo">
  <folder name="src"/>
  <text name="notes.txt" type="file"/>
 </project>
</vexaproject>
XML
printf '[vexa]\nproject\\openedProject=%s\n' "$proj/demo.vexa" > "$conf"

# Starts the program without arguments and waits for its main window.
start_vexa() {
    QT_QPA_PLATFORM=xcb "$VEXA" > "$work/vexa.log" 2>&1 &
    pid=$!
    e2e_wait_for_window 180
}
# Ends it with Ctrl+Q; its exit status must be 0.
quit_vexa() {
    e2e_quit
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
}

start_vexa
echo "project: main window $win"
# The editor has the keyboard focus at start; the user moves it to the project
# tree through Window > Project window, once. End reaches the file, Return
# opens it, and the opened file takes the focus.
e2e_focus
xdotool key alt+w
xdotool key p
xdotool key End Return
e2e_wait_until 30 "the caption naming notes.txt" e2e_caption_like '*notes.txt*'
echo "project: Return in the tree opened notes.txt"
if [ -n "$SHOT" ] && command -v import >/dev/null 2>&1; then
    import -window "$win" "${SHOT%.png}_project.png" 2>>"$work/vexa.log" || true
fi

note='typed into the project file'
xdotool type --delay 20 "$note"
xdotool key Return ctrl+s
wait_for "$proj/notes.txt" "$(printf '%s\nproject notes' "$note")"
echo "project: typed once and saved notes.txt"

quit_vexa
grep -q 'open="1"' "$proj/demo.vexa" || fail "Ctrl+Q did not rewrite the project file"
grep -q "^project\\\\openedProject=$proj/demo.vexa\$" "$conf" ||
    fail "the settings do not name the open project"

# The second start reopens the project, and so its exit writes it once more.
sed -i 's/ open="1"//' "$proj/demo.vexa"
start_vexa
quit_vexa
grep -q 'open="1"' "$proj/demo.vexa" || fail "the second start did not reopen the project"
echo "PASS: the project opened at start, its file opened and was saved, and it came back"
# ---- new project -------------------------------------------------------------
# Project > New through the keyboard: the form opens with the focus on the
# name, the typed name suggests folder and file below the stored projects
# folder, Return creates the project and opens it. Each key is sent once.
printf '[vexa]\nproject\\projectsDir=%s\n' "$work/projects/" > "$conf"
start_vexa
e2e_focus
xdotool key --clearmodifiers alt+p
xdotool key --clearmodifiers Return
e2e_wait_for_dialog '^New project$'
xdotool type --delay 20 'E2E Demo'
if [ -n "$SHOT" ] && command -v import >/dev/null 2>&1; then
    import -window root "${SHOT%.png}_newproject.png" 2>>"$work/vexa.log" || true
fi
xdotool key --clearmodifiers Return
created="$work/projects/e2e_demo/e2e_demo.vexa"
e2e_wait_until 30 "$created made by Project > New" test -s "$created"
quit_vexa
grep -q 'name="E2E Demo"' "$created" || fail "the new project file lacks its name: $(cat "$created")"
grep -q "^project\\\\openedProject=$created\$" "$conf" ||
    fail "the settings do not name the new project"
echo "PASS: Project > New made and opened $created"
# ---- file explorer ---------------------------------------------------------
# Started again with the explorer's stored folder and file naming a fixture:
# Ctrl+T focuses the explorer (on that file), Return opens the file, and the
# caption names it.
name=explorer
mkdir "$work/explore"
printf 'explored\n' > "$work/explore/notes.txt"
printf 'other\n' > "$work/explore/another.txt"
printf '[vexa]\nfileexplorer\\lastPath=%s\nfileexplorer\\lastFile=notes.txt\n' "$work/explore" > "$conf"
start_vexa
# The focus is given once and each key is sent once.
e2e_focus
xdotool key --clearmodifiers ctrl+t
xdotool key --clearmodifiers Return
e2e_wait_until 30 "the caption naming notes.txt" e2e_caption_like '*notes.txt*'
echo "explorer: opened notes.txt: $(xdotool getwindowname "$win")"
quit_vexa
grep -q '^fileexplorer\\lastFile=notes.txt$' "$conf" || fail "the explorer's current file was not kept"
[ "$(cat "$work/explore/notes.txt")" = explored ] || fail "notes.txt changed"
name=
echo "PASS: the explorer opened its stored file with Ctrl+T and Return"
# ---- end of file explorer ---------------------------------------------------

# ---- build runner -------------------------------------------------------------
# A project reopened at start carries make attributes; its Makefile runs
# python3 on a script that fails at line 3 and passes on, to standard error,
# the traceback row naming the script. F9 makes; the topmost pure red row is
# that traceback row (make's own error row follows it). A click on it opens
# the script at line 3; a marker typed and saved with Ctrl+S starts that line.
command -v python3 >/dev/null 2>&1 || fail "build runner: python3 is needed"
command -v make >/dev/null 2>&1 || fail "build runner: make is needed"
bproj="$work/bproj"
mkdir -p "$bproj"
printf 'x = 1\ny = 2\nundefined_name\n' > "$bproj/fail.py"
printf 'all:\n\tpython3 $(CURDIR)/fail.py 2>&1 | grep -F "  File" >&2; exit 3\n' > "$bproj/Makefile"
cat > "$bproj/build.vexa" <<'XML'
<!DOCTYPE vexaproject>
<vexaproject>
 <project version="8.0" name="Build" makeScript="make" makeScriptArgs="-s">
  <text name="fail.py" type="file"/>
 </project>
</vexaproject>
XML
printf '[vexa]\nproject\\openedProject=%s\n' "$bproj/build.vexa" > "$conf"
# The screen rows holding the pure red of standard error (anti-aliased edges
# included), first to last.
red_rows() {
    import -window root "$work/shot.png" 2>>"$work/vexa.log" &&
        convert "$work/shot.png" -alpha off -fuzz 25% -fill black +opaque '#f00000' \
            -fill white -opaque '#f00000' "$work/red.png" &&
        convert "$work/red.png" -colorspace gray -scale '1x!' -depth 16 txt:- |
        awk -F'[,:() ]+' '/^[0-9]/ && $4 > 0 { print $2 }'
}
# Whether the screen shows two bands of red rows: the traceback row and
# make's own error row after it. Leaves the rows in `rows`.
two_red_bands() {
    rows=$(red_rows)
    [ "$(echo "$rows" | awk 'NF && (n == 0 || $1 > last + 1) { n++ } { last = $1 } END { print n + 0 }')" -ge 2 ]
}
name=build
start_vexa
# The focus is given once and F9 is sent once.
e2e_focus
xdotool key F9
e2e_wait_until 60 "the traceback row and make's error row in red after F9" two_red_bands
y=$(($(echo "$rows" | head -n 1) + 5))
x=$(convert "$work/red.png" -crop "x1+0+$y" +repage -bordercolor black -border 1 -format '%@' info: |
    sed 's/^[0-9]*x[0-9]*+\([0-9]*\)+.*/\1/')
if [ -n "$SHOT" ]; then
    import -window "$win" "${SHOT%.png}_make.png" 2>>"$work/vexa.log" || true
fi
xdotool mousemove "$((x + 20))" "$y" click 1
echo "build runner: traceback row at $((x + 20)),$y"
# The click opened the script and gave it the focus; the marker is typed once.
e2e_wait_until 30 "the caption naming fail.py after the click" e2e_caption_like 'fail.py*'
xdotool type --delay 20 'MARK'
xdotool key ctrl+s
wait_for "$bproj/fail.py" "$(printf 'x = 1\ny = 2\nMARKundefined_name')"
quit_vexa
name=
echo "PASS: F9 made the project, its traceback row opened the script at line 3"
# ---- end of build runner --------------------------------------------------------
# ---- a long wrapped line -----------------------------------------------------
# A file of one 5 MB line, opened at start (word wrap is on by default). Page
# Down three times, each key sent once, moves the caret a page of the line's
# rows each time: a marker typed then and saved with Ctrl+S stands thousands
# of characters into the line on disk.
name=long-line
awk 'BEGIN { for (i = 0; n < 5242880; i++) { w = "word" i " "; printf "%s", w; n += length(w) } }' \
    > "$work/long.txt"
rm -f "$conf"
QT_QPA_PLATFORM=xcb "$VEXA" long.txt > "$work/vexa.log" 2>&1 &
pid=$!
e2e_wait_for_window 180
e2e_focus
xdotool key Next
xdotool key Next
xdotool key Next
xdotool type --delay 20 'PGMARK'
xdotool key ctrl+s
j=0
while alive && [ $j -lt 300 ] && ! grep -q PGMARK "$work/long.txt"; do
    sleep 0.2
    j=$((j + 1))
done
at=$(grep -bo PGMARK "$work/long.txt" | head -n 1 | cut -d: -f1)
[ -n "$at" ] || fail "the marker typed after three Page Downs was not saved"
[ "$at" -gt 2000 ] || fail "three Page Downs reached only offset $at of the 5 MB line"
echo "long line: three Page Downs reached offset $at"
quit_vexa
name=
# ---- end of a long wrapped line ----------------------------------------------
# ---- tags ------------------------------------------------------------------
# A C file whose functions start on lines 3, 7 and 11, opened at start. Once
# its tags have arrived (the program reports each tree it shows under the
# logging category "vexa.tags"), Alt+Down twice puts the cursor at the start
# of line 7: a marker typed there once and saved with Ctrl+S starts that line
# on disk. Skipped where ctags is not installed.
name=tags
if command -v ctags >/dev/null 2>&1; then
    cat > "$work/funcs.c" <<'C'
/* three functions */

int one(void)
{
    return 1;
}
int two(void)
{
    return 2;
}
int three(void)
{
    return 3;
}
C
    tagged=$(sed '7s/^/TAGMARK/' "$work/funcs.c")
    rm -f "$conf"
    QT_LOGGING_RULES='vexa.tags.debug=true' QT_QPA_PLATFORM=xcb "$VEXA" funcs.c > "$work/vexa.log" 2>&1 &
    pid=$!
    e2e_wait_for_window 180
    e2e_wait_until 60 "the tags of funcs.c" \
        grep -q "tags shown for $work/funcs.c with 3 " "$work/vexa.log"
    e2e_focus
    xdotool key --clearmodifiers alt+Down
    xdotool key --clearmodifiers alt+Down
    xdotool type --delay 20 'TAGMARK'
    xdotool key ctrl+s
    wait_for "$work/funcs.c" "$tagged"
    echo "tags: Alt+Down twice reached line 7 of funcs.c"
    quit_vexa
else
    echo "tags: skipped, no ctags installed"
fi
name=
# ---- end of tags ------------------------------------------------------------

# ---- first start, the saved-text mark ----------------------------------------
# A fresh profile: the left dock shows the files explorer (its tab button is
# the raised one), seen on the X server: the dock's page is not one flat
# colour, as the blank page it once showed was. Then a line is typed into
# the file given and saved, a letter is typed and undone: the text is the
# saved one again, so Ctrl+Q ends the program without a question.
name=mark
rm -f "$conf"
printf 'alpha\n' > "$work/mark.txt"
QT_QPA_PLATFORM=xcb "$VEXA" mark.txt > "$work/vexa.log" 2>&1 &
pid=$!
e2e_wait_for_window 180
# The dock's page: left of the editors, below the tool bars (the window's
# built-in place and size on a fresh profile).
origin=$(xdotool getwindowgeometry "$win" | sed -n 's/^ *Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
wx=${origin% *}
wy=${origin#* }
colours=1
j=0
while alive && [ "$colours" -le 1 ] && [ $j -lt 50 ]; do
    import -window root "$work/shot.png" 2>>"$work/vexa.log" || fail "no screenshot"
    colours=$(convert "$work/shot.png" -crop "180x120+$((wx + 8))+$((wy + 60))" +repage \
        -format '%k' info:)
    [ "$colours" -le 1 ] && sleep 0.2
    j=$((j + 1))
done
[ "$colours" -gt 1 ] || fail "the left dock shows a blank page at the first start"
if [ -n "$SHOT" ]; then
    cp "$work/shot.png" "${SHOT%.png}_firststart.png"
fi
echo "first start: the left dock shows a page of $colours colours"
e2e_focus
xdotool type --delay 20 'saved'
xdotool key Return ctrl+s
wait_for "$work/mark.txt" "$(printf 'saved\nalpha')" ||
    fail "Ctrl+S did not save mark.txt: $(cat "$work/mark.txt")"
# One letter typed and undone: the text equals the file again.
xdotool type --delay 20 'X'
xdotool key ctrl+z
quit_vexa
[ "$(cat "$work/mark.txt")" = "$(printf 'saved\nalpha')" ] ||
    fail "mark.txt changed: $(cat "$work/mark.txt")"
echo "PASS: first start showed the explorer; save, type, undo, and Ctrl+Q asked nothing"

# ---- a save past the file-size limit -----------------------------------------
# Started under a file-size limit smaller than the file: Ctrl+S fails with
# "File too large" in an error box instead of ending the program, leaves no
# temporary file and the file as it was; once the limit is lifted, the same
# editor saves the typed text.
name=fsize
rm -f "$conf"
mkdir "$work/limit"
head -c 200000 /dev/zero | tr '\0' 'a' > "$work/limit/big.txt"
cp "$work/limit/big.txt" "$work/big.orig"
(
    cd "$work/limit" && ulimit -S -f 64 && exec env QT_QPA_PLATFORM=xcb "$VEXA" big.txt
) > "$work/vexa.log" 2>&1 &
pid=$!
e2e_wait_for_window 180
e2e_focus
xdotool type --delay 20 'Z'
xdotool key ctrl+s
box=
j=0
while alive && [ -z "$box" ] && [ $j -lt 100 ]; do
    box=$(xdotool search --onlyvisible --name '^Error$' 2>/dev/null | head -n 1)
    [ -z "$box" ] && sleep 0.2
    j=$((j + 1))
done
alive || fail "the save past the file-size limit ended the program"
[ -n "$box" ] || fail "no error box for the save past the file-size limit"
[ "$(ls -A "$work/limit")" = big.txt ] || fail "files left beside big.txt: $(ls -A "$work/limit")"
cmp -s "$work/limit/big.txt" "$work/big.orig" || fail "big.txt changed by the failed save"
xdotool windowfocus --sync "$box" 2>/dev/null
xdotool key Return
j=0
while [ -n "$(xdotool search --onlyvisible --name '^Error$' 2>/dev/null)" ] && [ $j -lt 50 ]; do
    sleep 0.2
    j=$((j + 1))
done
prlimit --pid "$pid" --fsize=unlimited: || fail "prlimit could not lift the limit"
e2e_focus
xdotool key ctrl+s
wait_for "$work/limit/big.txt" "Z$(cat "$work/big.orig")" ||
    fail "the typed letter was not saved once the limit was lifted"
quit_vexa
echo "PASS: a save past the file-size limit was reported and the text kept"

# ---- a notice at start -------------------------------------------------------
# A file in the session whose bytes do not decode opens read-only with a
# warning: it shows over the main window, once that is on the screen.
name=notice
printf 'abc\303\050def\n' > "$work/bin.txt"
printf '[vexa]\neditors\\openedFiles=%s\n' "$work/bin.txt" > "$conf"
QT_QPA_PLATFORM=xcb "$VEXA" > "$work/vexa.log" 2>&1 &
pid=$!
box=
j=0
while alive && [ -z "$box" ] && [ $j -lt 900 ]; do
    box=$(xdotool search --onlyvisible --name '^Warning$' 2>/dev/null | head -n 1)
    [ -z "$box" ] && sleep 0.2
    j=$((j + 1))
done
[ -n "$box" ] || fail "no read-only warning for bin.txt"
xdotool search --onlyvisible --name 'Vexa$' >/dev/null 2>&1 ||
    fail "the warning showed before the main window"
e2e_wait_for_window 10
xdotool windowfocus --sync "$box" 2>/dev/null
xdotool key Return
quit_vexa
echo "PASS: the start's warning showed over the main window"
name=
exit 0
