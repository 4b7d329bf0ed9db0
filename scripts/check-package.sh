#!/usr/bin/env bash
# Checks the Debian package `make package` made, as a user would get it: lintian
# finds no errors; installed, `backbeacon --version` names the package's
# version, the binaries are stripped, and the desktop entry and icons are where
# desktops look; removed, nothing of it stays. Needs root (CI is).
#
#   check-package.sh [build folder]
set -euo pipefail

build=${1:-build}
debs=("$build"/backbeacon_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "expected one package in $build, found: ${debs[*]}" >&2
  exit 1
}
deb=$(realpath "${debs[0]}")
version=$(dpkg-deb -f "$deb" Version)
id=org.backbeacon.Backbeacon
echo "package $(basename "$deb"), $(stat -c %s "$deb") bytes"

echo "-- lintian"
lintian --fail-on error --allow-root "$deb"

if dpkg-query -W -f='${db:Status-Status}' backbeacon 2>/dev/null | grep -qx installed; then
  echo "backbeacon is installed already; not touching it" >&2
  exit 1
fi
remove() { apt-get remove --purge -y -qq backbeacon >/dev/null 2>&1 || true; }
trap remove EXIT

echo "-- install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ "$(command -v backbeacon)" = /usr/bin/backbeacon ] || fail "backbeacon is not on the PATH"
said=$(backbeacon --version)
[ "$said" = "backbeacon $version" ] || fail "backbeacon --version said \"$said\", the package is $version"
for binary in /usr/bin/backbeacon /usr/bin/backbeacon-camera /usr/lib/backbeacon/backbeacon-camera-video.so; do
  file -L "$binary" | grep -q ', stripped' || fail "$binary is not stripped: $(file -L "$binary")"
done

desktop-file-validate "/usr/share/applications/$id.desktop"
grep -qx "Icon=$id" "/usr/share/applications/$id.desktop" || fail "the desktop entry names another icon"
appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml" >/dev/null
grep -q "<release version=\"$version\"" "/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo names no release $version"
[ -f "/usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
  png=/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
  file "$png" | grep -q "PNG image data, $size x $size," || fail "$png: $(file "$png")"
done
for doc in copyright changelog.gz; do
  [ -f "/usr/share/doc/backbeacon/$doc" ] || fail "no /usr/share/doc/backbeacon/$doc"
done

echo "-- remove"
trap - EXIT
apt-get remove --purge -y -qq backbeacon >/dev/null
left=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | while read -r f; do
  if [ -e "$f" ]; then echo "$f"; fi
done)
[ -z "$left" ] || fail "left behind after removal: $left"
echo "package checks passed"
