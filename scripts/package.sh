#!/usr/bin/env bash
# Sets up what is missing, builds optimised into build-package/ (without the tests) with Debian's hardening
# flags, and makes the Debian package there; prints its name.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-package"
"$root/scripts/install-deps.sh"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
ldflags=$(dpkg-buildflags --get LDFLAGS)
BUILD_TYPE=Release BUILD_DIR="$build" "$root/scripts/build.sh" -DBUILD_TESTING=OFF \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
cd "$build"
rm -f zorvane_*.deb
cpack -G DEB >/dev/null
ls "$build"/zorvane_*.deb
