#!/bin/sh
# Packs the Windows cdtracks.exe of BUILD_DIR (a MinGW-w64 build) into
# BUILD_DIR/cdtracks-<version>-windows-x86_64.zip: the program, its manual
# page as plain text, a README for the zip (docs/release/README.windows.txt),
# the licence, SDL's licence (SDL-COPYING), SDL-NOTICE.txt, which says what
# is linked in and where its source is, and the patches applied to SDL (from
# BUILD_DIR/sdl-patches). The text files have Windows' CR LF line ends; the
# patches stay as they are, to apply to SDL's source.
#
# The zip is the same, byte for byte, wherever and whenever it is made from
# the same commit: its members are sorted, carry no owner, are writable by
# their owner only and dated SOURCE_DATE_EPOCH (default: the time of the
# last commit), in UTC.
# Usage: dist-windows.sh BUILD_DIR
set -eu

build=$1
top=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$build/cdtracks.exe" ] || [ ! -f "$build/SDL-NOTICE.txt" ]; then
    echo "dist-windows: $build holds no Windows build (make dist-windows makes one)" >&2
    exit 1
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=cdtracks-$version-windows-x86_64
stage=$build/dist/$name
rm -rf "$build/dist" "$build"/cdtracks-*-windows-*.zip
mkdir -p "$stage"

cp "$build/cdtracks.exe" "$stage/"
# Text files as Windows' own: CR LF line ends.
crlf() { # SOURCE (- for standard input) NAME
    awk '{ sub(/\r$/, ""); printf "%s\r\n", $0 }' "$1" >"$stage/$2"
}
crlf "$top/docs/release/README.windows.txt" README.txt
crlf "$top/LICENSE" LICENSE
crlf "$build/SDL-NOTICE.txt" SDL-NOTICE.txt
crlf "$build/SDL-COPYING" SDL-COPYING
cp "$build"/sdl-patches/*.patch "$stage/"
# The manual page as plain text: no bold or underline by overstriking.
mandoc -T ascii "$top/docs/cdtracks.1" | sed 's/.\x08//g' | crlf - cdtracks.txt

chmod -R u+rw,go=u-w "$stage"
find "$stage" -exec touch -h -d "@$epoch" {} +
# -X: no owner and no extra time fields; the time kept is MS-DOS's, local.
(cd "$build/dist" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "../$name.zip")
echo "$build/$name.zip"
