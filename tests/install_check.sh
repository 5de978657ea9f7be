#!/usr/bin/env bash
# Installs a build into a throw-away DESTDIR and checks that every file is
# there and valid, then makes the Debian package and checks its files, its
# dependencies and that apt could install it on this release. With
# ORVARADIO_PACKAGE_INSTALL=1 (as root, in a machine that may be changed) it
# also installs the package, starts the installed desk, and removes the
# package again, also when a step fails.
# Usage: install_check.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
STAGE=$(mktemp -d)
trap 'rm -rf "$STAGE"' EXIT
fail() { echo "install check: $*" >&2; exit 1; }

ID=org.orvaradio.OrvaRadio
VERSION=$(sed -n 's/^project(OrvaRadio VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
FILES="usr/bin/orvaradio usr/bin/orvaradio-report usr/bin/orvaradio-time-voices
  usr/share/applications/$ID.desktop usr/share/metainfo/$ID.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/$ID.svg
  usr/share/icons/hicolor/48x48/apps/$ID.png usr/share/icons/hicolor/128x128/apps/$ID.png
  usr/share/icons/hicolor/256x256/apps/$ID.png usr/share/man/man1/orvaradio.1.gz
  usr/share/man/man1/orvaradio-report.1.gz usr/share/man/man1/orvaradio-time-voices.1.gz
  usr/share/doc/orvaradio/copyright usr/share/doc/orvaradio/changelog.gz"

DESTDIR=$STAGE/root cmake --install "$BUILD" --prefix /usr >/dev/null
for file in $FILES; do
    [ -s "$STAGE/root/$file" ] || fail "$file is not installed"
done
for program in orvaradio orvaradio-report orvaradio-time-voices; do
    [ -x "$STAGE/root/usr/bin/$program" ] || fail "$program is not executable"
done
for size in 48 128 256; do
    # A PNG's width: bytes 16 to 19 of the file, big-endian.
    width=$(od -An -tu1 -j16 -N4 "$STAGE/root/usr/share/icons/hicolor/${size}x$size/apps/$ID.png" \
        | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }')
    [ "$width" = "$size" ] || fail "the ${size} px icon is $width px wide"
done
desktop-file-validate "$STAGE/root/usr/share/applications/$ID.desktop"
appstreamcli validate --no-net "$STAGE/root/usr/share/metainfo/$ID.metainfo.xml" >/dev/null \
    || fail "the AppStream metadata does not validate"
for program in orvaradio orvaradio-report orvaradio-time-voices; do
    page=$STAGE/root/usr/share/man/man1/$program.1.gz
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page of $program: $warnings"
    MANWIDTH=80 man -l "$page" | grep -q "OrvaRadio $VERSION" \
        || fail "the manual page of $program does not render with the version"
done
# The changelog's latest entry is the version being packaged.
zcat "$STAGE/root/usr/share/doc/orvaradio/changelog.gz" | head -1 | grep -q "^orvaradio ($VERSION)" \
    || fail "the changelog does not start with $VERSION"

cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$STAGE/package" >/dev/null
deb=$(ls "$STAGE"/package/orvaradio_*_*.deb)
listing=$(dpkg-deb -c "$deb")
for file in $FILES; do
    grep -q " \./$file\$" <<<"$listing" || fail "$file is not in the package"
done
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "section"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6multimedia6 libqt6widgets6 libtag ffmpeg; do
    grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done
# Loaded, not linked: the SVG picture plugin's package on this release, and
# GStreamer's plugins where Qt plays through them.
svg=$(dpkg-query -S '*/qt6/plugins/imageformats/libqsvg.so' 2>/dev/null | sed -n '1s/[:,].*//p') || svg=""
grep -Eq "(^|[ ,|])${svg:-qt6-svg-plugins}(\$|[ ,|])" <<<"$depends" \
    || fail "Depends lacks the SVG plugin's package ${svg:-qt6-svg-plugins}: $depends"
if dpkg-query -S '*/qt6/plugins/multimedia/libgstreamermediaplugin.so' >/dev/null 2>&1; then
    for package in gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-pulseaudio; do
        grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
    done
fi
echo "package: $(basename "$deb"), depends: $depends"
dpkg-deb -x "$deb" "$STAGE/unpacked"
for program in orvaradio orvaradio-report; do
    file "$STAGE/unpacked/usr/bin/$program" | grep -q ", stripped" || fail "$program is not stripped"
done
# Lintian's errors fail the check; its warnings are shown.
lintian --fail-on error "$deb" || fail "lintian finds errors in the package"

# Every dependency must be installable from this machine's release: apt's
# dry run resolves them without changing anything.
cp "$deb" "$STAGE/orvaradio.deb"
if ! resolved=$(apt-get install -s -q "$STAGE/orvaradio.deb" 2>&1); then
    fail "apt cannot install the package on this release:
$resolved"
fi

[ "${ORVARADIO_PACKAGE_INSTALL:-0}" = 1 ] || exit 0
desk=""
# A failed check leaves neither the desk running nor the package installed.
cleanup() {
    [ -z "$desk" ] || kill "$desk" 2>/dev/null || true
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q orvaradio >/dev/null 2>&1 || true
    rm -rf "$STAGE"
}
trap cleanup EXIT
if ! log=$(DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$STAGE/orvaradio.deb" 2>&1); then
    fail "apt could not install the package:
$log"
fi
dpkg-query -W -f='${Status}' orvaradio 2>/dev/null | grep -q "ok installed" \
    || fail "apt finished, yet the package is not installed:
$log"
home=$STAGE/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share TMPDIR=$home \
    QT_QPA_PLATFORM=offscreen /usr/bin/orvaradio &
desk=$!
# The window is built before the splash hands over to it, two seconds in.
sleep 5
kill -0 "$desk" 2>/dev/null || fail "the installed desk did not keep running"
[ -f "$home/.config/OrvaRadio/OrvaRadio.conf" ] || fail "the installed desk wrote no settings"
# The end of a session: the desk closes in order, its marker gone.
kill "$desk"
status=0
wait "$desk" 2>/dev/null || status=$?
desk=""
[ "$status" = 0 ] || fail "the installed desk ended with status $status on SIGTERM"
! ls "$home"/qipc_* >/dev/null 2>&1 || fail "the installed desk left its single-instance files"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/orvaradio --version | grep -q "^OrvaRadio " \
    || fail "orvaradio --version does not answer without a display"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q orvaradio >/dev/null
for file in $FILES; do
    [ ! -e "/$file" ] || fail "/$file is left after removal"
done
! dpkg-query -W -f='${Status}' orvaradio 2>/dev/null | grep -q "ok installed" \
    || fail "the package is still installed"
echo "installed, started and removed cleanly"
