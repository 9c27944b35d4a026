#!/usr/bin/env bash
# Makes the Debian package once from this build, checks its files with the desktop's validators and
# lintian, then unpacks it into a folder of its own and starts the program there as a new user would (a
# fresh home, the offscreen platform): the glossary must appear in the user's data folder with the sample's
# rows, and the window must list them. Exits 77 (skipped) where the packaging tools are missing.
# Usage: package_test.sh CPACK BUILD_DIR PROBE_PLUGIN_DIR
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 CPACK BUILD_DIR PROBE_PLUGIN_DIR" >&2
    exit 2
fi
cpack=$1 build=$2 plugins=$3

missing=()
for tool in dpkg-deb dpkg-shlibdeps file lintian desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIPPED: ${missing[*]} missing; scripts/install-deps.sh installs them"
    exit 77
fi

fail() {
    echo "PACKAGE FAILED: $*" >&2
    exit 1
}
trap 'echo "PACKAGE FAILED: line $LINENO: $BASH_COMMAND" >&2' ERR

work=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

# 1. The package, once, outside the build folder.
(cd "$build" && "$cpack" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/zorvane_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single zorvane_*.deb"
deb=${debs[0]}
echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --field "$deb" Version Depends Installed-Size

app_id=example.pelvaro.Zorvane
expected=(./usr/bin/zorvane ./usr/bin/zorvane-db ./usr/share/zorvane/QUORLAN.mdb
          "./usr/share/applications/$app_id.desktop" "./usr/share/metainfo/$app_id.metainfo.xml"
          "./usr/share/icons/hicolor/scalable/apps/$app_id.svg"
          ./usr/share/man/man1/zorvane.1.gz ./usr/share/man/man1/zorvane-db.1.gz
          ./usr/share/doc/zorvane/copyright ./usr/share/doc/zorvane/changelog.Debian.gz)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
dpkg-deb --contents "$deb" | awk '{ print $6 }' >"$work/contents"
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb --field "$deb" Depends)
for dep in libqt6widgets6 libsqlcipher qt6-qpa-plugins qt6-translations-l10n xdg-utils; do
    [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done

# 2. The validators on the files as the package holds them, and lintian on the package: no error, and no
# warning but the one the README explains (a package that is not for Debian's archive closes no ITP bug).
dpkg-deb -x "$deb" "$work/root"
desktop="$work/root/usr/share/applications/$app_id.desktop"
echo "== desktop-file-validate" && desktop-file-validate "$desktop"
echo "== appstreamcli validate --no-net" && appstreamcli validate --no-net --no-color \
    "$work/root/usr/share/metainfo/$app_id.metainfo.xml"
echo "== lintian -I"
lintian -I --fail-on none "$deb" 2>&1 | tee "$work/lintian.log"
grep -E '^[EW]: ' "$work/lintian.log" | grep -v ' initial-upload-closes-no-bugs ' && fail "lintian"

# 3. The program as the menu entry starts it, unpacked, for a user who never ran it.
command=$(sed -n 's/^Exec=//p' "$desktop")
[ "$command" = zorvane ] || fail "the menu entry runs '$command'"
home="$work/home"
mkdir -p "$home" "$work/runtime" && chmod 700 "$work/runtime"
report=$(env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$home" XDG_RUNTIME_DIR="$work/runtime" \
             QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS=zvwindowprobe \
             timeout 60 "$work/root/usr/bin/$command" 2>"$work/zorvane.log") ||
    { cat "$work/zorvane.log" >&2; fail "the program did not show its window: ${report:-nothing}"; }
echo "== the window"
echo "$report"

glossary="$home/.local/share/Zorvane/QUORLAN.mdb"
[ -f "$glossary" ] || fail "no glossary in $home/.local/share/Zorvane"
[ ! -e "$work/root/usr/bin/QUORLAN.mdb" ] || fail "a glossary appeared beside the installed program"
tool="$work/root/usr/bin/zorvane-db"
"$tool" export "$work/root/usr/share/zorvane/QUORLAN.mdb" "$work/sample.csv" >"$work/sample.log"
"$tool" export "$glossary" "$work/user.csv" >/dev/null
cmp -s "$work/sample.csv" "$work/user.csv" || fail "the user's glossary is not the sample"
rows=$(grep -o '^[0-9]*' "$work/sample.log")
[ "$rows" -gt 0 ] || fail "the sample glossary is empty"
grep -qx "righe: $rows" <<<"$report" || fail "the window does not list the sample's $rows rows"
grep -qx "conteggio: $rows" <<<"$report" || fail "the window's count does not say $rows"
echo "== PASSED: the glossary made in the user's data folder holds the sample's $rows rows, and the window lists them"
