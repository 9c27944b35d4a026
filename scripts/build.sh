#!/usr/bin/env bash
# Configures and builds into build/ (or the folder in BUILD_DIR); extra arguments go to CMake.
# BUILD_TARGETS, when set, names the only targets to build (with what they need), e.g. "zorvane zorvane-db".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
targets=()
for t in ${BUILD_TARGETS:-}; do
    targets+=(--target "$t")
done
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
