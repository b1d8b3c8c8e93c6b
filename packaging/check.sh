#!/usr/bin/env bash
# Checks the installed layout and the Debian package: the desktop entry and the AppStream data
# validate, a DESTDIR install lays out exactly the expected files, lintian finds no error in the
# package, and the package installs, starts Tidepool with a window that is not blank under Xvfb,
# decompresses a fixture ROM with the installed tidepool-cli and compresses it back, holds its
# man pages, copyright and changelog, and removes cleanly.
# Usage: packaging/check.sh BUILD_DIR MAKE_TEST_ROM (the build configured with
# CMAKE_INSTALL_PREFIX=/usr and built; the second the test support's ROM writer).
set -euo pipefail
build=$1
make_test_rom=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
# A tidepool that was installed before the check stays installed after it.
installed_before=false
dpkg -s tidepool >/dev/null 2>&1 && installed_before=true
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xserver:-}" ] && kill "$xserver" 2>/dev/null || true
    if ! $installed_before && dpkg -s tidepool >/dev/null 2>&1; then
        dpkg -r tidepool >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "== install into a DESTDIR"
DESTDIR="$work/root" cmake --install "$build" >/dev/null
(cd "$work/root" && find . -type f | sed 's|^\./||' | sort) > "$work/installed.txt"
diff -u "$here/installed-files.txt" "$work/installed.txt"
desktop-file-validate "$work/root/usr/share/applications/example.marrowfen.Tidepool.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/example.marrowfen.Tidepool.metainfo.xml"
# File managers offer "Open with Tidepool" for the type the desktop entry names only if the
# system's MIME database knows it.
grep -q 'type="application/x-n64-rom"' /usr/share/mime/packages/freedesktop.org.xml \
    || { echo "the MIME database does not know application/x-n64-rom"; exit 1; }

echo "== build, install and start the package"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tidepool_*.deb)
# Lintian's errors fail the check; its warnings and notes are shown.
lintian --fail-on error --allow-root "$deb"
dpkg -i "$deb" >/dev/null
[ "$(command -v tidepool)" = /usr/bin/tidepool ]
dpkg -L tidepool > "$work/listed.txt"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 640x480x24 >/dev/null 2>&1 &
xserver=$!
sleep 1
HOME="$work/home" DISPLAY=$display tidepool >/dev/null 2>&1 &
app=$!
for _ in $(seq 50); do
    DISPLAY=$display xwininfo -root -tree 2>/dev/null | grep -q '"Tidepool 1.0": ("tidepool"' && break
    sleep 0.2
done
sleep 1
DISPLAY=$display import -window root "$work/screen.png"
deviation=$(convert "$work/screen.png" -format '%[fx:standard_deviation]' info:)
echo "screen standard deviation: $deviation"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.01) }' || { echo "the screen is blank"; exit 1; }
kill "$app"
app=

echo "== the window program's own command line, without a display"
env -u DISPLAY -u WAYLAND_DISPLAY tidepool --version | grep -q '^Tidepool 1.0$'
env -u DISPLAY -u WAYLAND_DISPLAY tidepool --help | grep -q '^Usage: tidepool \[ROM\]'
status=0
env -u DISPLAY -u WAYLAND_DISPLAY tidepool --no-such-option 2>/dev/null || status=$?
[ "$status" = 2 ] || { echo "an unknown option gave status $status, not 2"; exit 1; }

echo "== the installed command line"
tidepool-cli --version
"$make_test_rom" "$work/game.v64"
tidepool-cli decompress -q "$work/game.v64"
[ "$(stat -c %s "$work/dec_game.z64")" = $((64 << 20)) ] || { echo "no decompressed ROM"; exit 1; }
zcat /usr/share/man/man1/tidepool-cli.1.gz | grep -q '^\.TH TIDEPOOL-CLI'
zcat /usr/share/man/man1/tidepool.1.gz | grep -q '^\.TH TIDEPOOL '
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    /usr/share/doc/tidepool/copyright
zcat /usr/share/doc/tidepool/changelog.gz | head -1 | grep -q '^tidepool (1\.0) '
"$make_test_rom" --like-an-original "$work/original.z64"
tidepool-cli decompress -q "$work/original.z64"
tidepool-cli compress -q --like "$work/original.z64" -o "$work/back.z64" "$work/dec_original.z64"
cmp "$work/original.z64" "$work/back.z64" || { echo "compress did not give the original back"; exit 1; }

if $installed_before; then
    echo "tidepool was installed before the check: it stays installed, so removal is not checked"
    echo "package checks passed"
    exit 0
fi
echo "== remove the package"
dpkg -r tidepool >/dev/null
while read -r path; do
    if [ -f "$path" ]; then
        echo "left behind: $path"
        exit 1
    fi
done < "$work/listed.txt"
echo "package checks passed"
