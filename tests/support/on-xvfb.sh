#!/bin/sh
# Runs a test executable on a virtual X server of its own (xvfb-run picks a
# free display). Exit status 77 tells CTest the test was skipped.
if ! command -v xvfb-run >/dev/null 2>&1 || ! command -v xauth >/dev/null 2>&1; then
    echo "SKIP: xvfb-run is not installed (scripts/install-deps installs it)"
    exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
