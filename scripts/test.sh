#!/usr/bin/env bash
# Sets up what is missing, builds with warnings as errors and runs every test.
# --sanitize runs the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
if [ "${1:-}" = "--sanitize" ]; then
    export BUILD_DIR="$root/build-sanitize" BUILD_TYPE=Debug
    # Leak checking stays off for the whole suite: the desktop's D-Bus library leaks a buffer of its own
    # in the real window, and the leak tracer itself crashes on the threads the desktop services leave.
    export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    "$root/scripts/build.sh" -DZORVANE_WERROR=ON -DZORVANE_SANITIZE=ON
else
    export BUILD_DIR="$root/build"
    "$root/scripts/build.sh" -DZORVANE_WERROR=ON
fi
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
