#!/usr/bin/env bash
# Sets up what is missing, builds the program and the database tool (not the tests), puts the sample
# glossary beside the program if none is there, and opens the main window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR="$build" BUILD_TARGETS="zorvane zorvane-db" "$root/scripts/build.sh"
app="$build/src/app"
if [ ! -e "$app/QUORLAN.mdb" ]; then
    "$build/tools/zorvane-db" import --create "$app/QUORLAN.mdb" "$root/data/glossario.csv"
fi
# Without a display (a remote shell, a container) the window goes to a virtual one.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Nessun display: Zorvane si apre su un display virtuale, che non si vede; Ctrl+C lo chiude."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$app/zorvane"
fi
exec "$app/zorvane"
