#!/usr/bin/env bash
# Sets up what is missing, builds optimised, and runs the benchmark on synthetic glossaries of 200,000 and
# 1,000,000 terms and on terms with definitions of 1, 5 and 50 MB (made once, in /tmp/zorvane-bench).
# Extra arguments go to the benchmark (--help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
BUILD_TYPE=Release BUILD_DIR="$root/build-bench" "$root/scripts/build.sh" >/dev/null
exec "$root/build-bench/bench/zorvane-bench" "$@"
