#!/usr/bin/env bash
# Sets up what is missing, builds, puts the sample glossary beside the program if none is there,
# and opens the main window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
app="$root/build/src/app"
if [ ! -e "$app/QUORLAN.mdb" ]; then
    "$root/build/tools/zorvane-db" import --create "$app/QUORLAN.mdb" "$root/data/glossario.csv"
fi
# Without a display (a remote shell, a container) the window goes to a virtual one.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$app/zorvane"
fi
exec "$app/zorvane"
