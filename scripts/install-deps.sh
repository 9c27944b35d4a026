#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build, the tests and the window need and is missing.
set -euo pipefail

# qt6-translations-l10n: Qt's own texts (context menus, standard buttons) in Italian; xdg-utils: the desktop's
# way to open the exported file and the update link. dpkg-dev and file: the package's dependencies, computed
# from the programs; lintian, desktop-file-utils and appstream: its checks.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libsqlcipher-dev sqlcipher libcsv-dev
          mdbtools-dev libmdb3 xdg-utils xvfb xdotool imagemagick fonts-dejavu-core xauth python3
          dpkg-dev file lintian desktop-file-utils appstream)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installo: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
